#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "DataControllerTestSupport.h"
#include "app/core/QvApplicationPreference.h"

using namespace lumora;
using namespace lumora::test;
using namespace std::chrono_literals;

namespace {

using DataControllerTest = DataControllerFixture;

// Every refusal a device can answer a login with ends the view with its
// own text: the device's result, through the parser's error code, to the
// text the pane shows.
TEST_F(DataControllerTest, EachLoginRefusalShowsItsText) {
    startDevice();
    const struct {
        int result;
        const char* key;
    } cases[] = {{2, "LOGINERROR_MSG"},    {4, "LOGINFAILED_STATUS"}, {5, "ERROR_OVERMAXUSER"},
                 {24, "NOVIDEO_STATUS"},   {3, "LOGINFAILED_STATUS"}, {7, "LOGINFAILED_STATUS"}};
    auto dev = addressDevice("Porch");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        device->setForcedLoginResult(c.result);
        pane = std::make_shared<FakePane>();
        session = DataController::create();
        session->setDelegate(pane);
        startLiveFromGlobal(dev, 0);
        ASSERT_TRUE(waitFor([&] { return pane->countPrefix("failed") >= 1; })) << pane->joined();
        EXPECT_EQ(pane->all().back(), "failed " + Localization::string(c.key));
        EXPECT_NE(Localization::string(c.key), c.key);
        EXPECT_EQ(dev->connectNum.load(), 0);
        session->stopLive();
    }
}

// The decoder's jump door follows the live preference as the session reads
// it at the stream's start: one second of frames at 0, five otherwise (the
// emulator sends 25 frames a second; the session sizes the decoder's buffer
// only after the set-up, so the buffer adds nothing).
TEST_F(DataControllerTest, TheDecoderTakesTheLivePreferenceAtTheStreamsStart) {
    struct Case {
        int livePreference;
        int jumpDoor;
    };
    const Case cases[] = {{0, 25}, {1, 5 * 25}, {2, 5 * 25}};
    startDevice();
    auto dev = addressDevice("Porch");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.livePreference);
        QvApplicationPreference::sharedInstance().setLivePreference(c.livePreference);
        pane = std::make_shared<FakePane>();
        session = DataController::create();
        session->setDelegate(pane);
        liveUntilPicture(dev);
        EXPECT_EQ(session->frameRate(), 25);
        EXPECT_EQ(session->decoderJumpDoor(), c.jumpDoor);
        session->stopLive();
        EXPECT_EQ(session->decoderJumpDoor(), -1);
    }
    QvApplicationPreference::sharedInstance().setLivePreference(0);
}

// A device reached by its address: pictures reach the pane on the main
// queue, the caption names the device and channel, the channel count is
// learnt; after the stop the pane hears nothing more.
TEST_F(DataControllerTest, LiveByAddressShowsPicturesOnTheMainQueueUntilStopped) {
    startDevice();
    auto dev = addressDevice("Porch");
    dev->channelNum = 0;
    startLiveFromGlobal(dev, 0);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return pane->pictures() >= 3; }, 30s)) << pane->joined();
    EXPECT_EQ(pane->offMainPictures.load(), 0);
    EXPECT_GT(pane->lastWidth.load(), 0);
    EXPECT_GT(pane->lastHeight.load(), 0);
    EXPECT_EQ(pane->count("text Porch ch01"), 1) << pane->joined();
    EXPECT_EQ(pane->count("reload 1"), 1);
    EXPECT_EQ(dev->channelNum.load(), 4);
    EXPECT_EQ(session->frameRate(), 25);
    EXPECT_EQ(session->videoWidth(), 320);
    EXPECT_EQ(dev->connectNum.load(), 1);
    // Reached by address: no statistics timer.
    RunLoop::main().runFor(50ms);
    EXPECT_FALSE(session->hasStatisticsTimer());
    EXPECT_EQ(pane->count("failed"), 0);

    session->stopLive();
    EXPECT_EQ(session->deviceId(), -1);
    EXPECT_FALSE(session->hasDecoder());
    EXPECT_EQ(dev->connectNum.load(), 0);
    long pictures = pane->pictures();
    size_t events = pane->all().size();
    RunLoop::main().runFor(300ms);
    EXPECT_EQ(pane->pictures(), pictures);
    EXPECT_EQ(pane->all().size(), events) << pane->joined();
}

