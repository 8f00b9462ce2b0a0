#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <map>
#include <thread>

#include "base/decoder/MediaFrame.h"
#include "base/decoder/QvVideoDecoder.h"
#include "platform/graphics/Screen.h"
#include "platform/runloop/RunLoop.h"
#include "support/H264Clip.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

using namespace lumora;
using namespace std::chrono_literals;

#define SKIP_WITHOUT_FFMPEG()                                                             \
    if (!test::haveFfmpegProgram()) GTEST_SKIP() << "the ffmpeg program is missing (scripts/install-deps installs it)"

namespace {

struct Picture {
    int32_t frameIndex;
    int width, height;
    bool key;
    std::string md5;
    size_t bytes;
};

// Records what reaches it; runs on the main queue only.
class Recorder : public QvVideoDecoderDelegate {
public:
    bool wantYuv = true;
    bool wantRgb = false;
    std::vector<Picture> pictures;

    bool implementsDecoderDidDecodeFrameToYUV() const override { return wantYuv; }
    void decoderDidDecodeFrameToYUV(QvVideoDecoder&, const MediaFrame& f, const std::vector<uint8_t>& yuv) override {
        EXPECT_TRUE(RunLoop::isMainThread());
        pictures.push_back({f.frameIndex, f.width, f.height, f.keyFrame != 0, test::md5Hex(yuv.data(), yuv.size()),
                            yuv.size()});
    }
    bool implementsDecoderDidDecodeFrameToRGB() const override { return wantRgb; }
    void decoderDidDecodeFrameToRGB(QvVideoDecoder&, const MediaFrame& f, const std::vector<uint8_t>& rgb) override {
        EXPECT_TRUE(RunLoop::isMainThread());
        pictures.push_back({f.frameIndex, f.width, f.height, f.keyFrame != 0, test::md5Hex(rgb.data(), rgb.size()),
                            rgb.size()});
    }
};

std::shared_ptr<const MediaFrame> frameOf(const test::AccessUnit& u, int32_t index) {
    auto f = std::make_shared<MediaFrame>();
    f->buffer.assign(u.bytes.begin(), u.bytes.end());
    f->frameLength = static_cast<uint32_t>(u.bytes.size());
    f->keyFrame = u.key ? 1 : 0;
    f->frameIndex = index;
    return f;
}

// A small clip, made once per test process.
const std::vector<test::AccessUnit>& clip(int gop) {
    static std::map<int, std::vector<test::AccessUnit>> clips;
    auto& units = clips[gop];
    if (units.empty()) {
        test::TempDir dir;
        const std::string path = dir.file("c.h264");
        EXPECT_TRUE(test::makeClip(path, test::ClipOptions(176, 144, 60, gop, false)));
        units = test::splitAccessUnits(test::readFile(path));
        EXPECT_EQ(units.size(), 60u);
    }
    return units;
}

class DecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main();  // this thread drains the main queue
        Screen::main().reset();
        recorder = std::make_shared<Recorder>();
        decoder = QvVideoDecoder::create(recorder, nullptr);
    }
    void TearDown() override {
        if (decoder) decoder->destroy();
        Screen::main().reset();
    }

    // Runs `steps` on the decoder queue right after a set-up at 40 ms, so the
    // pacing timer cannot tick in between: the steps decide every tick.
    void onQueueAfterSetup(const std::function<void()>& steps, int outputFormat = 0) {
        decoder->decoderQueue()->sync([&] {
            ASSERT_TRUE(decoder->setupDecoder(40.0, outputFormat, 0));
            steps();
        });
    }
    void tickUntilEmpty() {
        for (int guard = 0; decoder->frameCount() > 0 && guard < 1000; ++guard) decoder->timerTick();
    }
    // Waits until `n` pictures arrived, then a little longer for strays.
    void drainMain(size_t n) {
        RunLoop::main().runUntil([&] { return recorder->pictures.size() >= n; }, 20s);
        RunLoop::main().runFor(50ms);
    }
    std::vector<int32_t> indices() const {
        std::vector<int32_t> v;
        for (auto& p : recorder->pictures) v.push_back(p.frameIndex);
        return v;
    }

    std::shared_ptr<Recorder> recorder;
    std::shared_ptr<QvVideoDecoder> decoder;
};

