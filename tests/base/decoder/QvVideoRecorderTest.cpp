#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <atomic>
#include <thread>

#include "base/decoder/QvVideoRecorder.h"
#include "support/H264Clip.h"
#include "support/Mp4BoxReader.h"
#include "support/TempDir.h"

using namespace lumora;
using Bytes = std::vector<uint8_t>;

#define SKIP_WITHOUT_FFMPEG() \
    if (!test::haveFfmpegProgram()) GTEST_SKIP() << "the ffmpeg program is missing (scripts/install-deps installs it)"

namespace {

const std::string kClip = std::string(LUMORA_TEST_DATA_DIR) + "/clip.h264";

MediaFrame frameOf(const Bytes& bytes, bool key, int64_t timestamp = 0) {
    MediaFrame f(bytes);
    f.keyFrame = key ? 1 : 0;
    f.timestamp = timestamp;
    return f;
}

std::vector<MediaFrame> clipFrames() {
    std::vector<MediaFrame> frames;
    int64_t t = 0;
    for (const auto& u : test::splitAccessUnits(test::readFile(kClip))) frames.push_back(frameOf(u.bytes, u.key, t += 40));
    return frames;
}

// A tiny frame that stands for a picture: a slice NAL with a marker byte.
MediaFrame marker(uint8_t id, bool key) { return frameOf(Bytes{0, 0, 0, 1, uint8_t(key ? 0x65 : 0x41), 0x88, id}, key); }

std::vector<uint8_t> markers(const std::vector<QvVideoRecorder::FramePtr>& list) {
    std::vector<uint8_t> ids;
    for (const auto& f : list) ids.push_back(f->buffer.back());
    return ids;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

}  // namespace

TEST(QvVideoRecorder, RecordsTheClipFromItsPreRecordList) {
    test::TempDir dir;
    const std::string path = dir.file("rec.mp4");
    const auto frames = clipFrames();
    ASSERT_EQ(frames.size(), 50u);
    QvVideoRecorder r;
    // Frames 0 to 29 arrive before the start: the list keeps the newest key
    // frame, 25, and what follows it.
    for (size_t i = 0; i < 30; ++i) r.addFrame(frames[i]);
    auto list = r.frameList();
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[0]->buffer, frames[25].buffer);
    EXPECT_FALSE(r.recording());

    ASSERT_TRUE(r.start(path, 320, 240, 40));
    EXPECT_TRUE(r.recording());
    EXPECT_EQ(r.currentFileName(), path);
    for (size_t i = 30; i < 50; ++i) r.addFrame(std::make_shared<const MediaFrame>(frames[i]));
    EXPECT_TRUE(r.stop());
    EXPECT_FALSE(r.recording());
    EXPECT_TRUE(r.frameList().empty());

    const Bytes b = test::readFile(path);
    const auto t = test::mp4ReadTables(b);
    EXPECT_EQ(t.sizes.size(), 25u);
    EXPECT_EQ(t.sync, (std::vector<uint32_t>{1}));
    SKIP_WITHOUT_FFMPEG();
    auto info = test::ffprobe(path);
    EXPECT_EQ(info["error"], "");
    EXPECT_EQ(info["nb_streams"], "1");
    EXPECT_EQ(info["codec_name"], "h264");
    EXPECT_EQ(info["width"], "320");
    EXPECT_EQ(info["height"], "240");
    EXPECT_EQ(info["nb_read_frames"], "25");
    EXPECT_EQ(info["format.duration"], "1.000000");
    const auto ref = test::referenceMd5(kClip);
    std::vector<std::string> expect(ref.begin() + 25, ref.end());
    EXPECT_EQ(test::referenceMd5(path), expect);
}

TEST(QvVideoRecorder, WholeClipWithThreeByteStartCodesRecordsTheSamePictures) {
    test::TempDir dir;
    const std::string path = dir.file("short-codes.mp4");
    QvVideoRecorder r;
    ASSERT_TRUE(r.start(path, 320, 240, 40));
    for (const auto& f : clipFrames()) {
        Bytes shortCodes;
        for (const auto& nal : test::annexBUnits(f.buffer)) {
            const Bytes body = test::nalBody(nal);
            shortCodes.insert(shortCodes.end(), {0, 0, 1});
            shortCodes.insert(shortCodes.end(), body.begin(), body.end());
        }
        r.addFrame(frameOf(shortCodes, f.keyFrame));
    }
    EXPECT_TRUE(r.stop());
    const Bytes b = test::readFile(path);
    EXPECT_EQ(test::mp4ReadTables(b).sizes.size(), 50u);
    auto avcC = test::mp4Find(b, "moov.trak.mdia.minf.stbl.stsd.avc1.avcC");
    ASSERT_TRUE(avcC);
    EXPECT_EQ(b[avcC->payload + 5], 0xE1);  // exactly one SPS, cut at its end
    SKIP_WITHOUT_FFMPEG();
    EXPECT_EQ(test::referenceMd5(path), test::referenceMd5(kClip));
    EXPECT_EQ(test::ffprobe(path)["format.duration"], "2.000000");
}

