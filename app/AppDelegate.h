#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/PhoneRootScreen.h"
#include "app/RootScreenFactory.h"
#include "app/core/PushRegistration.h"
#include "base/network/Reachability.h"
#include "platform/Application.h"
#include "platform/audio/AudioSession.h"
#include "platform/dispatch/NotificationCenter.h"

namespace lumora {

// The phone application delegate: sets the process up at launch
// (reachability of the public host, audio session, device list and
// preferences, the live-view screen as root, remote notifications), saves
// and stops on resign, polls on activation, refreshes the network-status
// flags and pre-connects on a reachability change, and plays the device and
// channel that an alarm notification names.
//
// Main thread only. Lives as long as the application object that calls it.
class AppDelegate : public ApplicationDelegate {
public:
    // The tag of the alarm notification's alert.
    static constexpr int kAlarmAlertTag = 1000;
    static constexpr uint32_t kNotificationTypes = Application::kNotificationTypeBadge |
                                                   Application::kNotificationTypeSound |
                                                   Application::kNotificationTypeAlert;

    explicit AppDelegate(std::shared_ptr<RootScreenFactory> screens = RootScreenFactory::current());
    ~AppDelegate() override;

    // ---- ApplicationDelegate
    bool applicationDidFinishLaunching(Application& app, const PropertyList& launchOptions) override;
    void applicationWillResignActive(Application& app) override;
    void applicationDidBecomeActive(Application& app) override;
    void applicationWillTerminate(Application& app) override;
    void applicationDidRegisterForRemoteNotificationsWithDeviceToken(Application& app,
                                                                      const std::vector<uint8_t>& token) override;
    void applicationDidReceiveRemoteNotification(Application& app, const PropertyList& userInfo) override;
    void alertViewClickedButtonAtIndex(const Application::Alert& alert, int buttonIndex) override;

    // Reaction to a change of the watched host.
    void reachabilityChanged(const Notification& notification);
    // Plays the device and channel a remark names; anything malformed or a
    // device that is not listed does nothing. True when asked to play.
    bool play(const std::optional<std::string>& remark);

    // The audio session's interruption listener.
    static void audioInterruptionListener(AudioSession::InterruptionState state);

    const std::shared_ptr<PhoneRootScreen>& viewController() const { return viewController_; }
    std::optional<std::string> tokenString() const override;
    const std::optional<std::string>& remark() const { return remark_; }
    Reachability* hostReach() const { return hostReach_.get(); }
    PushRegistration* pushRegistration() const { return push_.get(); }

private:
    std::shared_ptr<RootScreenFactory> screens_;
    std::shared_ptr<PhoneRootScreen> viewController_;
    std::unique_ptr<PushRegistration> push_;
    std::optional<std::string> remark_;
    std::unique_ptr<Reachability> hostReach_;
    std::optional<NotificationCenter::ObserverId> observer_;
};

}  // namespace lumora
