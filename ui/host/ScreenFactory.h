#pragma once

#include <memory>

#include "app/RootScreenFactory.h"

namespace lumora {

class UIViewController;

// The application's root screens: the phone live-view screen, and (until
// the tablet home screen exists) the tablet live-view screen. Remembers the last root it
// made, which the window host puts into the window.
class ScreenFactory : public RootScreenFactory {
public:
    std::shared_ptr<PhoneRootScreen> makePhoneRootScreen() override;
    std::shared_ptr<TabletRootScreen> makeTabletRootScreen() override;
    const std::shared_ptr<UIViewController>& lastScreen() const { return last_; }

private:
    std::shared_ptr<UIViewController> last_;
};

}  // namespace lumora
