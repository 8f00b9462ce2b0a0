#include "app/AppDelegate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "AppFixture.h"
#include "app/core/QvApplicationPreference.h"
#include "base/network/NETStatusObj.h"
#include "platform/audio/AudioSession.h"

using namespace lumora;
using namespace lumora::test;
namespace fs = std::filesystem;

namespace {

using AppDelegateTest = DelegateTest<AppDelegate>;

TEST_F(AppDelegateTest, LaunchLoadsStoresWatchesTheHostAndShowsTheLiveScreen) {
    launch();
    EXPECT_EQ(QvDeviceManager::sharedInstance().countOfDevices(), 2u);
    EXPECT_EQ(factory->made, 1);
    ASSERT_NE(delegate->viewController(), nullptr);
    ASSERT_NE(delegate->hostReach(), nullptr);
    EXPECT_EQ(delegate->hostReach()->hostName(), kHost);
    EXPECT_EQ(app->applicationIconBadgeNumber(), 0);
    EXPECT_TRUE(app->isIdleTimerDisabled());
    EXPECT_EQ(app->registeredNotificationTypes(), 7u);
    EXPECT_EQ(AudioSession::shared().category(), AudioSession::Category::PlayAndRecord);
    EXPECT_TRUE(AudioSession::shared().isInitialized());
    EXPECT_TRUE(Application::hasUncaughtExceptionHandler());
    EXPECT_EQ(app->applicationState(), Application::State::Active);

    // The one initial report sets the flags, pre-connects every device and
    // polls (the activation polled once before).
    EXPECT_TRUE(NETStatusObj::sharedInstance().isHaveNet());
    EXPECT_FALSE(NETStatusObj::sharedInstance().is3G());
    EXPECT_EQ(preLog->count("Cam A"), 1);
    EXPECT_EQ(preLog->count("Cam B"), 1);
    EXPECT_EQ(screens->count("searchAllDeviceState"), 2);
    RunLoop::main().runFor(std::chrono::milliseconds(100));
    EXPECT_EQ(reachNotes, 1);
    EXPECT_TRUE(screens->played.empty());
}

TEST_F(AppDelegateTest, ResignSavesBothStoresClearsPreConnectionFlagsAndStopsAll) {
    launch();
    for (auto& d : QvDeviceManager::sharedInstance().devices()) d->isStartPreCon = true;
    // Nothing changed, yet both stores are written.
    std::string devicesPath = QvDeviceManager::sharedInstance().storePath();
    std::string prefsPath = QvApplicationPreference::sharedInstance().storePath();
    fs::remove(devicesPath);
    fs::remove(prefsPath);

    app->resignActive();
    EXPECT_TRUE(fs::exists(devicesPath));
    EXPECT_TRUE(fs::exists(prefsPath));
    EXPECT_EQ(screens->count("stopAll"), 1);
    for (auto& d : QvDeviceManager::sharedInstance().devices()) EXPECT_FALSE(d->isStartPreCon.load());
    EXPECT_EQ(app->applicationState(), Application::State::Inactive);

    QvDeviceManager reread(FileManager::sharedInstance());
    reread.readDeviceList();
    EXPECT_EQ(reread.countOfDevices(), 2u);
}

TEST_F(AppDelegateTest, ActivationResetsTheBadgeAndPolls) {
    launch();
    app->resignActive();
    app->enterBackground();
    app->deliverRemoteNotification(payload("alarm", "a|b|1|c|d|Cam A"));
    app->deliverRemoteNotification(payload("alarm", "a|b|1|c|d|Cam A"));
    EXPECT_EQ(app->applicationIconBadgeNumber(), 2);
    EXPECT_TRUE(app->shownAlerts().empty());  // in the background: badge only
    QvApplicationPreference::sharedInstance().setIsInnerGetMain(false);
    int polls = screens->count("searchAllDeviceState");

    app->enterForeground();
    EXPECT_EQ(app->applicationIconBadgeNumber(), 0);
    EXPECT_EQ(screens->count("searchAllDeviceState"), polls + 1);
    EXPECT_TRUE(QvApplicationPreference::sharedInstance().isInnerGetMain());
    EXPECT_EQ(QvApplicationPreference::sharedInstance().ipstr(), std::optional<std::string>(""));
    EXPECT_TRUE(screens->played.empty());
}

TEST_F(AppDelegateTest, ReachabilityChangesSetTheFlagsPreConnectAndPoll) {
    launch();
    using namespace reachability_flags;
    // Lost, but a link-local Wi-Fi path is still up.
    provider->setFlagsForAddress("169.254.0.0", kReachable | kIsDirect);
    provider->changeHost(kHost, 0u);
    ASSERT_TRUE(runUntil([&] { return reachNotes >= 2; }));
    NETStatusObj& net = NETStatusObj::sharedInstance();
    EXPECT_FALSE(net.isHaveNet());
    EXPECT_FALSE(net.is3G());
    EXPECT_TRUE(net.isWIFI());
    EXPECT_EQ(preLog->count("Cam A"), 2);
    EXPECT_EQ(preLog->count("Cam B"), 2);
    EXPECT_EQ(screens->count("searchAllDeviceState"), 3);

    // Back over the cellular interface.
    provider->setFlagsForAddress("0.0.0.0", kReachable | kIsWWAN);
    provider->changeHost(kHost, kReachable | kIsWWAN);
    ASSERT_TRUE(runUntil([&] { return reachNotes >= 3; }));
    EXPECT_TRUE(net.isHaveNet());
    EXPECT_TRUE(net.is3G());
    EXPECT_FALSE(net.isWIFI());
    EXPECT_EQ(preLog->count("Cam B"), 3);
    EXPECT_EQ(screens->count("searchAllDeviceState"), 4);
}

TEST_F(AppDelegateTest, AlarmAlertPlaysTheNamedDeviceAndChannelOnlyOnOk) {
    launch();
    app->deliverRemoteNotification(payload("Motion on Cam B", "x|y|3|z|w|Cam B|tail"));
    EXPECT_EQ(app->applicationIconBadgeNumber(), 1);
    ASSERT_EQ(app->shownAlerts().size(), 1u);
    const Application::Alert& alert = app->shownAlerts()[0];
    EXPECT_EQ(alert.title, "");
    EXPECT_EQ(alert.message, "Motion on Cam B");
    EXPECT_EQ(alert.tag, 1000);
    ASSERT_EQ(alert.buttons.size(), 2u);
    EXPECT_EQ(alert.buttons[0], "Cancel");
    EXPECT_EQ(alert.buttons[1], "OK");
    EXPECT_EQ(delegate->remark(), std::optional<std::string>("x|y|3|z|w|Cam B|tail"));

    ASSERT_TRUE(app->clickAlertButton(0, 0));  // cancel
    EXPECT_TRUE(screens->played.empty());

    app->deliverRemoteNotification(payload("Motion on Cam B", "x|y|3|z|w|Cam B|tail"));
    ASSERT_TRUE(app->clickAlertButton(0, 1));
    ASSERT_EQ(screens->played.size(), 1u);
    EXPECT_EQ(screens->played[0], std::make_pair(std::string("Cam B"), int32_t{3}));
}

TEST_F(AppDelegateTest, EachAlertPlaysWhatItAnnounced) {
    launch();
    app->deliverRemoteNotification(payload("first", "x|y|1|z|w|Cam A"));
    app->deliverRemoteNotification(payload("second", "x|y|2|z|w|Cam B"));
    ASSERT_EQ(app->shownAlerts().size(), 2u);
    ASSERT_TRUE(app->clickAlertButton(0, 1));  // the first one
    ASSERT_EQ(screens->played.size(), 1u);
    EXPECT_EQ(screens->played[0], std::make_pair(std::string("Cam A"), int32_t{1}));
}

TEST_F(AppDelegateTest, LaunchByAnAlarmPlaysItsDevice) {
    PropertyList options = PropertyList::makeDictionary();
    options.set(Application::kLaunchOptionsRemoteNotificationKey, payload("alarm", "0|1|3|3|4|Cam A"));
    launch(options);
    ASSERT_EQ(screens->played.size(), 1u);
    EXPECT_EQ(screens->played[0], std::make_pair(std::string("Cam A"), int32_t{3}));
}

TEST_F(AppDelegateTest, LaunchByAnAlarmOfFiveFieldsPlaysNothing) {
    PropertyList options = PropertyList::makeDictionary();
    options.set(Application::kLaunchOptionsRemoteNotificationKey, payload("alarm", "0|1|3|3|Cam A"));
    launch(options);
    EXPECT_TRUE(screens->played.empty());
}

TEST_F(AppDelegateTest, HostilePayloadsPlayNothing) {
    launch();
    std::vector<PropertyList> payloads;
    payloads.push_back(PropertyList::makeDictionary());                 // no "aps"
    payloads.push_back(PropertyList::makeString("aps"));                // not a dictionary
    {
        PropertyList p = PropertyList::makeDictionary();
        p.set("aps", PropertyList::makeString("x|y|1|z|w|Cam A"));      // "aps" not a dictionary
        payloads.push_back(p);
    }
    {
        PropertyList aps = PropertyList::makeDictionary();
        aps.set("alert", PropertyList::makeInteger(5));
        aps.set("remark", PropertyList::makeInteger(7));               // remark not a text
        PropertyList p = PropertyList::makeDictionary();
        p.set("aps", aps);
        payloads.push_back(p);
    }
    for (const char* remark :
         {"", "|||||", "x|y|1|z|w", "x|y||z|w|Cam A", "x|y|abc|z|w|Cam A", "x|y|-1|z|w|Cam A",
          "x|y|3x|z|w|Cam A", "x|y|99999999999|z|w|Cam A", "x|y|1|z|w|", "x|y|1|z|w|Nobody",
          "x|y|1|z|w|cam a", "x|y|1|z|w|Cam A "})
        payloads.push_back(payload("alarm", remark));
    payloads.push_back(payload("alarm", "x|y|1|z|w|Cam A|" + std::string(10000, '|')));  // too long

    for (const PropertyList& p : payloads) {
        app->deliverRemoteNotification(p);
        ASSERT_EQ(app->shownAlerts().size(), 1u);
        ASSERT_TRUE(app->clickAlertButton(0, 1));
    }
    EXPECT_TRUE(screens->played.empty());
    EXPECT_FALSE(delegate->play(std::nullopt));
    EXPECT_FALSE(app->clickAlertButton(0, 1));  // nothing left to answer
}

// Store files that once crashed the start (nesting that overflowed the
// stack, a zero byte inside a key): the application starts with an empty
// list and default preferences, each file kept beside as ".bad", and the
// first save writes fresh stores without touching them.
TEST_F(AppDelegateTest, LaunchWithHostileStoresKeepsThemAsideAndStartsEmpty) {
    struct Store {
        std::string path;
        std::string fixture;
    } stores[] = {
        {QvDeviceManager::sharedInstance().storePath(), "deep.plist"},
        {QvApplicationPreference::sharedInstance().storePath(), "nul-key.plist"},
    };
    auto readAll = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    for (const auto& s : stores) {
        fs::create_directories(fs::path(s.path).parent_path());
        fs::copy_file(std::string(LUMORA_TEST_DATA_DIR "/hostile/") + s.fixture, s.path,
                      fs::copy_options::overwrite_existing);
    }
    launch();
    EXPECT_EQ(QvDeviceManager::sharedInstance().countOfDevices(), 0u);
    ASSERT_NE(delegate->viewController(), nullptr);
    for (const auto& s : stores) {
        SCOPED_TRACE(s.fixture);
        EXPECT_FALSE(fs::exists(s.path));
        EXPECT_EQ(readAll(s.path + ".bad"), readAll(std::string(LUMORA_TEST_DATA_DIR "/hostile/") + s.fixture));
    }
    delegate->applicationWillResignActive(*app);
    for (const auto& s : stores) {
        SCOPED_TRACE(s.fixture);
        EXPECT_TRUE(PropertyList::readFile(s.path).status == PropertyList::ReadStatus::Ok);
        EXPECT_EQ(readAll(s.path + ".bad"), readAll(std::string(LUMORA_TEST_DATA_DIR "/hostile/") + s.fixture));
    }
}

TEST_F(AppDelegateTest, TerminateSavesThePreferencesAndTheDeviceListAndStopsAll) {
    launch();
    std::string prefsPath = QvApplicationPreference::sharedInstance().storePath();
    std::string listPath = QvDeviceManager::sharedInstance().storePath();
    fs::remove(prefsPath);
    fs::remove(listPath);
    app->terminate();
    EXPECT_TRUE(fs::exists(prefsPath));
    EXPECT_TRUE(fs::exists(listPath));
    EXPECT_EQ(fs::status(prefsPath).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(screens->count("stopAll"), 1);
}

TEST_F(AppDelegateTest, InterruptionsSwitchTheAudioSession) {
    launch();
    AudioSession::shared().setActive(true);
    AudioSession::shared().beginInterruption();
    ASSERT_TRUE(runUntil([] { return !AudioSession::shared().isActive(); }));
    AudioSession::shared().endInterruption();
    ASSERT_TRUE(runUntil([] { return AudioSession::shared().isActive(); }));
}

}  // namespace

namespace {

// The screens read the token through the application's delegate interface,
// without knowing whether the phone or the tablet delegate runs.
TEST_F(AppDelegateTest, DeliveredTokenBecomesTheTokenText) {
    launch();
    const ApplicationDelegate& any = Application::shared()->delegate();
    EXPECT_EQ(any.tokenString(), std::nullopt);
    std::vector<uint8_t> token(32);
    for (size_t i = 0; i < token.size(); ++i) token[i] = static_cast<uint8_t>(i * 7);
    app->deliverDeviceToken(token);
    ASSERT_TRUE(any.tokenString().has_value());
    EXPECT_EQ(any.tokenString()->size(), 71u);
    EXPECT_EQ(any.tokenString()->substr(0, 9), "00070e15 ");
    EXPECT_EQ(any.tokenString(), delegate->tokenString());
}

}  // namespace
