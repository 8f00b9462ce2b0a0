#include "app/AppDelegateHD.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "AppFixture.h"
#include "app/core/QvApplicationPreference.h"
#include "base/network/NETStatusObj.h"
#include "platform/storage/UserDefaults.h"

using namespace lumora;
using namespace lumora::test;
namespace fs = std::filesystem;

namespace {

using AppDelegateHDTest = DelegateTest<AppDelegateHD>;

TEST_F(AppDelegateHDTest, LaunchShowsTheHomeScreenAndKeepsTheBadge) {
    QvApplicationPreference::sharedInstance().setHideAd(true);
    Application::setUncaughtExceptionHandler({});
    delegate = std::make_unique<AppDelegateHD>(factory);
    app = std::make_unique<Application>(*delegate);
    app->setApplicationIconBadgeNumber(5);
    ASSERT_TRUE(app->launch());
    ASSERT_TRUE(runUntil([&] { return reachNotes >= 1; }));

    EXPECT_EQ(factory->made, 1);
    EXPECT_EQ(QvDeviceManager::sharedInstance().countOfDevices(), 2u);
    EXPECT_FALSE(QvApplicationPreference::sharedInstance().hideAd());
    EXPECT_EQ(app->applicationIconBadgeNumber(), 5);
    EXPECT_TRUE(app->isIdleTimerDisabled());
    EXPECT_EQ(app->registeredNotificationTypes(), 7u);
    EXPECT_TRUE(Application::hasUncaughtExceptionHandler());
    EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey("openTime"), std::optional<std::string>("1"));
    // The first activation only resumes the saved tiles; a reachability
    // report only sets the flags.
    EXPECT_EQ(screens->calls, std::vector<std::string>{"startAutoPlay"});
    EXPECT_TRUE(NETStatusObj::sharedInstance().isHaveNet());
    EXPECT_EQ(preLog->total(), 0);
    EXPECT_FALSE(delegate->isBack());
}

TEST_F(AppDelegateHDTest, TerminateSavesThePreferencesAndTheDeviceList) {
    launch();
    std::string prefsPath = QvApplicationPreference::sharedInstance().storePath();
    std::string listPath = QvDeviceManager::sharedInstance().storePath();
    fs::remove(prefsPath);
    fs::remove(listPath);
    app->terminate();
    EXPECT_TRUE(fs::exists(prefsPath));
    EXPECT_TRUE(fs::exists(listPath));
    EXPECT_EQ(screens->count("liveViewStopAll"), 1);
}

TEST_F(AppDelegateHDTest, OpenTimeCountsLaunches) {
    launch();
    app.reset();
    delegate.reset();
    launch();
    EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey("openTime"), std::optional<std::string>("2"));

    const std::pair<std::optional<std::string>, int32_t> cases[] = {
        {std::nullopt, 1}, {"", 1},         {"abc", 1},      {"-3", 1},          {"2", 3},
        {"41", 42},        {"7 days", 8},   {"2147483646", INT32_MAX}, {"2147483647", INT32_MAX},
        {"99999999999999999999999", INT32_MAX},
    };
    for (const auto& [stored, next] : cases)
        EXPECT_EQ(AppDelegateHD::nextOpenTime(stored), next) << stored.value_or("(none)");
}

TEST_F(AppDelegateHDTest, SkipHomePageOpensTheLiveViewSoonAfterLaunch) {
    QvApplicationPreference::sharedInstance().setSkipHomePage(true);
    launch();
    EXPECT_TRUE(runUntil([&] { return screens->count("skipToLiveView") == 1; }));
}

