#include "app/AppDelegate.h"

#include <csignal>
#include <cstdio>

#include "app/AlarmNotification.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "base/network/NETStatusObj.h"
#include "platform/Config.h"
#include "platform/text/Localization.h"
#include "platform/Log.h"

namespace lumora {

AppDelegate::AppDelegate(std::shared_ptr<RootScreenFactory> screens) : screens_(std::move(screens)) {
    if (!screens_) screens_ = RootScreenFactory::current();
}

AppDelegate::~AppDelegate() {
    if (observer_) NotificationCenter::defaultCenter().removeObserver(*observer_);
}

std::optional<std::string> AppDelegate::tokenString() const {
    return push_ ? push_->tokenString() : std::nullopt;
}

void AppDelegate::audioInterruptionListener(AudioSession::InterruptionState state) {
    Log::debug("AppDelegate", "interruptionListener!");
    if (state == AudioSession::InterruptionState::End)
        AudioSession::shared().setActive(true);
    else if (state == AudioSession::InterruptionState::Begin)
        AudioSession::shared().setActive(false);
}

bool AppDelegate::applicationDidFinishLaunching(Application& app, const PropertyList& launchOptions) {
    std::signal(SIGPIPE, SIG_IGN);

    // Only the watcher made here drives the network-status flags.
    observer_ = NotificationCenter::defaultCenter().addObserver(
        kNetworkReachabilityChangedNotification, nullptr, [this](const Notification& n) { reachabilityChanged(n); });
    hostReach_ = Reachability::reachabilityWithHostName(Config::shared().reachabilityHost);
    if (!hostReach_ || !hostReach_->startNotifier())
        Log::warn("app", "cannot watch the reachability of \"%s\"", Config::shared().reachabilityHost.c_str());

    app.setApplicationIconBadgeNumber(0);

    AudioSession::shared().initialize(&AppDelegate::audioInterruptionListener);
    AudioSession::shared().setCategory(AudioSession::Category::PlayAndRecord);

    QvDeviceManager::sharedInstance().readDeviceList();
    QvApplicationPreference::sharedInstance().loadApplicationPreference();

    viewController_ = screens_->makePhoneRootScreen();

    app.setIdleTimerDisabled(true);
    push_ = std::make_unique<PushRegistration>();
    app.registerForRemoteNotificationTypes(kNotificationTypes);

    if (const PropertyList* payload = launchOptions.find(Application::kLaunchOptionsRemoteNotificationKey)) {
        remark_ = AlarmNotification::remarkText(*payload);
        play(remark_);
    }

    // Uncaught exceptions are swallowed: nothing is shown or reported.
    Application::setUncaughtExceptionHandler([](const std::exception_ptr&) {});
    return true;
}

void AppDelegate::reachabilityChanged(const Notification& notification) {
    // Other watchers (started by other parts) do not speak for the public
    // host.
    if (!hostReach_ || notification.object != hostReach_.get()) return;
    ReachabilityStatus status = hostReach_->currentReachabilityStatus();
    NETStatusObj::sharedInstance().updateWithStatus(status, [] {
        QvApplicationPreference& prefs = QvApplicationPreference::sharedInstance();
        prefs.setIpstr(std::string());
        prefs.getNetIP();
    });
    for (const auto& device : QvDeviceManager::sharedInstance().devices()) device->startPreConnection();
    if (viewController_) viewController_->searchAllDeviceState();
}

void AppDelegate::applicationWillResignActive(Application&) {
    QvApplicationPreference& prefs = QvApplicationPreference::sharedInstance();
    QvDeviceManager& devices = QvDeviceManager::sharedInstance();
    prefs.getNetIP();
    for (const auto& device : devices.devices()) device->isStartPreCon = false;
    if (!prefs.saveApplicationPreference()) Log::error("app", "preferences not saved");
    if (!devices.saveDeviceList()) Log::error("app", "device list not saved");
    if (viewController_) viewController_->stopAll();
}

void AppDelegate::applicationDidBecomeActive(Application& app) {
    app.setApplicationIconBadgeNumber(0);
    if (viewController_) viewController_->searchAllDeviceState();
    QvApplicationPreference& prefs = QvApplicationPreference::sharedInstance();
    prefs.setIpstr(std::string());
    prefs.getNetIP();
    prefs.setIsInnerGetMain(true);
    // Going to the background stopped every pane: with auto play on, the
    // panes shown last come back.
    if (viewController_) viewController_->startAutoPlay();
}

void AppDelegate::applicationWillTerminate(Application&) {
    // Ending the program (Ctrl-C, SIGTERM, the window closed) keeps what the
    // user set up, as going to the background does.
    if (!QvApplicationPreference::sharedInstance().saveApplicationPreference())
        Log::error("app", "preferences not saved");
    if (!QvDeviceManager::sharedInstance().saveDeviceList()) Log::error("app", "device list not saved");
    if (viewController_) viewController_->stopAll();
}

void AppDelegate::applicationDidRegisterForRemoteNotificationsWithDeviceToken(Application&,
                                                                               const std::vector<uint8_t>& token) {
    if (!push_) push_ = std::make_unique<PushRegistration>();
    push_->applicationDidRegisterForRemoteNotificationsWithDeviceToken(token);
}

void AppDelegate::applicationDidReceiveRemoteNotification(Application& app, const PropertyList& userInfo) {
    int64_t badge = app.applicationIconBadgeNumber();
    if (badge < INT32_MAX) app.setApplicationIconBadgeNumber(badge + 1);
    if (app.applicationState() != Application::State::Active) return;
    remark_ = AlarmNotification::remarkText(userInfo);
    Application::Alert alert;
    alert.message = AlarmNotification::alertText(userInfo).value_or(std::string());
    alert.buttons = {Localization::string("CANCEL_BUTTON"), Localization::string("OK_BUTTON")};
    alert.tag = kAlarmAlertTag;
    // Each alert keeps its own remark, so answering an older alert plays
    // what that alert announced.
    alert.context = remark_.value_or(std::string());
    app.showAlert(std::move(alert));
}

void AppDelegate::alertViewClickedButtonAtIndex(const Application::Alert& alert, int buttonIndex) {
    if (alert.tag != kAlarmAlertTag || buttonIndex != 1) return;
    play(alert.context);
}

bool AppDelegate::play(const std::optional<std::string>& remark) {
    if (!remark || remark->empty()) return false;
    std::optional<AlarmNotification::Target> target = AlarmNotification::parseRemark(*remark);
    if (!target) return false;
    std::shared_ptr<Device> device = QvDeviceManager::sharedInstance().deviceWithName(target->deviceName);
    if (!device || !viewController_) return false;
    viewController_->playDevice(device, target->channel);
    return true;
}

}  // namespace lumora
