#include "ui/host/ScreenFactory.h"

#include "ui/phone/LiveViewController.h"
#include "ui/tablet/LiveViewControllerHD.h"

namespace lumora {

std::shared_ptr<PhoneRootScreen> ScreenFactory::makePhoneRootScreen() {
    auto screen = std::make_shared<LiveViewController>();
    last_ = screen;
    return screen;
}

std::shared_ptr<TabletRootScreen> ScreenFactory::makeTabletRootScreen() {
    // The tablet live screen is the root until the tablet home screen exists.
    auto screen = std::make_shared<LiveViewControllerHD>();
    last_ = screen;
    return screen;
}

}  // namespace lumora
