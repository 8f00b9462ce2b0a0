#pragma once

#include <memory>

#include "app/RootScreenFactory.h"

namespace lumora {

class StandInScreen;

// Makes the stand-in root screens and remembers the last one, which the
// window host puts into the window.
class StandInScreenFactory : public RootScreenFactory {
public:
    std::shared_ptr<PhoneRootScreen> makePhoneRootScreen() override;
    std::shared_ptr<TabletRootScreen> makeTabletRootScreen() override;
    const std::shared_ptr<StandInScreen>& lastScreen() const { return last_; }

private:
    std::shared_ptr<StandInScreen> last_;
};

}  // namespace lumora
