#include "ui/kit/UINavigationController.h"

#include "ui/kit/UINavigationItem.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UIView.h"

namespace lumora {

namespace {
// The content area lays the top controller's view out when it changes size.
class NavigationContent : public UIView {
public:
    using UIView::UIView;
    void layoutSubviews() override {
        for (UIView* v : subviews()) v->setFrame(bounds());
    }
};
}  // namespace

UINavigationController::UINavigationController(std::shared_ptr<UIViewController> root) {
    if (root) {
        root->setParent(this);
        stack_.push_back(std::move(root));
    }
}

std::vector<UIViewController*> UINavigationController::viewControllers() const {
    std::vector<UIViewController*> out;
    for (auto& c : stack_) out.push_back(c.get());
    return out;
}

UIViewController* UINavigationController::topViewController() const {
    return stack_.empty() ? nullptr : stack_.back().get();
}

UIViewController* UINavigationController::visibleViewController() const {
    if (UIViewController* p = presentedViewController()) return p;
    return topViewController();
}

std::vector<UIViewController*> UINavigationController::appearanceChildren() const {
    if (stack_.empty()) return {};
    return {stack_.back().get()};
}

bool UINavigationController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) {
    if (UIViewController* top = topViewController()) return top->shouldAutorotateToInterfaceOrientation(o);
    return UIViewController::shouldAutorotateToInterfaceOrientation(o);
}

void UINavigationController::loadView() {
    CGRect b = UIScreen::mainScreen().bounds();
    auto* root = new UIView(b);
    root->setBackgroundColor(UIColor::blackColor());
    setView(root);
    auto* bar = new UINavigationBar(CGRectMake(0, 0, b.size.width, UINavigationBar::kHeight));
    setViewName(bar, "navigationBar");
    bar->setBackAction([this] { popViewControllerAnimated(true); });
    bar_ = bar;
    auto* content = new NavigationContent(CGRectMake(0, 44, b.size.width, b.size.height - 44));
    content->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    content_ = content;
    root->addSubview(content);
    root->addSubview(bar);
    layoutContent();
    showTop();
}

UINavigationBar* UINavigationController::navigationBar() {
    view();
    return bar_.data();
}

void UINavigationController::setNavigationBarHidden(bool hidden, bool) {
    barHidden_ = hidden;
    if (isViewLoaded()) layoutContent();
}

void UINavigationController::layoutContent() {
    UIView* root = viewIfLoaded();
    if (!root || !bar_ || !content_) return;
    CGRect b = root->bounds();
    bar_->setHidden(barHidden_);
    bar_->setFrame(CGRectMake(0, 0, b.size.width, UINavigationBar::kHeight));
    CGFloat top = barHidden_ ? 0 : UINavigationBar::kHeight;
    content_->setFrame(CGRectMake(0, top, b.size.width, b.size.height - top));
}

void UINavigationController::showTop() {
    if (!content_) return;
    UIViewController* top = topViewController();
    for (UIView* v : content_->subviews())
        if (!top || v != top->viewIfLoaded()) v->removeFromSuperview();
    if (!top) {
        if (bar_) bar_->showItems(nullptr, nullptr);
        return;
    }
    UIView* v = top->view();
    v->setFrame(content_->bounds());
    v->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    content_->addSubview(v);
    UINavigationItem* back = stack_.size() > 1 ? &stack_[stack_.size() - 2]->navigationItem() : nullptr;
    if (bar_) bar_->showItems(&top->navigationItem(), back);
}

void UINavigationController::pushViewController(std::shared_ptr<UIViewController> controller, bool animated) {
    if (!controller) return;
    finishTransitions();
    controller->removeFromParentViewController();
    std::shared_ptr<UIViewController> old = stack_.empty() ? nullptr : stack_.back();
    controller->setParent(this);
    stack_.push_back(controller);
    if (!isViewLoaded()) return;
    controller->view();
    bool shown = isVisible();
    if (shown && old) old->beginAppearanceTransition(false, animated);
    if (shown) controller->beginAppearanceTransition(true, animated);
    showTop();
    completeTransition(animated, [controller, old, shown] {
        if (!shown) return;
        controller->endAppearanceTransition();
        if (old) old->endAppearanceTransition();
    });
}

std::shared_ptr<UIViewController> UINavigationController::popViewControllerAnimated(bool animated) {
    finishTransitions();
    if (stack_.size() < 2) return nullptr;
    std::shared_ptr<UIViewController> leaving = stack_.back();
    stack_.pop_back();
    std::shared_ptr<UIViewController> arriving = stack_.back();
    bool shown = isVisible() && isViewLoaded();
    if (shown) leaving->beginAppearanceTransition(false, animated);
    if (shown) arriving->beginAppearanceTransition(true, animated);
    showTop();
    completeTransition(animated, [leaving, arriving, shown] {
        leaving->setParent(nullptr);
        if (!shown) return;
        arriving->endAppearanceTransition();
        leaving->endAppearanceTransition();
    });
    return leaving;
}

void UINavigationController::popToRootViewControllerAnimated(bool animated) {
    while (stack_.size() > 2) {
        stack_[stack_.size() - 2]->setParent(nullptr);
        stack_.erase(stack_.end() - 2);
    }
    popViewControllerAnimated(animated);
}

}  // namespace lumora