TEST(QvVideoRecorder, FramesAreSplitAtEveryStartCode) {
    test::TempDir dir;
    const std::string path = dir.file("split.mp4");
    const auto frames = clipFrames();
    QvVideoRecorder r;
    ASSERT_TRUE(r.start(path, 320, 240, 40));
    r.addFrame(frames[0]);
    // Two pictures in one frame: a new frame number starts a new sample.
    Bytes two = frames[1].buffer;
    two.insert(two.end(), frames[2].buffer.begin(), frames[2].buffer.end());
    r.addFrame(frameOf(two, false));
    // A short unit in the frame's last bytes (end of sequence) is a unit of its own.
    Bytes withEnd = frames[3].buffer;
    withEnd.insert(withEnd.end(), {0, 0, 0, 1, 0x0A});
    r.addFrame(frameOf(withEnd, false));
    // A frame of 12 bytes holding two units.
    r.addFrame(frameOf(Bytes{0, 0, 0, 1, 0x09, 0x10, 0, 0, 0, 1, 0x0C, 0xFF}, false));
    EXPECT_TRUE(r.stop());

    const Bytes b = test::readFile(path);
    const auto samples = test::mp4Samples(b);
    ASSERT_EQ(samples.size(), 5u);
    auto unitsOf = [](const Bytes& s) { return test::annexBUnits(test::mp4SampleToAnnexB(s)); };
    auto bodies = [](const std::vector<Bytes>& units) {
        std::vector<Bytes> out;
        for (const auto& u : units) out.push_back(test::nalBody(u));
        return out;
    };
    EXPECT_EQ(bodies(unitsOf(samples[1])), bodies(test::annexBUnits(frames[1].buffer)));
    EXPECT_EQ(bodies(unitsOf(samples[2])), bodies(test::annexBUnits(frames[2].buffer)));
    const auto last = unitsOf(samples[3]);
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(last[1], (Bytes{0, 0, 0, 1, 0x0A}));
    const auto tiny = unitsOf(samples[4]);
    ASSERT_EQ(tiny.size(), 2u);
    EXPECT_EQ(tiny[0], (Bytes{0, 0, 0, 1, 0x09, 0x10}));
    EXPECT_EQ(tiny[1], (Bytes{0, 0, 0, 1, 0x0C, 0xFF}));
}