TEST_F(DataControllerTest, ChannelTenGetsItsCaption) {
    startDeviceWith([](devemu::EmulatorOptions& o) { o.channels = 16; });
    auto dev = addressDevice("Yard");
    startLiveFromGlobal(dev, 9);
    ASSERT_TRUE(waitFor([&] { return pane->count("text Yard ch10") == 1; })) << pane->joined();
    session->stopLive();
}

TEST_F(DataControllerTest, ADeviceWithoutNameGetsNoCaption) {
    startDevice();
    auto dev = addressDevice("");
    startLiveFromGlobal(dev, 0);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return pane->pictures() >= 1; }, 30s)) << pane->joined();
    EXPECT_EQ(pane->countPrefix("text"), 0);
    session->stopLive();
}

TEST_F(DataControllerTest, ARefusedLoginStopsTheViewAndShowsTheText) {
    startDevice();
    auto dev = addressDevice("Porch");
    dev->password = "wrong";
    startLiveFromGlobal(dev, 0);
    ASSERT_TRUE(waitFor([&] { return pane->countPrefix("failed") >= 1; })) << pane->joined();
    EXPECT_EQ(pane->all().back(), "failed " + Localization::string("LOGINERROR_MSG"));
    EXPECT_NE(Localization::string("LOGINERROR_MSG"), "LOGINERROR_MSG");
    EXPECT_EQ(session->deviceId(), -1);
    EXPECT_EQ(dev->connectNum.load(), 0);
    EXPECT_FALSE(session->hasDecoder());
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(pane->countPrefix("failed"), 1) << pane->joined();
    EXPECT_EQ(pane->pictures(), 0);
}

TEST_F(DataControllerTest, ALoginForAChannelTheDeviceLacksShowsTheNoVideoText) {
    startDeviceWith([](devemu::EmulatorOptions& o) { o.channels = 2; });
    auto dev = addressDevice("Porch");
    startLiveFromGlobal(dev, 2);
    ASSERT_TRUE(waitFor([&] { return pane->countPrefix("failed") >= 1; })) << pane->joined();
    EXPECT_EQ(pane->all().back(), "failed " + Localization::string("NOVIDEO_STATUS"));
    EXPECT_NE(Localization::string("NOVIDEO_STATUS"), "NOVIDEO_STATUS");
    EXPECT_EQ(device->countEvents("login kind=extended user=admin channel=2"), 1u);
    EXPECT_EQ(session->deviceId(), -1);
    EXPECT_EQ(dev->connectNum.load(), 0);
    EXPECT_EQ(pane->pictures(), 0);
}

TEST_F(DataControllerTest, AnyOtherLoginResultShowsTheGeneralLoginText) {
    startDevice();
    device->setForcedLoginResult(3);
    auto dev = addressDevice("Porch");
    startLiveFromGlobal(dev, 0);
    ASSERT_TRUE(waitFor([&] { return pane->countPrefix("failed") >= 1; })) << pane->joined();
    EXPECT_EQ(pane->all().back(), "failed " + Localization::string("LOGINFAILED_STATUS"));
    EXPECT_EQ(session->deviceId(), -1);
}

// Nobody knows the device: it is offline, reported at once, no restart.
TEST_F(DataControllerTest, AnOfflineDeviceIsReportedAtOnce) {
    relayemu::LanSearchResponder lan(kLanAddr, 0, relayemu::LanSearchResponder::Script{true, -1});
    ASSERT_TRUE(lan.ok());
    Config::shared().lanGroup = kLanAddr;
    Config::shared().lanPort = lan.port();
    auto dev = uidDevice("Gate");
    startLiveFromGlobal(dev, 0);
    ASSERT_TRUE(waitFor([&] { return pane->countPrefix("failed") >= 1; })) << pane->joined();
    EXPECT_EQ(pane->all().back(), "failed " + Localization::string("MSG_DVOFF"));
    EXPECT_EQ(session->recontimes(), 0);
    EXPECT_EQ(dev->connectNum.load(), 1);  // no restart
    // Reached by udid: the statistics timer runs until the stop.
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return session->hasStatisticsTimer(); }, 30s));
    session->stopLive();
    RunLoop::main().runFor(20ms);
    EXPECT_FALSE(session->hasStatisticsTimer());
    EXPECT_EQ(dev->connectNum.load(), 0);
}

