#include "ui/kit/UIWindow.h"

#include <algorithm>
#include <any>

#include "platform/dispatch/NotificationCenter.h"
#include "ui/kit/TouchRouter.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

namespace {
std::vector<UIWindow*>& registry() {
    static std::vector<UIWindow*> w;
    return w;
}
const char* kOverlayProperty = "lumoraOverlay";
}  // namespace

UIWindow::UIWindow(const CGRect& frame) : UIView(frame), portrait_(frame.size) {
    setAttribute(Qt::WA_AcceptTouchEvents, true);
    setAttribute(Qt::WA_NoSystemBackground, false);
    setBackgroundColor(UIColor::blackColor());
    registry().push_back(this);
    TouchRouter::shared().install();
}

UIWindow::~UIWindow() {
    auto& r = registry();
    r.erase(std::remove(r.begin(), r.end(), this), r.end());
    if (UIApplication::sharedApplication().keyWindow() == this) UIApplication::sharedApplication().setKeyWindow(nullptr);
    if (root_) root_->detachFromWindow();
    // The views go with the widget tree; the controllers go after them.
    for (UIView* v : subviews()) delete v;
    root_.reset();
}

std::vector<UIWindow*> UIWindow::allWindows() { return registry(); }

bool UIWindow::isAlive(const UIWindow* window) {
    auto& r = registry();
    return window && std::find(r.begin(), r.end(), window) != r.end();
}

void UIWindow::makeKeyAndVisible() {
    UIApplication& app = UIApplication::sharedApplication();
    UIWindow* old = app.keyWindow();
    if (old && old != this) NotificationCenter::defaultCenter().post(UIWindowDidResignKeyNotification, old);
    app.setKeyWindow(this);
    show();
    NotificationCenter::defaultCenter().post(UIWindowDidBecomeKeyNotification, this);
}

bool UIWindow::isKeyWindow() const { return UIApplication::sharedApplication().keyWindow() == this; }

void UIWindow::setRootViewController(std::shared_ptr<UIViewController> controller) {
    if (root_ == controller) return;
    if (root_) {
        root_->beginAppearanceTransition(false, false);
        if (UIView* v = root_->viewIfLoaded()) v->removeFromSuperview();
        root_->endAppearanceTransition();
        root_->detachFromWindow();
    }
    root_ = std::move(controller);
    if (!root_) return;
    UIView* v = root_->view();
    v->setFrame(bounds());
    v->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    root_->attachToWindow(this);
    root_->beginAppearanceTransition(true, false);
    insertSubviewAtIndex(v, 0);
    root_->endAppearanceTransition();
}

std::vector<UIViewController*> UIWindow::controllerChain() const {
    std::vector<UIViewController*> out;
    for (UIViewController* c = root_.get(); c; c = c->presentedViewController()) {
        out.push_back(c);
        for (UIViewController* child : c->childViewControllers()) out.push_back(child);
    }
    return out;
}

UIViewController* UIWindow::topFullScreenController() const {
    UIViewController* top = root_.get();
    for (UIViewController* c = root_.get(); c; c = c->presentedViewController())
        if (c->coversWindow()) top = c;
    return top;
}

bool UIWindow::rotateTo(UIInterfaceOrientation orientation) {
    NotificationCenter::defaultCenter().post(Notification{UIDeviceOrientationDidChangeNotification, this,
                                                          std::any(orientation)});
    if (orientation == orientation_) return false;
    UIViewController* top = topFullScreenController();
    if (!top || !top->shouldAutorotateToInterfaceOrientation(orientation)) return false;
    TouchRouter::shared().cancelAll();
    UIInterfaceOrientation from = orientation_;
    std::vector<UIViewController*> chain = controllerChain();
    for (UIViewController* c : chain) c->willRotateToInterfaceOrientation(orientation, 0.3);
    UIApplication::sharedApplication().setStatusBarOrientation(orientation);
    orientation_ = orientation;
    CGSize s = UIInterfaceOrientationIsLandscape(orientation) ? CGSize{portrait_.height, portrait_.width} : portrait_;
    setFrame(CGRect{frame().origin, s});
    for (UIViewController* c : chain) c->willAnimateRotationToInterfaceOrientation(orientation, 0.3);
    for (UIViewController* c : chain) c->didRotateFromInterfaceOrientation(from);
    return true;
}

void UIWindow::addOverlay(UIView* overlay) {
    if (!overlay) return;
    overlay->setProperty(kOverlayProperty, true);
    addSubview(overlay);
}

std::vector<UIView*> UIWindow::overlays() const {
    std::vector<UIView*> out;
    for (UIView* v : subviews())
        if (v->property(kOverlayProperty).toBool()) out.push_back(v);
    return out;
}

void UIWindow::restackOverlays() {
    for (UIView* v : overlays()) v->raise();
}

void UIWindow::layoutSubviews() {
    for (UIView* v : overlays()) v->setFrame(bounds());
}

}  // namespace lumora