TEST(QvVideoRecorder, PreRecordListStartsAtTheLatestKeyFrame) {
    struct Case {
        const char* name;
        std::vector<std::pair<uint8_t, bool>> frames;
        std::vector<uint8_t> list;
    } cases[] = {
        {"P K1 P K2", {{1, false}, {2, true}, {3, false}, {4, true}}, {4}},
        {"K0 P K1 P", {{1, true}, {2, false}, {3, true}, {4, false}}, {3, 4}},
        {"K0 P P K1 P K2 P P", {{1, true}, {2, false}, {3, false}, {4, true}, {5, false}, {6, true}, {7, false}, {8, false}},
         {6, 7, 8}},
        {"P P P", {{1, false}, {2, false}, {3, false}}, {1, 2, 3}},
        {"K", {{1, true}}, {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QvVideoRecorder r;
        for (auto [id, key] : c.frames) r.addFrame(marker(id, key));
        EXPECT_EQ(markers(r.frameList()), c.list);
        r.removallFrame();
        EXPECT_TRUE(r.frameList().empty());
    }
}

TEST(QvVideoRecorder, RecordingBeginsAtAKeyFrame) {
    test::TempDir dir;
    // P K2 before the start: the recording begins with K2.
    {
        const std::string path = dir.file("k2.mp4");
        QvVideoRecorder r;
        r.addFrame(marker(1, false));
        r.addFrame(marker(2, true));
        ASSERT_TRUE(r.start(path, 320, 240, 40));
        r.addFrame(marker(3, false));
        EXPECT_TRUE(r.stop());
        const auto samples = test::mp4Samples(test::readFile(path));
        ASSERT_EQ(samples.size(), 2u);
        EXPECT_EQ(samples[0].back(), 2);
        EXPECT_EQ(samples[1].back(), 3);
    }
    // K0 P K1 P before the start: the recording begins with K1, the newest
    // key frame, not with the older K0.
    {
        const std::string path = dir.file("k1.mp4");
        QvVideoRecorder r;
        r.addFrame(marker(1, true));
        r.addFrame(marker(2, false));
        r.addFrame(marker(3, true));
        r.addFrame(marker(4, false));
        ASSERT_TRUE(r.start(path, 320, 240, 40));
        EXPECT_TRUE(r.stop());
        const auto samples = test::mp4Samples(test::readFile(path));
        ASSERT_EQ(samples.size(), 2u);
        EXPECT_EQ(samples[0].back(), 3);
        EXPECT_EQ(samples[1].back(), 4);
    }
    // Nothing but non-key frames so far: frames wait for the next key frame.
    {
        const std::string path = dir.file("wait.mp4");
        QvVideoRecorder r;
        r.addFrame(marker(1, false));
        ASSERT_TRUE(r.start(path, 320, 240, 40));
        r.addFrame(marker(2, false));
        r.addFrame(marker(3, true));
        r.addFrame(marker(4, false));
        EXPECT_TRUE(r.stop());
        const Bytes b = test::readFile(path);
        const auto samples = test::mp4Samples(b);
        ASSERT_EQ(samples.size(), 2u);
        EXPECT_EQ(samples[0].back(), 3);
        EXPECT_EQ(test::mp4ReadTables(b).sync, (std::vector<uint32_t>{1}));
    }
}

TEST(QvVideoRecorder, StopStartAndFailures) {
    test::TempDir dir;
    QvVideoRecorder r;
    EXPECT_FALSE(r.stop());  // nothing open: no file, no failure
    EXPECT_FALSE(r.recording());

    const std::string bad = dir.file("missing/rec.mp4");
    r.addFrame(marker(1, true));
    EXPECT_FALSE(r.start(bad, 320, 240, 40));
    EXPECT_FALSE(r.recording());
    EXPECT_EQ(r.currentFileName(), bad);
    EXPECT_EQ(r.frameList().size(), 1u);  // still collecting

    const std::string first = dir.file("first.mp4");
    const std::string second = dir.file("second.mp4");
    ASSERT_TRUE(r.start(first, 320, 240, 40));
    EXPECT_TRUE(r.start(second, 320, 240, 40));  // keeps the open recording
    EXPECT_EQ(r.currentFileName(), second);       // and only takes the path
    r.addFrame(marker(2, false));
    EXPECT_TRUE(r.stop());
    EXPECT_FALSE(exists(second));
    EXPECT_EQ(test::mp4Samples(test::readFile(first)).size(), 2u);
    EXPECT_FALSE(r.stop());

    // A file that takes nothing (every write fails with EFBIG while the
    // limit holds): no recording, and no broken file is left behind.
    const std::string full = dir.file("full.mp4");
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit none = old;
    none.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &none), 0);
    const bool started = r.start(full, 320, 240, 40);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    EXPECT_FALSE(started);
    EXPECT_FALSE(r.recording());
    EXPECT_FALSE(exists(full));
}

TEST(QvVideoRecorder, AFileThatStopsGrowingIsReportedIncomplete) {
    test::TempDir dir;
    const std::string path = dir.file("limited.mp4");
    // Writes past 100 kB fail (EFBIG) for this process while the limit holds.
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 100 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    QvVideoRecorder r;
    const bool started = r.start(path, 320, 240, 40);
    Bytes big(64 * 1024, 0x11);
    big[3] = 1, big[0] = big[1] = big[2] = 0, big[4] = 0x65;
    for (int i = 0; i < 30; ++i) r.addFrame(frameOf(big, true));
    const bool complete = r.stop();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    EXPECT_TRUE(started);
    EXPECT_FALSE(complete);
}

