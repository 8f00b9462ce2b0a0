#include "ui/host/StandInScreenFactory.h"

#include "ui/host/StandInScreen.h"

namespace lumora {

std::shared_ptr<PhoneRootScreen> StandInScreenFactory::makePhoneRootScreen() {
    last_ = std::make_shared<StandInScreen>(false);
    return last_;
}

std::shared_ptr<TabletRootScreen> StandInScreenFactory::makeTabletRootScreen() {
    last_ = std::make_shared<StandInScreen>(true);
    return last_;
}

}  // namespace lumora