std::vector<int32_t> range(int32_t from, int32_t to) {
    std::vector<int32_t> v;
    for (int32_t i = from; i <= to; ++i) v.push_back(i);
    return v;
}

}  // namespace

TEST_F(DecoderTest, TimerPeriodAndJumpDoorFollowIntervalScreenAndPreference) {
    struct Case {
        double interval;
        Screen::Size screen;
        int preference;
        std::chrono::nanoseconds period;
        int door;
    } cases[] = {
        {40.0, {1920, 1080}, 0, 40ms, 25},
        {40.0, {1920, 1080}, 1, 40ms, 125},
        {40.0, {640, 960}, 0, 35ms, 25},
        {40.0, {960, 640}, 0, 40ms, 25},
        {100.0 / 3, {1920, 1080}, 1, 33333333ns, 150},
        {4.0, {640, 960}, 0, 4ms, 250},  // the early tick never makes the period 0 or less
        {5.0, {640, 960}, 0, 5ms, 200},
    };
    for (const Case& c : cases) {
        Screen::main().setCurrentModeSize(c.screen);
        auto d = QvVideoDecoder::create();
        ASSERT_TRUE(d->setupDecoder(c.interval, 0, c.preference));
        EXPECT_EQ(d->timerPeriod(), c.period) << c.interval << " ms";
        EXPECT_EQ(d->jumpDoor(), c.door) << c.interval << " ms";
        EXPECT_EQ(d->bufferSize(), 0u);
        d->destroy();
        EXPECT_EQ(d->timerPeriod(), 0ns);
    }
}