// The disk is full for a moment in the middle of a recording: a chunk of
// pictures is lost, later ones are written again from a key frame, and
// stop() reports the file as incomplete instead of complete.
TEST(QvVideoRecorder, AChunkLostMidRecordingIsReportedAtStop) {
    test::TempDir dir;
    const std::string path = dir.file("gap.mp4");
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    QvVideoRecorder r;
    ASSERT_TRUE(r.start(path, 320, 240, 40));
    Bytes big(64 * 1024, 0x11);
    big[3] = 1, big[0] = big[1] = big[2] = 0, big[4] = 0x65;
    rlimit limited = old;
    limited.rlim_cur = 100 * 1024;  // the first chunk (25 pictures) does not fit
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    for (int i = 0; i < 25; ++i) r.addFrame(frameOf(big, true));
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    for (int i = 0; i < 25; ++i) r.addFrame(frameOf(big, true));  // room again
    EXPECT_FALSE(r.stop());
    const Bytes b = test::readFile(path);
    EXPECT_TRUE(test::mp4Find(b, "moov"));
    EXPECT_EQ(test::mp4ReadTables(b).sizes.size(), 25u);  // what was written is still described
}

// A live stream with B-frames recorded frame by frame: every picture plays
// at its own time, one frame interval after the one shown before it.
TEST(QvVideoRecorder, AStreamWithBFramesPlaysEveryPictureAtItsTime) {
    SKIP_WITHOUT_FFMPEG();
    test::TempDir dir;
    const std::string clip = dir.file("b.h264");
    ASSERT_TRUE(test::makeClip(clip, test::ClipOptions(320, 240, 30, 10, true)));
    const std::string path = dir.file("b.mp4");
    QvVideoRecorder r;
    ASSERT_TRUE(r.start(path, 320, 240, 40));
    for (const auto& u : test::splitAccessUnits(test::readFile(clip))) r.addFrame(frameOf(u.bytes, u.key));
    EXPECT_TRUE(r.stop());
    const auto times = test::ffprobeFrameTimes(path);
    ASSERT_EQ(times.size(), 30u);
    for (size_t i = 1; i < times.size(); ++i) EXPECT_EQ(times[i] - times[i - 1], 40) << "picture " << i;
    EXPECT_EQ(test::referenceMd5(path), test::referenceMd5(clip));
}

TEST(QvVideoRecorder, DestroyingARecorderFinishesItsFile) {
    test::TempDir dir;
    const std::string path = dir.file("dropped.mp4");
    {
        QvVideoRecorder r;
        ASSERT_TRUE(r.start(path, 320, 240, 40));
        for (const auto& f : clipFrames()) r.addFrame(f);
    }
    const Bytes b = test::readFile(path);
    EXPECT_TRUE(test::mp4Find(b, "moov"));
    EXPECT_EQ(test::mp4ReadTables(b).sizes.size(), 50u);
    SKIP_WITHOUT_FFMPEG();
    EXPECT_EQ(test::ffprobe(path)["nb_read_frames"], "50");
}

TEST(QvVideoRecorder, PreRecordListIsBounded) {
    QvVideoRecorder r;
    r.setPreRecordLimit(1000);
    r.addFrame(marker(1, true));
    Bytes p(300, 0x41);
    p[3] = 1, p[0] = p[1] = p[2] = 0;
    for (int i = 0; i < 3; ++i) r.addFrame(frameOf(p, false));
    EXPECT_EQ(r.frameList().size(), 4u);
    r.addFrame(frameOf(p, false));  // past the limit: collecting starts over
    EXPECT_EQ(r.frameList().size(), 1u);
    r.addFrame(marker(9, true));
    EXPECT_EQ(r.frameList().size(), 1u);
}

TEST(QvVideoRecorder, FramesFromAnotherThreadWhileStartingAndStopping) {
    test::TempDir dir;
    const auto frames = clipFrames();
    QvVideoRecorder r;
    std::atomic<bool> done{false};
    std::thread feeder([&] {
        for (size_t i = 0; !done; i = (i + 1) % frames.size()) r.addFrame(frames[i]);
    });
    std::vector<std::string> paths;
    for (int i = 0; i < 6; ++i) {
        paths.push_back(dir.file("t" + std::to_string(i) + ".mp4"));
        ASSERT_TRUE(r.start(paths.back(), 320, 240, 40));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(r.stop());
    }
    done = true;
    feeder.join();
    for (const auto& path : paths) {
        const Bytes b = test::readFile(path);
        ASSERT_TRUE(test::mp4Find(b, "moov")) << path;
        const auto t = test::mp4ReadTables(b);
        if (!t.sizes.empty()) {
            EXPECT_EQ(t.sync.front(), 1u) << path;  // every recording begins at a key frame
        }
    }
}
