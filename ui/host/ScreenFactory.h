#pragma once

#include <memory>

#include "app/RootScreenFactory.h"
#include "ui/kit/WeakView.h"

namespace lumora {

class UIViewController;
class UIWindow;

// The application's root screens: the phone live-view screen and the
// tablet home screen. Remembers the last root it made and, given a window,
// makes each root that window's root as soon as it is made.
class ScreenFactory : public RootScreenFactory {
public:
    std::shared_ptr<PhoneRootScreen> makePhoneRootScreen() override;
    std::shared_ptr<TabletRootScreen> makeTabletRootScreen() override;
    const std::shared_ptr<UIViewController>& lastScreen() const { return last_; }
    // Not owned; nullptr: the roots go into no window.
    void setWindow(UIWindow* window);

private:
    void made(std::shared_ptr<UIViewController> screen);

    std::shared_ptr<UIViewController> last_;
    WeakView<UIWindow> window_;
};

}  // namespace lumora