TEST_F(AppDelegateHDTest, ReturningAfterAResignPreConnectsDevicesWithAUidAndResumesTiles) {
    launch();
    std::string devicesPath = QvDeviceManager::sharedInstance().storePath();
    fs::remove(devicesPath);
    for (auto& d : QvDeviceManager::sharedInstance().devices()) d->isStartPreCon = true;

    app->resignActive();
    EXPECT_TRUE(delegate->isBack());
    EXPECT_TRUE(fs::exists(devicesPath));
    EXPECT_TRUE(fs::exists(QvApplicationPreference::sharedInstance().storePath()));
    EXPECT_EQ(screens->count("liveViewStopAll"), 1);
    EXPECT_EQ(preLog->total(), 0);

    QvApplicationPreference::sharedInstance().setIsInnerGetMain(false);
    app->becomeActive();
    EXPECT_EQ(screens->count("startShan"), 1);
    EXPECT_EQ(screens->count("startAutoPlay"), 2);
    EXPECT_EQ(preLog->count("Cam B"), 1);  // by UID
    EXPECT_EQ(preLog->count("Cam A"), 0);  // by address: never pre-connected
    EXPECT_TRUE(QvApplicationPreference::sharedInstance().isInnerGetMain());
    for (auto& d : QvDeviceManager::sharedInstance().devices()) EXPECT_FALSE(d->isStartPreCon.load());
}

TEST_F(AppDelegateHDTest, ReachabilityChangesOnlySetTheFlags) {
    launch();
    using namespace reachability_flags;
    provider->setFlagsForAddress("169.254.0.0", kReachable | kIsDirect);
    provider->changeHost(kHost, 0u);
    ASSERT_TRUE(runUntil([&] { return reachNotes >= 2; }));
    NETStatusObj& net = NETStatusObj::sharedInstance();
    EXPECT_FALSE(net.isHaveNet());
    EXPECT_TRUE(net.isWIFI());
    EXPECT_EQ(preLog->total(), 0);
    EXPECT_EQ(screens->calls, std::vector<std::string>{"startAutoPlay"});
}

TEST_F(AppDelegateHDTest, AlarmWhileInactiveStillAsksAndPlaysOnOk) {
    launch();
    app->resignActive();
    app->deliverRemoteNotification(payload("Motion", "a|b|5|d|e|Cam B"));
    EXPECT_EQ(app->applicationIconBadgeNumber(), 0);
    ASSERT_EQ(app->shownAlerts().size(), 1u);
    EXPECT_EQ(app->shownAlerts()[0].tag, 1000);
    EXPECT_EQ(app->shownAlerts()[0].message, "Motion");
    ASSERT_TRUE(app->clickAlertButton(0, 1));
    ASSERT_EQ(screens->played.size(), 1u);
    EXPECT_EQ(screens->played[0], std::make_pair(std::string("Cam B"), int32_t{5}));
    EXPECT_EQ(delegate->deviceName(), std::optional<std::string>("Cam B"));

    // Hostile remarks play nothing.
    for (const char* remark : {"a|b|5|d|Cam B", "a|b|x|d|e|Cam B", "a|b|5|d|e|Nobody", ""}) {
        app->deliverRemoteNotification(payload("Motion", remark));
        ASSERT_TRUE(app->clickAlertButton(0, 1));
    }
    app->deliverRemoteNotification(PropertyList::makeDictionary());
    ASSERT_TRUE(app->clickAlertButton(0, 1));
    EXPECT_EQ(screens->played.size(), 1u);
}

TEST_F(AppDelegateHDTest, LaunchByAnAlarmPlaysItsDevice) {
    PropertyList options = PropertyList::makeDictionary();
    options.set(Application::kLaunchOptionsRemoteNotificationKey, payload("alarm", "0|1|2|3|4|Cam A"));
    launch(options);
    ASSERT_EQ(screens->played.size(), 1u);
    EXPECT_EQ(screens->played[0], std::make_pair(std::string("Cam A"), int32_t{2}));
    EXPECT_EQ(delegate->remark(), std::optional<std::string>("0|1|2|3|4|Cam A"));
}

TEST_F(AppDelegateHDTest, TheTokenTextIsReadableThroughTheDelegateInterface) {
    launch();
    const ApplicationDelegate& any = Application::shared()->delegate();
    EXPECT_EQ(any.tokenString(), std::nullopt);
    app->deliverDeviceToken(std::vector<uint8_t>{0xde, 0xad, 0xbe, 0xef, 0x01});
    EXPECT_EQ(any.tokenString(), std::optional<std::string>("deadbeef 01"));
}

}  // namespace
