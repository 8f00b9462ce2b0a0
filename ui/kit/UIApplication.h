#pragma once

#include <string>
#include <vector>

#include "ui/kit/UIInterfaceOrientation.h"

namespace lumora {

class UIWindow;

// The screens' view of the application: key window, status bar, idle timer,
// badge (both kept by the platform Application when one runs), status-bar
// orientation, opened URLs (recorded; the window host hands them to the
// desktop) and the memory warning.
class UIApplication {
public:
    static UIApplication& sharedApplication();

    UIWindow* keyWindow() const;
    void setKeyWindow(UIWindow* window);

    bool isStatusBarHidden() const { return statusBarHidden_; }
    void setStatusBarHidden(bool hidden, bool animated = false);
    UIInterfaceOrientation statusBarOrientation() const { return orientation_; }
    // Posts the will-change notification (with the new orientation under
    // UIApplicationStatusBarOrientationUserInfoKey), stores, posts did-change.
    void setStatusBarOrientation(UIInterfaceOrientation orientation, bool animated = false);

    bool isIdleTimerDisabled() const;
    void setIdleTimerDisabled(bool disabled);
    long applicationIconBadgeNumber() const;
    void setApplicationIconBadgeNumber(long value);

    // Records the address; answers true for a non-empty one.
    bool openURL(const std::string& url);
    const std::vector<std::string>& openedURLs() const { return opened_; }
    // The window host hands addresses on to the desktop with this.
    void setURLOpener(void (*opener)(const std::string&)) { opener_ = opener; }

    // Tells every controller of the key window, then posts the notification.
    void simulateMemoryWarning();

    // Back to the start state (tests).
    void reset();

private:
    UIApplication() = default;
    UIWindow* keyWindow_ = nullptr;
    bool statusBarHidden_ = false;
    bool idleTimerDisabled_ = false;
    long badge_ = 0;
    UIInterfaceOrientation orientation_ = UIInterfaceOrientation::Portrait;
    std::vector<std::string> opened_;
    void (*opener_)(const std::string&) = nullptr;
};

}  // namespace lumora
