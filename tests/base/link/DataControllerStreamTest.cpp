// A session's pictures across the life of its streams, end to end against
// the device emulator: every new login starts a new stream, and the end of
// a recording played from the device shows its last pictures.
#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "DataControllerTestSupport.h"
#include "support/H264Clip.h"
#include "support/TempDir.h"

using namespace lumora;
using namespace lumora::test;
using namespace std::chrono_literals;

namespace {

// A pane that also keeps the checksum of every picture, in order, and
// writes down when the failure text came.
struct ContentPane : FakePane {
    std::vector<std::string> md5s;  // under m
    size_t picturesBeforeFailure = 0;

    void renderShow(const std::vector<uint8_t>& yuv, int width, int height) override {
        FakePane::renderShow(yuv, width, height);
        std::lock_guard<std::mutex> g(m);
        md5s.push_back(md5Hex(yuv.data(), yuv.size()));
    }
    void renderFailed(const std::string& text) override {
        {
            std::lock_guard<std::mutex> g(m);
            if (std::count_if(events.begin(), events.end(), [](const std::string& e) { return e.rfind("failed", 0) == 0; }) == 0)
                picturesBeforeFailure = md5s.size();
        }
        FakePane::renderFailed(text);
    }
    std::vector<std::string> pictures() {
        std::lock_guard<std::mutex> g(m);
        return md5s;
    }
};

class DataControllerStreamTest : public DataControllerFixture {
protected:
    void SetUp() override {
        DataControllerFixture::SetUp();
        if (!haveFfmpegProgram()) GTEST_SKIP() << "the ffmpeg program is missing (scripts/install-deps installs it)";
        content = std::make_shared<ContentPane>();
        pane = content;
        session->setDelegate(content);
    }
    std::shared_ptr<ContentPane> content;
};

// The device closes the link after a few dozen packets, over and over; the
// session logs in again each time and the device numbers the frames of the
// new stream from 1. Pictures resume within one key-frame interval of each
// new login: each stream shows its pictures from the clip's start.
TEST_F(DataControllerStreamTest, PicturesResumeAfterEveryNewLogin) {
    const std::string clipPath = devemu::DeviceEmulator::defaultClipPath();
    const auto units = splitAccessUnits(readFile(clipPath));
    const auto reference = referenceMd5(clipPath);
    ASSERT_EQ(reference.size(), units.size());
    size_t keyInterval = 0;
    for (size_t i = 1; i < units.size() && keyInterval == 0; ++i)
        if (units[i].key) keyInterval = i;
    ASSERT_GT(keyInterval, 0u);
    std::map<std::string, size_t> indexOf;
    for (size_t i = 0; i < reference.size(); ++i) indexOf.emplace(reference[i], i);

    constexpr long kPacketsPerLink = 40;  // the login replies, then 39 frames
    constexpr size_t kLogins = 6;
    startDeviceWith([](devemu::EmulatorOptions& o) {
        o.audio = false;
        o.fps = 50;
        o.closeAfter = kPacketsPerLink;
    });
    auto dev = addressDevice("Porch");
    startLiveFromGlobal(dev, 0);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return device->countEvents("closed fault") >= kLogins; }, 100s))
        << device->countEvents("login") << " logins";
    RunLoop::main().runFor(300ms);  // the pictures of the last stream
    session->stopLive();

    // Each stream shows clip pictures in rising order; a picture not above
    // the one before starts the next stream.
    std::vector<std::vector<size_t>> streams;
    for (const auto& md5 : content->pictures()) {
        auto it = indexOf.find(md5);
        ASSERT_NE(it, indexOf.end()) << "a picture that is not one of the clip's";
        if (streams.empty() || it->second <= streams.back().back()) streams.emplace_back();
        streams.back().push_back(it->second);
    }
    ASSERT_GE(streams.size(), kLogins) << "streams with pictures, of " << device->countEvents("login") << " logins";
    for (size_t s = 0; s < streams.size(); ++s) {
        EXPECT_LT(streams[s].front(), keyInterval) << "stream " << s << " began late";
        // The last stream may have been cut short by the stop.
        if (s + 1 < streams.size()) {
            EXPECT_GE(streams[s].size(), keyInterval) << "stream " << s;
        }
    }
}

// A recording kept on the device is played to its end: every picture of it
// is shown, the last one the recording's last picture, and only then does
// the pane hear that the recording ended. Also with B-frames, whose last
// pictures the codec holds back until the stream is flushed.
TEST_F(DataControllerStreamTest, PlaybackShowsEveryPictureOfTheRecordingThenItsEnd) {
    TempDir clips;
    for (bool bFrames : {false, true}) {
        SCOPED_TRACE(bFrames ? "with B-frames" : "without B-frames");
        const std::string path = clips.file(bFrames ? "b.h264" : "p.h264");
        ASSERT_TRUE(makeClip(path, ClipOptions(320, 240, 30, 10, bFrames)));
        const auto reference = referenceMd5(path);
        ASSERT_EQ(reference.size(), 30u);
        startDeviceWith([&](devemu::EmulatorOptions& o) {
            o.videoPath = path;
            o.fps = 50;
        });
        auto dev = addressDevice(bFrames ? "Yard" : "Porch");
        content->md5s.clear();
        content->events.clear();
        _OWSP_DateTime start;
        start.m_year = 2026;
        session->setTimeAndName(start, "rec-0001.h264");
        startLiveFromGlobal(dev, session->channel());
        ASSERT_TRUE(RunLoop::main().runUntil([&] { return content->countPrefix("failed") >= 1; }, 30s))
            << content->joined();
        RunLoop::main().runFor(100ms);
        EXPECT_TRUE(device->countEvents("play rec-0001.h264") == 1);
        EXPECT_EQ(content->pictures(), reference);
        EXPECT_EQ(content->picturesBeforeFailure, reference.size()) << "the end came before the last pictures";
        EXPECT_EQ(content->all(), (std::vector<std::string>{"text " + dev->name.value() + " ch02",
                                                            "failed " + Localization::string("RECORDEND")}));
        EXPECT_EQ(session->deviceId(), -1);
        EXPECT_FALSE(session->hasDecoder());
        device->stop();
    }
}

}  // namespace
