#include "app/AppDelegateHD.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/AlarmNotification.h"
#include "app/AppDelegate.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "base/network/NETStatusObj.h"
#include "platform/audio/AudioSession.h"
#include "platform/Config.h"
#include "platform/text/Localization.h"
#include "platform/storage/UserDefaults.h"
#include "platform/Log.h"

namespace lumora {

AppDelegateHD::AppDelegateHD(std::shared_ptr<RootScreenFactory> screens) : screens_(std::move(screens)) {
    if (!screens_) screens_ = RootScreenFactory::current();
}

AppDelegateHD::~AppDelegateHD() {
    if (skipTimer_) skipTimer_->invalidate();
    if (observer_) NotificationCenter::defaultCenter().removeObserver(*observer_);
}

std::optional<std::string> AppDelegateHD::tokenString() const {
    return push_ ? push_->tokenString() : std::nullopt;
}

int32_t AppDelegateHD::nextOpenTime(const std::optional<std::string>& stored) {
    // The count is the leading whole number; anything else counts as 0.
    int64_t value = 0;
    if (stored) {
        const char* s = stored->c_str();
        char* end = nullptr;
        errno = 0;
        long long v = std::strtoll(s, &end, 10);
        if (end != s && v > 0) value = v;
    }
    if (value >= INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(value + 1);
}

bool AppDelegateHD::applicationDidFinishLaunching(Application& app, const PropertyList& launchOptions) {
    Application::setUncaughtExceptionHandler([](const std::exception_ptr&) {});

    observer_ = NotificationCenter::defaultCenter().addObserver(
        kNetworkReachabilityChangedNotification, nullptr, [this](const Notification& n) { reachabilityChanged(n); });
    hostReach_ = Reachability::reachabilityWithHostName(Config::shared().reachabilityHost);
    if (!hostReach_ || !hostReach_->startNotifier())
        Log::warn("app", "cannot watch the reachability of \"%s\"", Config::shared().reachabilityHost.c_str());

    std::signal(SIGPIPE, SIG_IGN);

    AudioSession::shared().initialize(&AppDelegate::audioInterruptionListener);
    AudioSession::shared().setCategory(AudioSession::Category::PlayAndRecord);

    QvDeviceManager::sharedInstance().readDeviceList();
    QvApplicationPreference& prefs = QvApplicationPreference::sharedInstance();
    prefs.loadApplicationPreference();
    prefs.setHideAd(false);

    viewController_ = screens_->makeTabletRootScreen();

    if (prefs.skipHomePage()) {
        skipTimer_ = RunLoopTimer::scheduled(RunLoop::main(), kSkipDelay, false, [this](RunLoopTimer&) {
            skipTimer_.reset();
            handleSkip();
        });
    }

    app.setIdleTimerDisabled(true);

    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    int32_t openTime = nextOpenTime(defaults.stringForKey(kOpenTimeKey));
    defaults.setString(kOpenTimeKey, std::to_string(openTime));

    push_ = std::make_unique<PushRegistration>();
    app.registerForRemoteNotificationTypes(AppDelegate::kNotificationTypes);

    if (const PropertyList* payload = launchOptions.find(Application::kLaunchOptionsRemoteNotificationKey)) {
        remark_ = AlarmNotification::remarkText(*payload);
        play(remark_);
    }
    return true;
}

void AppDelegateHD::handleSkip() {
    if (viewController_) viewController_->skipToLiveView();
}

void AppDelegateHD::reachabilityChanged(const Notification& notification) {
    if (!hostReach_ || notification.object != hostReach_.get()) return;
    NETStatusObj::sharedInstance().updateWithStatus(hostReach_->currentReachabilityStatus(), [] {
        QvApplicationPreference& prefs = QvApplicationPreference::sharedInstance();
        prefs.setIpstr(std::string());
        prefs.getNetIP();
    });
}

void AppDelegateHD::applicationWillResignActive(Application&) {
    QvApplicationPreference& prefs = QvApplicationPreference::sharedInstance();
    if (!prefs.saveApplicationPreference()) Log::error("app", "preferences not saved");
    if (viewController_) viewController_->liveViewStopAll();
    isBack_ = true;
    if (!QvDeviceManager::sharedInstance().saveDeviceList()) Log::error("app", "device list not saved");
}

void AppDelegateHD::applicationWillTerminate(Application&) {
    // Ending the program (Ctrl-C, SIGTERM, the window closed) keeps what the
    // user set up, as going to the background does.
    if (!QvApplicationPreference::sharedInstance().saveApplicationPreference())
        Log::error("app", "preferences not saved");
    if (!QvDeviceManager::sharedInstance().saveDeviceList()) Log::error("app", "device list not saved");
    if (viewController_) viewController_->liveViewStopAll();
}

void AppDelegateHD::applicationDidBecomeActive(Application&) {
    QvApplicationPreference& prefs = QvApplicationPreference::sharedInstance();
    prefs.setIpstr(std::string());
    prefs.getNetIP();
    prefs.setIsInnerGetMain(true);
    if (isBack_) {
        std::vector<std::shared_ptr<Device>> devices = QvDeviceManager::sharedInstance().devices();
        for (const auto& device : devices) device->isStartPreCon = false;
        if (viewController_) viewController_->startShan();
        for (const auto& device : devices) {
            std::optional<std::string> uid = device->udid.get();
            if (uid && !uid->empty() && !device->isStartPreCon.load()) device->startPreConnection();
        }
    }
    if (viewController_) viewController_->startAutoPlay();
}

void AppDelegateHD::applicationDidRegisterForRemoteNotificationsWithDeviceToken(Application&,
                                                                                 const std::vector<uint8_t>& token) {
    if (!push_) push_ = std::make_unique<PushRegistration>();
    push_->applicationDidRegisterForRemoteNotificationsWithDeviceToken(token);
}

void AppDelegateHD::applicationDidReceiveRemoteNotification(Application& app, const PropertyList& userInfo) {
    remark_ = AlarmNotification::remarkText(userInfo);
    Application::Alert alert;
    alert.message = AlarmNotification::alertText(userInfo).value_or(std::string());
    alert.buttons = {Localization::string("CANCEL_BUTTON"), Localization::string("OK_BUTTON")};
    alert.tag = kAlarmAlertTag;
    alert.context = remark_.value_or(std::string());
    app.showAlert(std::move(alert));
}

void AppDelegateHD::alertViewClickedButtonAtIndex(const Application::Alert& alert, int buttonIndex) {
    if (alert.tag != kAlarmAlertTag || buttonIndex != 1) return;
    play(alert.context);
}

bool AppDelegateHD::play(const std::optional<std::string>& remark) {
    if (!remark || remark->empty()) return false;
    std::optional<AlarmNotification::Target> target = AlarmNotification::parseRemark(*remark);
    if (!target) return false;
    deviceName_ = target->deviceName;
    std::shared_ptr<Device> device = QvDeviceManager::sharedInstance().deviceWithName(target->deviceName);
    if (!device || !viewController_) return false;
    viewController_->playDevice(device, target->channel);
    return true;
}

}  // namespace lumora