// The device goes away: every quick restart fails, five are made, the sixth
// drop tells the pane once that the view keeps trying; it goes on trying at
// a spaced pace (never a failure that ends the view) until stopped.
TEST_F(DataControllerTest, ALostLinkIsRestartedFiveTimesThenKeepsTrying) {
    startDevice();
    auto dev = addressDevice("Porch");
    startLiveFromGlobal(dev, 0);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return pane->pictures() >= 1; }, 30s)) << pane->joined();
    device->stop();
    ASSERT_TRUE(waitFor([&] { return pane->countPrefix("retrying") >= 1; })) << pane->joined();
    EXPECT_EQ(pane->all().back(), "retrying " + Localization::string("MSG_RECONNECTING"));
    EXPECT_EQ(session->restartsMade(), DataController::kMaxRestarts);
    EXPECT_EQ(session->recontimes(), 0);
    EXPECT_TRUE(session->isKeepTrying());
    ASSERT_TRUE(waitFor([&] { return session->keepTryingAttempts() >= 2; }));
    EXPECT_EQ(pane->countPrefix("retrying"), 1) << pane->joined();
    EXPECT_EQ(pane->countPrefix("failed"), 0) << pane->joined();
    EXPECT_EQ(session->restartsMade(), DataController::kMaxRestarts);
    // Restarts belong to the same view: the device counts it once.
    EXPECT_EQ(dev->connectNum.load(), 1);
    session->stopLive();
    EXPECT_FALSE(session->isKeepTrying());
    EXPECT_EQ(dev->connectNum.load(), 0);
    // The stop ends the attempts.
    const int attempts = session->keepTryingAttempts();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(session->keepTryingAttempts(), attempts);
    EXPECT_EQ(pane->countPrefix("failed"), 0) << pane->joined();
}

// A successful connect between drops starts the count again.
TEST_F(DataControllerTest, ASuccessfulConnectResetsTheRestartCount) {
    startDevice();
    auto dev = addressDevice("Porch");
    startLiveFromGlobal(dev, 0);
    ASSERT_TRUE(waitFor([&] { return deviceSessions() >= 1 && device->countEvents("login") >= 1; }));
    for (int drop = 1; drop <= 7; ++drop) {
        // The link drops with 1005 and the restart succeeds each time.
        session->tolvClientDidDisConnect("", Error(errors::kPingErr, errors::kCodePing, "link lost"));
        ASSERT_TRUE(waitFor([&] { return device->countEvents("login") >= static_cast<size_t>(drop + 1); }))
            << drop;
        ASSERT_TRUE(waitFor([&] { return session->recontimes() == 0; }));
    }
    EXPECT_EQ(pane->countPrefix("failed"), 0) << pane->joined();
    session->stopLive();
}

// Stopped while a restart waits: the view stays stopped and silent.
TEST_F(DataControllerTest, AStopCancelsAPendingRestart) {
    startDevice();
    auto dev = addressDevice("Porch");
    startLiveFromGlobal(dev, 0);
    ASSERT_TRUE(waitFor([&] { return device->countEvents("login") >= 1; }));
    session->tolvClientDidDisConnect("", Error(errors::kNETErr, errors::kCodeNet, "link lost"));
    session->stopLive();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(dev->connectNum.load(), 0);
    EXPECT_EQ(session->deviceId(), -1);
    EXPECT_EQ(pane->countPrefix("failed"), 0);
    // Drops after the stop are not reported either.
    session->tolvClientDidDisConnect("", Error(errors::kDeviceOffline, errors::kCodeDeviceOffline, "offline"));
    EXPECT_EQ(pane->countPrefix("failed"), 0);
}

