#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/RootScreenFactory.h"
#include "app/TabletRootScreen.h"
#include "app/core/PushRegistration.h"
#include "base/network/Reachability.h"
#include "platform/Application.h"
#include "platform/dispatch/NotificationCenter.h"
#include "platform/runloop/RunLoop.h"

namespace lumora {

// The tablet application delegate: sets the process up like the phone one
// but shows the home screen as root, may open the live view 0.5 s after
// launch, counts launches ("openTime"), and on activation after a resign
// pre-connects its devices again and resumes the saved live tiles. A
// reachability change only refreshes the network-status flags.
//
// Main thread only. Lives as long as the application object that calls it.
class AppDelegateHD : public ApplicationDelegate {
public:
    static constexpr int kAlarmAlertTag = 1000;
    static constexpr const char* kOpenTimeKey = "openTime";
    static constexpr std::chrono::milliseconds kSkipDelay{500};

    explicit AppDelegateHD(std::shared_ptr<RootScreenFactory> screens = RootScreenFactory::current());
    ~AppDelegateHD() override;

    // ---- ApplicationDelegate
    bool applicationDidFinishLaunching(Application& app, const PropertyList& launchOptions) override;
    void applicationWillResignActive(Application& app) override;
    void applicationDidBecomeActive(Application& app) override;
    void applicationWillTerminate(Application& app) override;
    void applicationDidRegisterForRemoteNotificationsWithDeviceToken(Application& app,
                                                                      const std::vector<uint8_t>& token) override;
    void applicationDidReceiveRemoteNotification(Application& app, const PropertyList& userInfo) override;
    void alertViewClickedButtonAtIndex(const Application::Alert& alert, int buttonIndex) override;

    void reachabilityChanged(const Notification& notification);
    // As on the phone; the device name is kept in deviceName.
    bool play(const std::optional<std::string>& remark);
    // The skip timer: opens the live view.
    void handleSkip();

    const std::shared_ptr<TabletRootScreen>& viewController() const { return viewController_; }
    std::optional<std::string> tokenString() const override;
    const std::optional<std::string>& remark() const { return remark_; }
    const std::optional<std::string>& deviceName() const { return deviceName_; }
    Reachability* hostReach() const { return hostReach_.get(); }
    bool isBack() const { return isBack_; }

    // "openTime" as read (0 when missing or not a number) plus one,
    // saturated at INT32_MAX.
    static int32_t nextOpenTime(const std::optional<std::string>& stored);

private:
    std::shared_ptr<RootScreenFactory> screens_;
    std::shared_ptr<TabletRootScreen> viewController_;
    std::unique_ptr<PushRegistration> push_;
    std::optional<std::string> remark_;
    std::optional<std::string> deviceName_;
    std::unique_ptr<Reachability> hostReach_;
    std::optional<NotificationCenter::ObserverId> observer_;
    std::shared_ptr<RunLoopTimer> skipTimer_;
    bool isBack_ = false;
};

}  // namespace lumora
