#include "ui/kit/UIViewController.h"

#include <algorithm>
#include <map>

#include "platform/Log.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UINavigationItem.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UIView.h"
#include "ui/kit/UIViewAnimation.h"
#include "ui/kit/UIWindow.h"

namespace lumora {

UIViewController::UIViewController() = default;

UIViewController::~UIViewController() {
    for (auto& c : children_) c->parent_ = nullptr;
    if (view_) {
        view_->setViewController(nullptr);
        // A view out of any tree is the controller's to free; one in a tree
        // belongs to it.
        if (!view_->parentWidget()) delete view_.data();
    }
}

UIView* UIViewController::view() {
    if (!view_ && !loading_) {
        loading_ = true;
        loadView();
        if (!view_) setView(new UIView(UIScreen::mainScreen().bounds()));
        loading_ = false;
        viewDidLoad();
    }
    return view_.data();
}

void UIViewController::setView(UIView* view) {
    if (view_ == view) return;
    if (view_) view_->setViewController(nullptr);
    view_ = view;
    if (view) view->setViewController(this);
}

void UIViewController::loadView() {
    auto* v = new UIView(UIScreen::mainScreen().bounds());
    v->setBackgroundColor(UIColor::whiteColor());
    setView(v);
}

void UIViewController::viewWillBeDestroyed(UIView* view) {
    if (view_ == view) view_ = nullptr;
}

void UIViewController::setTitle(const std::string& title) {
    title_ = title;
    navigationItem().setTitle(title);
}

UINavigationItem& UIViewController::navigationItem() {
    if (!navigationItem_) {
        navigationItem_ = std::make_unique<UINavigationItem>();
        navigationItem_->setTitle(title_);
    }
    return *navigationItem_;
}

UIInterfaceOrientation UIViewController::interfaceOrientation() const {
    if (UIWindow* w = window()) return w->interfaceOrientation();
    return UIInterfaceOrientation::Portrait;
}

UIWindow* UIViewController::window() const {
    for (const UIViewController* c = this; c; c = c->parent_)
        if (c->window_) return c->window_.data();
    if (view_) return view_->window();
    return nullptr;
}

UIViewController* UIViewController::rootAncestor() {
    UIViewController* c = this;
    while (c->parent_) c = c->parent_;
    return c;
}

UIViewController* UIViewController::presentingViewController() const {
    for (const UIViewController* c = this; c; c = c->parent_)
        if (auto p = c->presenting_.lock()) return p.get();
    return nullptr;
}

bool UIViewController::coversWindow() const {
    if (UIScreen::mainScreen().idiom() != UserInterfaceIdiom::Pad) return true;
    return modalPresentationStyle == UIModalPresentationStyle::FullScreen;
}

UINavigationController* UIViewController::navigationController() const {
    for (UIViewController* c = parent_; c; c = c->parent_)
        if (auto* n = dynamic_cast<UINavigationController*>(c)) return n;
    return nullptr;
}

std::vector<UIViewController*> UIViewController::childViewControllers() const {
    std::vector<UIViewController*> out;
    for (auto& c : children_) out.push_back(c.get());
    return out;
}

void UIViewController::addChildViewController(std::shared_ptr<UIViewController> child) {
    if (!child || child.get() == this) return;
    child->removeFromParentViewController();
    child->parent_ = this;
    children_.push_back(std::move(child));
}

void UIViewController::removeFromParentViewController() {
    UIViewController* p = parent_;
    if (!p) return;
    auto keep = shared_from_this();
    parent_ = nullptr;
    auto& ch = p->children_;
    ch.erase(std::remove_if(ch.begin(), ch.end(), [this](auto& c) { return c.get() == this; }), ch.end());
}

UIResponder* UIViewController::nextResponder() const {
    if (view_ && view_->superview()) return view_->superview();
    return parent_;
}

void UIViewController::attachToWindow(UIWindow* window) { window_ = window; }

void UIViewController::detachFromWindow() {
    window_ = nullptr;
}

void UIViewController::beginAppearanceTransition(bool appearing, bool animated) {
    transition_ = appearing ? 1 : -1;
    transitionAnimated_ = animated;
    if (appearing) {
        visible_ = true;
        viewWillAppear(animated);
    } else {
        visible_ = false;
        viewWillDisappear(animated);
    }
    for (UIViewController* c : appearanceChildren()) c->beginAppearanceTransition(appearing, animated);
}

void UIViewController::endAppearanceTransition() {
    int t = transition_;
    transition_ = 0;
    if (t > 0) viewDidAppear(transitionAnimated_);
    if (t < 0) viewDidDisappear(transitionAnimated_);
    for (UIViewController* c : appearanceChildren()) c->endAppearanceTransition();
}

namespace {
// Transitions in flight: their ends, in the order they began.
std::map<uint64_t, std::function<void()>>& transitions() {
    static std::map<uint64_t, std::function<void()>> t;
    return t;
}
uint64_t gNextTransition = 1;

void runTransition(uint64_t id) {
    auto it = transitions().find(id);
    if (it == transitions().end()) return;
    auto f = std::move(it->second);
    transitions().erase(it);
    f();
}

void endTransition(bool animated, std::function<void()> finish) {
    if (!animated) {
        finish();
        return;
    }
    uint64_t id = gNextTransition++;
    transitions()[id] = std::move(finish);
    UIViewAnimation::schedule(UIViewController::kTransitionDuration, [id] { runTransition(id); });
}
}  // namespace

void UIViewController::completeTransition(bool animated, std::function<void()> finish) {
    endTransition(animated, std::move(finish));
}

void UIViewController::finishTransitions() {
    while (!transitions().empty()) runTransition(transitions().begin()->first);
}

void UIViewController::placePresentedView(UIViewController* presented, bool attach) {
    UIWindow* w = window();
    UIView* v = presented->view();
    if (!w || !v) return;
    CGRect b = w->bounds();
    if (presented->coversWindow()) {
        v->setFrame(b);
        v->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    } else {
        CGSize s = presented->modalPresentationStyle == UIModalPresentationStyle::FormSheet ? CGSize{540, 620}
                                                                                            : CGSize{768, b.size.height};
        s.width = std::min(s.width, b.size.width);
        s.height = std::min(s.height, b.size.height);
        v->setFrame(CGRectMake((b.size.width - s.width) / 2, (b.size.height - s.height) / 2, s.width, s.height));
        v->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
                               UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin);
    }
    if (!attach) return;
    w->addSubview(v);
    w->restackOverlays();
}