TEST_F(DecoderTest, FailedSetupDropsFramesInsteadOfQueueingThem) {
    SKIP_WITHOUT_FFMPEG();
    const auto& units = clip(10);
    // Before set-up, frames wait for it.
    decoder->decodeFrame(frameOf(units[0], 1));
    decoder->decodeFrame(nullptr);
    EXPECT_EQ(decoder->frameCount(), 1u);
    for (double bad : {0.0, -40.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(decoder->setupDecoder(bad, 0, 0)) << bad;
        EXPECT_EQ(decoder->timerPeriod(), 0ns);
        decoder->decodeFrame(frameOf(units[1], 2));
        decoder->removeAllFrame();
        decoder->decodeFrame(frameOf(units[2], 3));
        EXPECT_EQ(decoder->frameCount(), 0u) << bad;
    }
    // A good set-up decodes again.
    ASSERT_TRUE(decoder->setupDecoder(5.0, 0, 0));
    decoder->decodeFrame(frameOf(units[0], 10));
    drainMain(1);
    EXPECT_EQ(indices(), std::vector<int32_t>{10});
}

// Key frames every 10 frames; the door is 25 frames at 40 ms.
TEST_F(DecoderTest, JumpDoorCutsOnlyBeyondTheDoorAndOnlyToAKeyFrame) {
    SKIP_WITHOUT_FFMPEG();
    struct Case {
        const char* what;
        int gop;
        int queued;                    // frames 1..queued, before the first tick
        std::vector<int32_t> shown;
    } cases[] = {
        {"exactly the door", 10, 25, range(1, 25)},
        {"one more: newest key frame first", 10, 26, range(21, 26)},
        {"far beyond: newest key frame first", 10, 45, range(41, 45)},
        {"no key frame to cut to", 60, 40, range(1, 40)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        const auto& units = clip(c.gop);
        onQueueAfterSetup([&] {
            if (c.gop == 60) {
                // The only key frame goes first; the backlog behind it has none.
                decoder->decodeFrame(frameOf(units[0], 1));
                decoder->timerTick();
                for (int i = 1; i < c.queued; ++i) decoder->decodeFrame(frameOf(units[i], i + 1));
            } else {
                for (int i = 0; i < c.queued; ++i) decoder->decodeFrame(frameOf(units[i], i + 1));
            }
            tickUntilEmpty();
        });
        drainMain(c.shown.size());
        EXPECT_EQ(indices(), c.shown);
        for (auto& p : recorder->pictures) {
            EXPECT_EQ(p.width, 176);
            EXPECT_EQ(p.height, 144);
            EXPECT_EQ(p.bytes, 176u * 144 * 3 / 2);
        }
        decoder->destroy();
    }
}

TEST_F(DecoderTest, StaleIndicesAreDroppedAndWaitForAKeyFrame) {
    SKIP_WITHOUT_FFMPEG();
    const auto& units = clip(5);  // key frames at units 0, 5, 10
    onQueueAfterSetup([&] {
        decoder->decodeFrame(frameOf(units[0], 1));
        decoder->decodeFrame(frameOf(units[1], 2));
        decoder->decodeFrame(frameOf(units[2], 3));
        decoder->decodeFrame(frameOf(units[3], 3));  // same index as the last decoded: stale
        decoder->decodeFrame(frameOf(units[3], 4));  // decodes, but waits for a key frame
        decoder->decodeFrame(frameOf(units[4], 5));
        decoder->decodeFrame(frameOf(units[5], 6));  // key frame: shown, the wait ends
        decoder->decodeFrame(frameOf(units[6], 7));
        decoder->decodeFrame(frameOf(units[7], 2));  // older index: stale
        decoder->decodeFrame(frameOf(units[10], 11));
        tickUntilEmpty();
        EXPECT_EQ(decoder->lastframe(), 11);
    });
    drainMain(6);
    EXPECT_EQ(indices(), (std::vector<int32_t>{1, 2, 3, 6, 7, 11}));
}

TEST_F(DecoderTest, IndexZeroIsNeverStale) {
    SKIP_WITHOUT_FFMPEG();
    const auto& units = clip(10);
    onQueueAfterSetup([&] {
        for (int i = 0; i < 8; ++i) decoder->decodeFrame(frameOf(units[i], 0));
        tickUntilEmpty();
    });
    drainMain(8);
    EXPECT_EQ(indices(), std::vector<int32_t>(8, 0));
}

TEST_F(DecoderTest, FailedDecodeHidesPicturesUntilTheNextKeyFrame) {
    SKIP_WITHOUT_FFMPEG();
    const auto& units = clip(5);
    test::AccessUnit garbage;
    garbage.bytes = {0, 0, 0, 1, 0x41, 0xff, 0x13, 0x77, 0x00, 0x42, 0x99};
    onQueueAfterSetup([&] {
        decoder->decodeFrame(frameOf(units[0], 1));
        decoder->decodeFrame(frameOf(units[1], 2));
        decoder->decodeFrame(frameOf(garbage, 3));
        for (int i = 2; i < 8; ++i) decoder->decodeFrame(frameOf(units[i], i + 2));  // units 5 (index 7) is key
        tickUntilEmpty();
    });
    drainMain(5);
    EXPECT_EQ(indices(), (std::vector<int32_t>{1, 2, 7, 8, 9}));
    EXPECT_TRUE(recorder->pictures[2].key);
}

// The whole road at the timer's pace: B-frames (the codec asks for more
// input before its first picture) must not start a wait for a key frame, and
// every picture is the one ffmpeg decodes.
TEST_F(DecoderTest, PacedDecodingDeliversFfmpegsPicturesOnTheMainQueue) {
    SKIP_WITHOUT_FFMPEG();
    test::TempDir dir;
    struct Case {
        int w, h;
        bool b;
    } cases[] = {{704, 576, true}, {854, 480, true}, {1920, 1080, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        SetUp();
        const std::string path = dir.file("p.h264");
        ASSERT_TRUE(test::makeClip(path, test::ClipOptions(c.w, c.h, 20, 10, c.b)));
        auto units = test::splitAccessUnits(test::readFile(path));
        auto md5 = test::referenceMd5(path);
        ASSERT_EQ(units.size(), 20u);
        ASSERT_TRUE(decoder->setupDecoder(2.0, 0, 0));
        for (size_t i = 0; i < units.size(); ++i) decoder->decodeFrame(frameOf(units[i], static_cast<int32_t>(i + 1)));
        const size_t expected = c.b ? units.size() - 2 : units.size();  // reordering keeps the last ones
        drainMain(expected);
        ASSERT_GE(recorder->pictures.size(), expected);
        for (size_t i = 0; i < recorder->pictures.size(); ++i) {
            EXPECT_EQ(recorder->pictures[i].md5, md5[i]) << "picture " << i;
            EXPECT_EQ(recorder->pictures[i].width, c.w);
            EXPECT_EQ(recorder->pictures[i].height, c.h);
        }
        EXPECT_EQ(decoder->pictureWidth(), c.w);
        EXPECT_EQ(decoder->pictureHeight(), c.h);
        decoder->destroy();
    }
}

TEST_F(DecoderTest, RgbOutputFollowsPictureSize) {
    SKIP_WITHOUT_FFMPEG();
    test::TempDir dir;
    ASSERT_TRUE(test::makeClip(dir.file("a.h264"), test::ClipOptions(352, 288, 2, 2, false)));
    ASSERT_TRUE(test::makeClip(dir.file("b.h264"), test::ClipOptions(176, 144, 2, 2, false)));
    auto a = test::splitAccessUnits(test::readFile(dir.file("a.h264")));
    auto b = test::splitAccessUnits(test::readFile(dir.file("b.h264")));
    recorder->wantYuv = false;
    recorder->wantRgb = true;
    onQueueAfterSetup(
        [&] {
            int32_t index = 1;
            for (auto* units : {&a, &b, &a})
                for (auto& u : *units) decoder->decodeFrame(frameOf(u, index++));
            tickUntilEmpty();
        },
        1);
    drainMain(6);
    ASSERT_EQ(recorder->pictures.size(), 6u);
    const int sizes[6][2] = {{352, 288}, {352, 288}, {176, 144}, {176, 144}, {352, 288}, {352, 288}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(recorder->pictures[i].width, sizes[i][0]);
        EXPECT_EQ(recorder->pictures[i].bytes, static_cast<size_t>(sizes[i][0]) * sizes[i][1] * 4);
        const std::vector<uint8_t> blank(recorder->pictures[i].bytes, 0);
        EXPECT_NE(recorder->pictures[i].md5, test::md5Hex(blank.data(), blank.size())) << "picture " << i;
    }
    // The same pictures decoded again come out the same.
    EXPECT_EQ(recorder->pictures[0].md5, recorder->pictures[4].md5);
    EXPECT_EQ(recorder->pictures[1].md5, recorder->pictures[5].md5);
}

TEST_F(DecoderTest, ClearedOrGoneDelegateAndDestroyedDecoderReceiveNothing) {
    SKIP_WITHOUT_FFMPEG();
    const auto& units = clip(10);
    auto decodeAll = [&] {
        onQueueAfterSetup([&] {
            for (int i = 0; i < 10; ++i) decoder->decodeFrame(frameOf(units[i], i + 1));
            tickUntilEmpty();
        });
    };
    // Cleared while the pictures wait on the main queue.
    decodeAll();
    decoder->setDelegate({});
    RunLoop::main().runFor(100ms);
    EXPECT_TRUE(recorder->pictures.empty());

    // Destroyed while they wait.
    decoder->setDelegate(recorder);
    decodeAll();
    decoder->destroy();
    RunLoop::main().runFor(100ms);
    EXPECT_TRUE(recorder->pictures.empty());

    // Released while they wait (a tick may hold it a moment longer).
    decodeAll();
    std::weak_ptr<QvVideoDecoder> gone = decoder;
    decoder.reset();
    ASSERT_TRUE(test::waitFor([&] { return gone.expired(); }));
    RunLoop::main().runFor(100ms);
    EXPECT_TRUE(recorder->pictures.empty());

    // The delegate itself went away.
    decoder = QvVideoDecoder::create(recorder, nullptr);
    decodeAll();
    std::weak_ptr<Recorder> weak = recorder;
    recorder.reset();
    EXPECT_TRUE(weak.expired());
    RunLoop::main().runFor(100ms);
}

// Frames keep arriving from another thread while the timer ticks fast; the
// decoder is destroyed and released in the middle of it (run under ASan).
TEST_F(DecoderTest, DestroyWhileTicking) {
    SKIP_WITHOUT_FFMPEG();
    const auto& units = clip(10);
    for (int round = 0; round < 3; ++round) {
        decoder = QvVideoDecoder::create(recorder, nullptr);
        ASSERT_TRUE(decoder->setupDecoder(1.0, round % 2, 0));
        recorder->wantRgb = true;
        std::atomic<bool> stop{false};
        std::weak_ptr<QvVideoDecoder> weak = decoder;
        std::thread feeder([&, weak] {
            for (int32_t i = 0; !stop; ++i) {
                auto d = weak.lock();
                if (!d) break;
                d->decodeFrame(frameOf(units[i % 60], i + 1));
                std::this_thread::sleep_for(500us);
            }
        });
        RunLoop::main().runFor(std::chrono::milliseconds(60 + 30 * round));
        if (round != 2) decoder->destroy();
        decoder.reset();
        stop = true;
        feeder.join();
        // Released: gone once the feeder and a running tick let go of it.
        ASSERT_TRUE(test::waitFor([&] { return weak.expired(); }));
        const size_t before = recorder->pictures.size();
        RunLoop::main().runFor(50ms);
        EXPECT_EQ(recorder->pictures.size(), before) << "nothing after destroy or release";
    }
}

// destroy() called while a tick is in the middle of decoding: the picture of
// that tick is posted after destroy() began, and must not reach the delegate
// once destroy() returned.
TEST_F(DecoderTest, PictureOfATickRunningDuringDestroyIsNotDelivered) {
    SKIP_WITHOUT_FFMPEG();
    const auto& units = clip(10);
    // Holds the tick (on the decoder queue) until released.
    class Holding : public Recorder {
    public:
        mutable std::atomic<bool> entered{false};
        std::atomic<bool> release{false};
        bool implementsDecoderDidDecodeFrameToYUV() const override {
            if (!RunLoop::isMainThread() && !entered.exchange(true)) {
                while (!release.load()) std::this_thread::sleep_for(1ms);
            }
            return true;
        }
    };
    auto holding = std::make_shared<Holding>();
    recorder = holding;
    decoder = QvVideoDecoder::create(recorder, nullptr);
    ASSERT_TRUE(decoder->setupDecoder(40.0, 0, 0));
    decoder->decodeFrame(frameOf(units[0], 1));
    ASSERT_TRUE(test::waitFor([&] { return holding->entered.load(); }));
    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        decoder->destroy();
        destroyed = true;
    });
    // Let destroy() begin and wait for the queue, then let the tick finish.
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(destroyed.load());
    holding->release = true;
    destroyer.join();
    RunLoop::main().runFor(100ms);
    EXPECT_TRUE(recorder->pictures.empty());
}

// A device numbers the frames of every stream from 1. A second set-up (the
// stream format after a new login) starts a new stream: frames left from the
// old one are not decoded, and the new numbers are not taken as stale.
TEST_F(DecoderTest, ASecondSetUpStartsANewStream) {
    SKIP_WITHOUT_FFMPEG();
    const auto& units = clip(10);
    onQueueAfterSetup([&] {
        for (int i = 0; i < 20; ++i) decoder->decodeFrame(frameOf(units[i], i + 1));
        for (int i = 0; i < 10; ++i) decoder->decodeOneFrameToYUV();
        ASSERT_EQ(decoder->lastframe(), 10);
        ASSERT_EQ(decoder->frameCount(), 10u);  // frames of the old stream still wait
        ASSERT_TRUE(decoder->setupDecoder(40.0, 0, 0));
        EXPECT_EQ(decoder->frameCount(), 0u);
        EXPECT_EQ(decoder->lastframe(), 0);
        for (int i = 0; i < 5; ++i) decoder->decodeFrame(frameOf(units[i], i + 1));
        tickUntilEmpty();
    });
    drainMain(15);
    std::vector<int32_t> expected = range(1, 10);
    for (int32_t i = 1; i <= 5; ++i) expected.push_back(i);
    EXPECT_EQ(indices(), expected);
}

// Pacing starts with the first frame, not with the timer: at an interval of
// an hour the first frame is still shown as it arrives, and frames arriving
// faster than the interval never wait more than two deep.
TEST_F(DecoderTest, TheFirstFrameIsShownAtOnceAndTheBacklogStaysSmall) {
    SKIP_WITHOUT_FFMPEG();
    const auto& units = clip(10);
    ASSERT_TRUE(decoder->setupDecoder(3600.0 * 1000.0, 0, 0));
    RunLoop::main().runFor(20ms);  // the timer's first tick finds nothing
    decoder->decodeFrame(frameOf(units[0], 1));
    drainMain(1);
    EXPECT_EQ(indices(), (std::vector<int32_t>{1}));
    for (int i = 1; i < 8; ++i) decoder->decodeFrame(frameOf(units[i], i + 1));
    drainMain(6);
    EXPECT_EQ(indices(), range(1, 6));
    EXPECT_EQ(decoder->frameCount(), QvVideoDecoder::kMaxLiveBacklog);
}

// The end of a stream: every frame still waiting is decoded, the pictures
// the codec holds back for reordering come out, and only then is the owner
// told; the last picture is the clip's last picture.
TEST_F(DecoderTest, FinishingAStreamShowsEveryPictureThenTellsTheOwner) {
    SKIP_WITHOUT_FFMPEG();
    test::TempDir dir;
    for (bool bFrames : {false, true}) {
        SCOPED_TRACE(bFrames ? "with B-frames" : "without B-frames");
        SetUp();
        const std::string path = dir.file("e.h264");
        ASSERT_TRUE(test::makeClip(path, test::ClipOptions(176, 144, 30, 10, bFrames)));
        auto units = test::splitAccessUnits(test::readFile(path));
        auto md5 = test::referenceMd5(path);
        ASSERT_EQ(units.size(), 30u);
        ASSERT_EQ(md5.size(), 30u);
        ASSERT_TRUE(decoder->setupDecoder(20.0, 0, 0));
        for (size_t i = 0; i < units.size(); ++i) decoder->decodeFrame(frameOf(units[i], static_cast<int32_t>(i + 1)));
        size_t picturesWhenDone = 0;
        bool done = false;
        decoder->finishStream([&] {
            done = true;
            picturesWhenDone = recorder->pictures.size();
        });
        ASSERT_TRUE(RunLoop::main().runUntil([&] { return done; }, 20s));
        RunLoop::main().runFor(50ms);
        ASSERT_EQ(recorder->pictures.size(), 30u);
        EXPECT_EQ(picturesWhenDone, 30u);
        for (size_t i = 0; i < 30; ++i) EXPECT_EQ(recorder->pictures[i].md5, md5[i]) << "picture " << i;
        decoder->destroy();
    }
}
