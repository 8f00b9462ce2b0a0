#include "ui/host/ScreenFactory.h"

#include "ui/kit/UIWindow.h"
#include "ui/phone/LiveViewController.h"
#include "ui/tablet/ViewControllerHD.h"

namespace lumora {

void ScreenFactory::setWindow(UIWindow* window) { window_ = window; }

void ScreenFactory::made(std::shared_ptr<UIViewController> screen) {
    last_ = std::move(screen);
    // The root goes into the window at once, as the delegate asks for it:
    // what the delegate does next at launch (an alarm to play) finds the
    // screen in its window.
    if (window_) window_->setRootViewController(last_);
}

std::shared_ptr<PhoneRootScreen> ScreenFactory::makePhoneRootScreen() {
    auto screen = std::make_shared<LiveViewController>();
    made(screen);
    return screen;
}

std::shared_ptr<TabletRootScreen> ScreenFactory::makeTabletRootScreen() {
    auto screen = std::make_shared<ViewControllerHD>();
    made(screen);
    return screen;
}

}  // namespace lumora