void UIViewController::presentViewController(std::shared_ptr<UIViewController> controller, bool animated,
                                             std::function<void()> completion) {
    if (!controller) return;
    finishTransitions();
    UIViewController* host = rootAncestor();
    if (host->presented_) {
        Log::warn("UIViewController", "already presenting a controller; the new one is not presented");
        return;
    }
    if (!host->window()) {
        Log::warn("UIViewController", "presenting from a controller not in a window; ignored");
        return;
    }
    auto keepHost = host->shared_from_this();
    host->presented_ = controller;
    controller->presenting_ = keepHost;
    controller->window_ = host->window();
    controller->view();  // viewDidLoad first
    // Sized before it hears it will appear, so that it lays out for the window.
    host->placePresentedView(controller.get(), false);
    bool covers = controller->coversWindow();
    if (covers) host->beginAppearanceTransition(false, animated);
    controller->beginAppearanceTransition(true, animated);
    host->placePresentedView(controller.get(), true);
    auto finish = [controller, keepHost, covers, completion = std::move(completion)] {
        controller->endAppearanceTransition();
        if (covers) keepHost->endAppearanceTransition();
        if (completion) completion();
    };
    endTransition(animated, std::move(finish));
}

void UIViewController::dismissViewControllerAnimated(bool animated, std::function<void()> completion) {
    finishTransitions();
    UIViewController* root = rootAncestor();
    std::shared_ptr<UIViewController> host;
    if (root->presented_) {
        host = root->shared_from_this();
    } else {
        host = root->presenting_.lock();
    }
    if (!host || !host->presented_) {
        if (completion) completion();
        return;
    }
    std::shared_ptr<UIViewController> target = host->presented_;
    // Whatever the dismissed controller presented goes first, at once.
    if (target->presented_) target->dismissViewControllerAnimated(false);
    bool covers = target->coversWindow();
    target->beginAppearanceTransition(false, animated);
    if (covers) host->beginAppearanceTransition(true, animated);
    auto finish = [host, target, covers, completion = std::move(completion)] {
        if (UIView* v = target->viewIfLoaded()) v->removeFromSuperview();
        if (host->presented_ == target) host->presented_.reset();
        target->presenting_.reset();
        target->window_ = nullptr;
        if (covers) host->endAppearanceTransition();
        target->endAppearanceTransition();
        if (completion) completion();
    };
    endTransition(animated, std::move(finish));
}

}  // namespace lumora