TEST_F(DataControllerTest, CodesThatAreNotReportedStaySilent) {
    startDevice();
    auto dev = addressDevice("Porch");
    startLiveFromGlobal(dev, 0);
    ASSERT_TRUE(waitFor([&] { return device->countEvents("login") >= 1; }));
    session->tolvClientDidDisConnect("", Error(errors::kP2PErr, errors::kCodeP2P, "p2p"));
    session->tolvClientDidDisConnect("", Error(errors::kTCPErr, errors::kCodeTCP, "tcp"));
    session->tolvClientDidDisConnect("", Error());
    EXPECT_EQ(pane->countPrefix("failed"), 0);
    session->tolvClientDidDisConnect("", Error(errors::kDeviceOff, errors::kCodeDeviceOffline, "no link"));
    EXPECT_EQ(pane->all().back(), "failed " + Localization::string("MSG_DVOFF"));
    EXPECT_EQ(session->recontimes(), 0);
    session->setChannelConnectMode(1);
    session->tolvClientDidDisConnect("", Error(errors::kTCPErr, errors::kCodeTCP, "tcp"));
    EXPECT_EQ(pane->all().back(), "failed " + Localization::string("RECORDEND"));
    session->setChannelConnectMode(0);
    session->stopLive();
}

}  // namespace

namespace {

// Starts on the global queue raced by stops on the main queue: every view
// ends stopped, counted down and silent.
TEST_F(DataControllerTest, StopsRacingStartsLeaveNothingRunning) {
    startDevice();
    auto dev = addressDevice("Porch");
    for (int i = 0; i < 10; ++i) {
        startLiveFromGlobal(dev, 0);
        ASSERT_TRUE(waitFor([&] { return session->deviceId() == dev->deviceId; }));
        RunLoop::main().runFor(std::chrono::milliseconds(i * 3));
        session->stopLive();
    }
    RunLoop::main().runFor(300ms);
    EXPECT_EQ(dev->connectNum.load(), 0);
    EXPECT_EQ(session->deviceId(), -1);
    EXPECT_FALSE(session->hasDecoder());
    EXPECT_EQ(session->client()->deviceConnection(), nullptr);
    long pictures = pane->pictures();
    size_t events = pane->all().size();
    RunLoop::main().runFor(300ms);
    EXPECT_EQ(pane->pictures(), pictures);
    EXPECT_EQ(pane->all().size(), events) << pane->joined();
}

}  // namespace

namespace {

TEST_F(DataControllerTest, AStreamFormatWithoutFrameRateDecodesAt25AndKeepsTheAudioFormat) {
    startDevice();
    device->setSilent(true);
    auto dev = addressDevice("Porch");
    startLiveFromGlobal(dev, 0);
    ASSERT_TRUE(waitFor([&] { return session->deviceId() == dev->deviceId; }));
    _TLV_V_StreamDataFormat f;
    f.dataType = 1;
    f.audioFormat.waveFormat = 0x7A19;
    f.videoFormat.width = 640;
    f.videoFormat.height = 480;
    session->deviceDidReceiveStreamFormat(nullptr, f, 0);
    EXPECT_EQ(session->frameRate(), 25);
    EXPECT_TRUE(session->hasDecoder());
    EXPECT_TRUE(session->isDeviceHasAudio());
    f.dataType = 3;
    f.audioFormat.waveFormat = 1;
    session->deviceDidReceiveStreamFormat(nullptr, f, 0);
    EXPECT_EQ(session->audioFormat(), 0x7A19);
    session->stopLive();
    // A stream format after the stop makes no decoder.
    session->deviceDidReceiveStreamFormat(nullptr, f, 0);
    EXPECT_FALSE(session->hasDecoder());
}

TEST_F(DataControllerTest, ASessionDroppedDuringAViewLowersTheConnectionCount) {
    startDevice();
    auto dev = addressDevice("Porch");
    liveUntilPicture(dev);
    EXPECT_EQ(dev->numberOfConnections(), 1);
    std::weak_ptr<DataController> weak = session;
    session.reset();  // the pane went away without stopping its view
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return weak.expired(); }, std::chrono::seconds(30)));
    EXPECT_EQ(dev->numberOfConnections(), 0);
}

}  // namespace
