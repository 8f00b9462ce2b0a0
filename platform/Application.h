#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/storage/PropertyList.h"

namespace lumora {

class Application;
class ApplicationDelegate;

// The application object of this platform: there is no system to deliver
// life-cycle events, so whoever owns the process (the process entry, a
// front end, a test) drives them with the methods below, which call the
// delegate. Main thread only, except the exception handler hooks.
class Application {
public:
    enum class State { Active, Inactive, Background };

    // Remote-notification type bits.
    static constexpr uint32_t kNotificationTypeBadge = 1;
    static constexpr uint32_t kNotificationTypeSound = 2;
    static constexpr uint32_t kNotificationTypeAlert = 4;
    static constexpr const char* kLaunchOptionsRemoteNotificationKey = "UIApplicationLaunchOptionsRemoteNotificationKey";

    // One alert the delegate asked to show; buttons[0] is the cancel button
    // (index 0), the others follow.
    struct Alert {
        std::string title;
        std::string message;
        std::vector<std::string> buttons;
        int tag = 0;
        // Whatever the caller needs to act on the answer.
        std::string context;
    };

    // delegate is not owned and must outlive this object.
    explicit Application(ApplicationDelegate& delegate);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The application object of the running process (nullptr when none).
    static Application* shared();

    ApplicationDelegate& delegate() { return delegate_; }
    State applicationState() const { return state_; }

    int64_t applicationIconBadgeNumber() const { return badge_; }
    void setApplicationIconBadgeNumber(int64_t value) { badge_ = value < 0 ? 0 : value; }
    bool isIdleTimerDisabled() const { return idleTimerDisabled_; }
    void setIdleTimerDisabled(bool value) { idleTimerDisabled_ = value; }

    // Remembers the requested types; the token arrives through
    // deliverDeviceToken().
    void registerForRemoteNotificationTypes(uint32_t types) { notificationTypes_ = types; }
    uint32_t registeredNotificationTypes() const { return notificationTypes_; }

    // Alerts: shown ones are kept until answered; a diagnostic line is
    // written for each.
    void showAlert(Alert alert);
    const std::vector<Alert>& shownAlerts() const { return alerts_; }
    // Called with every alert showAlert() keeps (a screen layer draws it).
    using AlertShownHandler = std::function<void(const Alert&)>;
    void setAlertShownHandler(AlertShownHandler handler) { alertShown_ = std::move(handler); }
    // Answers the shown alert at `alertIndex` with a button: the alert is
    // removed and the delegate's alertViewClickedButtonAtIndex() called.
    // False when there is no such alert or button.
    bool clickAlertButton(size_t alertIndex, int buttonIndex);

    // The handler for exceptions that escape a life-cycle callback (empty:
    // none; the exception then propagates).
    using ExceptionHandler = std::function<void(const std::exception_ptr&)>;
    static void setUncaughtExceptionHandler(ExceptionHandler handler);
    static bool hasUncaughtExceptionHandler();

    // ---- life-cycle drivers
    // Finishes launching (state Inactive during the call) and becomes active.
    bool launch(const PropertyList& launchOptions = PropertyList::makeDictionary());
    void resignActive();       // Active -> Inactive
    void becomeActive();       // Inactive -> Active
    void enterBackground();    // resigns first when active
    void enterForeground();    // Background -> Inactive, then becomes active
    void terminate();
    void deliverDeviceToken(const std::vector<uint8_t>& token);
    void deliverRemoteNotification(const PropertyList& userInfo);

private:
    template <class F>
    void call(F&& f);

    ApplicationDelegate& delegate_;  // not owned
    State state_ = State::Inactive;
    int64_t badge_ = 0;
    bool idleTimerDisabled_ = false;
    uint32_t notificationTypes_ = 0;
    std::vector<Alert> alerts_;
    AlertShownHandler alertShown_;
    bool terminated_ = false;
};

// What the application object tells its delegate about the life cycle.
// Every callback runs on the main thread; all have empty defaults.
class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;

    // launchOptions: a dictionary; a launch by a remote notification carries
    // its payload under Application::kLaunchOptionsRemoteNotificationKey.
    virtual bool applicationDidFinishLaunching(Application&, const PropertyList& /*launchOptions*/) { return true; }
    virtual void applicationWillResignActive(Application&) {}
    virtual void applicationDidBecomeActive(Application&) {}
    virtual void applicationDidEnterBackground(Application&) {}
    virtual void applicationWillEnterForeground(Application&) {}
    virtual void applicationWillTerminate(Application&) {}
    virtual void applicationDidRegisterForRemoteNotificationsWithDeviceToken(Application&,
                                                                              const std::vector<uint8_t>& /*token*/) {}
    virtual void applicationDidReceiveRemoteNotification(Application&, const PropertyList& /*userInfo*/) {}
    // The answer to an alert shown with Application::showAlert().
    virtual void alertViewClickedButtonAtIndex(const Application::Alert& /*alert*/, int /*buttonIndex*/) {}

    // The push token of this installation as text, once the platform gave
    // one; what the device screens register alarms with. Readable through
    // Application::shared()->delegate() without knowing the delegate's kind.
    virtual std::optional<std::string> tokenString() const { return std::nullopt; }
};

}  // namespace lumora
