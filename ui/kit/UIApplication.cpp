#include "ui/kit/UIApplication.h"

#include <any>

#include "platform/Application.h"
#include "platform/dispatch/NotificationCenter.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWindow.h"

namespace lumora {

UIApplication& UIApplication::sharedApplication() {
    static UIApplication app;
    return app;
}

UIWindow* UIApplication::keyWindow() const {
    return UIWindow::isAlive(keyWindow_) ? keyWindow_ : nullptr;
}

void UIApplication::setKeyWindow(UIWindow* window) { keyWindow_ = window; }

void UIApplication::setStatusBarHidden(bool hidden, bool) { statusBarHidden_ = hidden; }

void UIApplication::setStatusBarOrientation(UIInterfaceOrientation orientation, bool) {
    NotificationCenter::defaultCenter().post(
        Notification{UIApplicationWillChangeStatusBarOrientationNotification, this, std::any(orientation)});
    orientation_ = orientation;
    NotificationCenter::defaultCenter().post(
        Notification{UIApplicationDidChangeStatusBarOrientationNotification, this, std::any(orientation)});
}

bool UIApplication::isIdleTimerDisabled() const {
    if (Application* a = Application::shared()) return a->isIdleTimerDisabled();
    return idleTimerDisabled_;
}

void UIApplication::setIdleTimerDisabled(bool disabled) {
    idleTimerDisabled_ = disabled;
    if (Application* a = Application::shared()) a->setIdleTimerDisabled(disabled);
}

long UIApplication::applicationIconBadgeNumber() const {
    if (Application* a = Application::shared()) return static_cast<long>(a->applicationIconBadgeNumber());
    return badge_;
}

void UIApplication::setApplicationIconBadgeNumber(long value) {
    badge_ = value < 0 ? 0 : value;
    if (Application* a = Application::shared()) a->setApplicationIconBadgeNumber(value);
}

bool UIApplication::openURL(const std::string& url) {
    if (url.empty()) return false;
    opened_.push_back(url);
    if (opener_) opener_(url);
    return true;
}

void UIApplication::simulateMemoryWarning() {
    if (UIWindow* w = keyWindow()) {
        for (UIViewController* c : w->controllerChain()) c->didReceiveMemoryWarning();
    }
    NotificationCenter::defaultCenter().post(UIApplicationDidReceiveMemoryWarningNotification, this);
}

void UIApplication::reset() {
    keyWindow_ = nullptr;
    statusBarHidden_ = false;
    idleTimerDisabled_ = false;
    badge_ = 0;
    orientation_ = UIInterfaceOrientation::Portrait;
    opened_.clear();
    opener_ = nullptr;
}

}  // namespace lumora
