#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "DataControllerTestSupport.h"
#include "app/core/FileManager.h"
#include "platform/audio/AudioSession.h"

using namespace lumora;
using namespace lumora::test;
using namespace std::chrono_literals;

namespace {

using DataControllerMediaTest = DataControllerFixture;

TEST_F(DataControllerMediaTest, PtzRequestsCarryTheSpeedInTheirWord) {
    struct Case {
        int code;
        uint32_t word0, word2;
    } cases[] = {{0, 0, 0}, {5, 4, 0}, {8, 4, 0}, {9, 0, 4}, {12, 0, 4}, {13, 4, 0}, {14, 4, 0}, {3, 0, 0}, {20, 0, 0}};
    for (const auto& c : cases) {
        auto p = session->buildPtz(c.code);
        ASSERT_EQ(p.size(), 36u) << c.code;
        // Header 8, record header 4, request 8 (channel at 4, code at 5), argument 16.
        EXPECT_EQ(p[12 + 4], 1) << c.code;
        EXPECT_EQ(p[12 + 5], c.code);
        auto word = [&](int i) {
            size_t at = 20 + 4 * static_cast<size_t>(i);
            return uint32_t(p[at]) | uint32_t(p[at + 1]) << 8 | uint32_t(p[at + 2]) << 16 | uint32_t(p[at + 3]) << 24;
        };
        EXPECT_EQ(word(0), c.word0) << c.code;
        EXPECT_EQ(word(1), 0u);
        EXPECT_EQ(word(2), c.word2) << c.code;
        EXPECT_EQ(word(3), 0u);
    }
}

TEST_F(DataControllerMediaTest, AMovingPtzCommandIsStoppedAfterASecond) {
    startDevice();
    auto dev = addressDevice("Porch");
    liveUntilPicture(dev, 2);
    session->ptzControl(9);
    ASSERT_TRUE(device->waitForEvent("ptz channel=3 command=9 arg=0,0,4,0", 30s));
    ASSERT_TRUE(device->waitForEvent("ptz channel=3 command=0 arg=0,0,0,0", 30s));
    session->ptzControl(0);
    ASSERT_TRUE(device->waitForEvent("ptz channel=3 command=0", 30s, 2));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(device->countEvents("ptz"), 3u);
}

// A swipe or a held button renews its move: each move takes over the stop
// pending for the one before, so the device sees the moves and one stop
// after the last of them, never a stop between two moves.
TEST_F(DataControllerMediaTest, ANewerMoveTakesOverThePendingStop) {
    startDevice();
    auto dev = addressDevice("Porch");
    liveUntilPicture(dev);
    for (int i = 0; i < 6; ++i) session->ptzControl(11);
    ASSERT_TRUE(device->waitForEvent("ptz channel=1 command=0", 30s));
    std::this_thread::sleep_for(200ms);
    std::vector<std::string> commands;
    for (const auto& e : device->events())
        if (e.text.rfind("ptz", 0) == 0) commands.push_back(e.text.substr(0, e.text.find(" arg")));
    std::vector<std::string> want(6, "ptz channel=1 command=11");
    want.push_back("ptz channel=1 command=0");
    EXPECT_EQ(commands, want);
    // A stop sent by the pane voids the pending safety stop too.
    session->ptzControl(12);
    session->ptzControl(0);
    ASSERT_TRUE(device->waitForEvent("ptz channel=1 command=0", 30s, 2));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(device->countEvents("ptz channel=1 command=0"), 2u);
}

TEST_F(DataControllerMediaTest, AGrantedTalkStartsCaptureAndStopTalkEndsIt) {
    startDevice();
    auto dev = addressDevice("Porch");
    liveUntilPicture(dev);
    session->startTalk();
    EXPECT_EQ(AudioSession::shared().category(), AudioSession::Category::PlayAndRecord);
    ASSERT_TRUE(device->waitForEvent("talk action=1 device=0", 30s));
    ASSERT_TRUE(waitFor([&] { return pane->count("talk 1") == 1; })) << pane->joined();
    RunLoop::main().runFor(50ms);  // the capture starts on the main queue
    session->stopTalk();
    EXPECT_FALSE(session->isStartTalk());
    EXPECT_EQ(AudioSession::shared().category(), AudioSession::Category::MediaPlayback);
    ASSERT_TRUE(device->waitForEvent("talk action=2 device=0", 30s));
    RunLoop::main().runFor(50ms);
    session->stopLive();
}

TEST_F(DataControllerMediaTest, ARefusedTalkTellsThePaneNo) {
    startDeviceWith([](devemu::EmulatorOptions& o) { o.grantTalk = false; });
    auto dev = addressDevice("Porch");
    dev->mediaPort = device->tcpPort();
    liveUntilPicture(dev);
    session->startTalk();
    ASSERT_TRUE(waitFor([&] { return pane->count("talk 0") == 1; })) << pane->joined();
    EXPECT_TRUE(session->isStartTalk());
    session->stopLive();
    EXPECT_FALSE(session->isStartTalk());
}

TEST_F(DataControllerMediaTest, ListeningNeedsAStreamWithAudio) {
    startDevice();  // no audio in the stream
    auto dev = addressDevice("Porch");
    liveUntilPicture(dev);
    AudioSession::shared().setCategory(AudioSession::Category::None);
    EXPECT_FALSE(session->startAudio());
    EXPECT_FALSE(session->isStartAudio());
    EXPECT_EQ(AudioSession::shared().category(), AudioSession::Category::None);
    session->stopLive();
}

TEST_F(DataControllerMediaTest, ListeningFollowsTheTalkCategory) {
    startDeviceWith([](devemu::EmulatorOptions& o) { o.audio = true; });
    auto dev = addressDevice("Porch");
    dev->mediaPort = device->tcpPort();
    liveUntilPicture(dev);
    ASSERT_TRUE(session->isDeviceHasAudio());
    session->startTalk();
    EXPECT_TRUE(session->startAudio());
    EXPECT_EQ(AudioSession::shared().category(), AudioSession::Category::PlayAndRecord);
    RunLoop::main().runFor(100ms);
    session->stopTalk();
    EXPECT_EQ(AudioSession::shared().category(), AudioSession::Category::MediaPlayback);
    EXPECT_TRUE(session->isStartAudio());
    RunLoop::main().runFor(100ms);
    session->stopLive();
    EXPECT_FALSE(session->isStartAudio());
    RunLoop::main().runFor(20ms);
}

TEST_F(DataControllerMediaTest, ListeningStoppedBeforePlaybackStartedStaysSilent) {
    startDeviceWith([](devemu::EmulatorOptions& o) { o.audio = true; });
    auto dev = addressDevice("Porch");
    dev->mediaPort = device->tcpPort();
    liveUntilPicture(dev);
    ASSERT_TRUE(session->isDeviceHasAudio());
    AudioSession::shared().setActive(false);
    // A stop from a link queue while the playback start still waits for
    // the main queue.
    ASSERT_TRUE(session->startAudio());
    session->stopLive();
    RunLoop::main().runFor(200ms);
    EXPECT_FALSE(session->isStartAudio());
    EXPECT_FALSE(AudioSession::shared().isActive());
}

TEST_F(DataControllerMediaTest, ARecordingIsWrittenIntoTheRecordFolder) {
    startDevice();
    auto dev = addressDevice("Porch");
    liveUntilPicture(dev);
    session->startRecord();
    ASSERT_TRUE(session->isRecording());
    std::string path = session->recordFileName();
    EXPECT_NE(path.find("Porch"), std::string::npos) << path;
    EXPECT_EQ(path.substr(path.size() - 4), ".mp4");
    RunLoop::main().runUntil([&] { return pane->pictures() >= 10; }, 30s);
    session->stopRecord();
    EXPECT_FALSE(session->isRecording());
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_GT(std::filesystem::file_size(path), 1000u);
    session->stopLive();
}

TEST_F(DataControllerMediaTest, RecordingBeforeTheStreamFormatRecordsNothing) {
    auto dev = addressDevice("Porch");
    session->startRecord();  // no view at all: nothing to look up
    EXPECT_FALSE(session->isRecording());
    startDevice();
    device->setSilent(true);
    dev->mediaPort = device->tcpPort();
    startLiveFromGlobal(dev, 0);
    ASSERT_TRUE(waitFor([&] { return session->deviceId() == dev->deviceId; }));
    session->startRecord();
    EXPECT_FALSE(session->isRecording());
    auto folder = FileManager::sharedInstance().getRecordPath("Porch", 1, false);
    ASSERT_TRUE(folder.has_value());
    EXPECT_TRUE(std::filesystem::is_directory(*folder));
    session->stopLive();
}

}  // namespace
