#include "ui/host/ScreenFactory.h"

#include "ui/host/StandInScreen.h"
#include "ui/phone/LiveViewController.h"

namespace lumora {

std::shared_ptr<PhoneRootScreen> ScreenFactory::makePhoneRootScreen() {
    auto screen = std::make_shared<LiveViewController>();
    last_ = screen;
    return screen;
}

std::shared_ptr<TabletRootScreen> ScreenFactory::makeTabletRootScreen() {
    auto screen = std::make_shared<StandInScreen>(true);
    last_ = screen;
    return screen;
}

}  // namespace lumora
