#include "base/utilities/MPMoviePlayerController.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "base/decoder/MediaFrame.h"
#include "base/decoder/QvVideoRecorder.h"
#include "base/utilities/FakeMovieEngine.h"
#include "platform/Config.h"
#include "platform/dispatch/NotificationCenter.h"
#include "platform/graphics/GLContext.h"
#include "platform/storage/PropertyList.h"
#include "support/H264Clip.h"
#include "support/TempDir.h"

using namespace lumora;

namespace {

const std::string kClip = std::string(LUMORA_TEST_DATA_DIR) + "/clip.h264";

// The test clip recorded by the project's recorder, as a phone would keep it.
bool recordClip(const std::string& path) {
    QvVideoRecorder recorder;
    if (!recorder.start(path, 320, 240, 40)) return false;
    int64_t t = 0;
    for (const auto& unit : test::splitAccessUnits(test::readFile(kClip))) {
        MediaFrame f(unit.bytes);
        f.keyFrame = unit.key ? 1 : 0;
        f.timestamp = t += 40;
        recorder.addFrame(f);
    }
    return recorder.stop();
}

// Every notification of the player, in order, with the state it reported.
class EventLog {
public:
    explicit EventLog(MPMoviePlayerController& player) : player_(player) {
        auto& c = NotificationCenter::defaultCenter();
        ids_.push_back(c.addObserver(MPMoviePlayerLoadStateDidChangeNotification, &player, [this](const Notification&) {
            events.push_back("load " + std::to_string(player_.loadState()));
        }));
        ids_.push_back(c.addObserver(MPMovieDurationAvailableNotification, &player, [this](const Notification&) {
            events.push_back("duration " + std::to_string(player_.duration()).substr(0, 4));
        }));
        ids_.push_back(
            c.addObserver(MPMoviePlayerPlaybackStateDidChangeNotification, &player, [this](const Notification&) {
                events.push_back("state " + std::to_string(player_.playbackState()));
            }));
        ids_.push_back(c.addObserver(MPMoviePlayerPlaybackDidFinishNotification, &player, [this](const Notification& n) {
            const auto* info = std::any_cast<PropertyList>(&n.userInfo);
            const PropertyList* reason = info ? info->find(MPMoviePlayerPlaybackDidFinishReasonUserInfoKey) : nullptr;
            events.push_back("finish " + (reason ? std::to_string(reason->asInteger().value_or(-1)) : std::string("?")));
            ++finished;
        }));
    }
    ~EventLog() {
        for (auto id : ids_) NotificationCenter::defaultCenter().removeObserver(id);
    }
    std::vector<std::string> events;
    int finished = 0;

private:
    MPMoviePlayerController& player_;
    std::vector<NotificationCenter::ObserverId> ids_;
};

bool runUntil(const std::function<bool()>& done) { return RunLoop::main().runUntil(done, std::chrono::seconds(30)); }

class MoviePlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main();
        Config::shared().resourceDir = LUMORA_RESOURCE_DIR;
        Config::shared().timeScale = 0.01;  // a 40 ms tick lasts 0.4 ms
    }
    void TearDown() override { Config::shared().timeScale = 1.0; }
};

std::vector<std::string> md5s(const std::vector<MoviePicture>& pictures) {
    std::vector<std::string> out;
    for (const auto& p : pictures) out.push_back(test::md5Hex(p.yuv.data(), p.yuv.size()));
    return out;
}

MovieInfo fakeMovie(double seconds) { return MovieInfo{seconds, 0.04, 16, 16}; }

}  // namespace

TEST(MoviePlayerURL, FileURLsRoundTripAndOtherSchemesHaveNoPath) {
    for (const std::string path : {"/tmp/a.mp4", "/data/Records/my cam/0/2024 05 01%.mp4", "/ü/ß.mp4"}) {
        const std::string url = MPMoviePlayerController::fileURL(path);
        EXPECT_EQ(url.find(' '), std::string::npos) << url;
        EXPECT_EQ(MPMoviePlayerController::urlScheme(url), "file");
        EXPECT_EQ(MPMoviePlayerController::filePath(url), path);
    }
    struct Case {
        const char* url;
        const char* scheme;
        const char* path;
    } cases[] = {
        {"FILE:///x.mp4", "file", "/x.mp4"},
        {"file://localhost/x.mp4", "file", "/x.mp4"},
        {"file:/x.mp4", "file", "/x.mp4"},
        {"file://otherhost/x.mp4", "file", ""},  // not this machine
        {"file:///a%00b.mp4", "file", ""},       // no path holds a NUL
        {"http://cam/x.mp4", "http", ""},
        {"rtsp://cam/live", "rtsp", ""},
        {"/x.mp4", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MPMoviePlayerController::urlScheme(c.url), c.scheme) << c.url;
        EXPECT_EQ(MPMoviePlayerController::filePath(c.url), c.path) << c.url;
    }
}

TEST_F(MoviePlayerTest, PlaysARecordingToItsEndShowingEveryDecodedPicture) {
    if (!test::haveFfmpegProgram()) GTEST_SKIP() << "the ffmpeg program gives the reference pictures";
    test::TempDir dir;
    const std::string path = dir.file("rec 1.mp4");
    ASSERT_TRUE(recordClip(path));
    const auto reference = test::referenceMd5(path);
    ASSERT_EQ(reference.size(), 50u);

    MPMoviePlayerController player(Rect{0, 0, 160, 120});
    EventLog log(player);
    std::vector<MoviePicture> shown;
    player.setPictureHandler([&](const MoviePicture& p) { shown.push_back(p); });
    player.setContentURL(MPMoviePlayerController::fileURL(path));
    EXPECT_EQ(player.loadState(), MPMovieLoadStateUnknown);
    EXPECT_EQ(player.duration(), 0);
    player.play();
    ASSERT_TRUE(runUntil([&] { return log.finished > 0; }));

    EXPECT_EQ(log.events, (std::vector<std::string>{"load 3", "duration 2.00", "state 1", "state 0", "finish 0"}));
    EXPECT_DOUBLE_EQ(player.duration(), 2.0);
    EXPECT_EQ(player.naturalWidth(), 320);
    EXPECT_EQ(player.playbackState(), MPMoviePlaybackStateStopped);
    EXPECT_DOUBLE_EQ(player.currentPlaybackTime(), 2.0);
    EXPECT_EQ(md5s(shown), reference);
    for (size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(shown[i].index, long(i));

    // The view shows the last picture as a view drawing it itself would.
    std::string why;
    if (!GLContext::available(&why)) return;
    player.view().waitUntilDrawn();
    QvGLView reference_view(Rect{0, 0, 160, 120});
    ASSERT_TRUE(reference_view.render(shown.back().yuv, 320, 240));
    EXPECT_EQ(player.view().layer().contents().pixels, reference_view.layer().contents().pixels);

    // Playing again after the end starts over.
    shown.clear();
    player.play();
    ASSERT_TRUE(runUntil([&] { return log.finished > 1; }));
    EXPECT_EQ(md5s(shown), reference);
}

TEST_F(MoviePlayerTest, SeeksByTimeAndByRate) {
    if (!test::haveFfmpegProgram()) GTEST_SKIP() << "the ffmpeg program gives the reference pictures";
    test::TempDir dir;
    const std::string path = dir.file("rec.mp4");
    ASSERT_TRUE(recordClip(path));
    const auto reference = test::referenceMd5(path);
    ASSERT_EQ(reference.size(), 50u);

    MPMoviePlayerController player(Rect{0, 0, 160, 120});
    EventLog log(player);
    std::vector<MoviePicture> shown;
    player.setPictureHandler([&](const MoviePicture& p) { shown.push_back(p); });
    player.setContentURL(MPMoviePlayerController::fileURL(path));
    player.prepareToPlay();
    ASSERT_TRUE(runUntil([&] { return shown.size() == 1; }));  // a prepared player shows its first picture
    EXPECT_EQ(player.playbackState(), MPMoviePlaybackStateStopped);

    // By time, paused: forward past a key frame, then back before it.
    struct Seek {
        double time;
        long index;
    } seeks[] = {{1.0, 25}, {1.5, 37}, {0.2, 5}, {1.99, 49}, {7.0, 49}, {-3.0, 0}};
    for (const Seek& s : seeks) {
        const size_t before = shown.size();
        player.setCurrentPlaybackTime(s.time);
        ASSERT_TRUE(runUntil([&] { return shown.size() == before + 1; })) << s.time;
        EXPECT_EQ(shown.back().index, s.index) << s.time;
        EXPECT_EQ(md5s({shown.back()})[0], reference[s.index]) << s.time;
    }

    // By rate: 3 seeks forward three pictures a tick.
    player.setCurrentPlaybackTime(0.4);
    ASSERT_TRUE(runUntil([&] { return shown.back().index == 10; }));
    log.events.clear();
    shown.clear();
    player.setCurrentPlaybackRate(3.0);
    EXPECT_EQ(player.playbackState(), MPMoviePlaybackStateSeekingForward);
    ASSERT_TRUE(runUntil([&] { return shown.size() >= 4; }));
    player.pause();
    EXPECT_EQ(player.playbackState(), MPMoviePlaybackStatePaused);
    EXPECT_EQ(player.currentPlaybackRate(), 0.0);
    ASSERT_GE(shown.size(), 4u);
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].index, long(13 + 3 * i));
        EXPECT_EQ(md5s({shown[i]})[0], reference[shown[i].index]);
    }

    // -3 seeks backward to the start, then plays on from there.
    shown.clear();
    player.setCurrentPlaybackRate(-3.0);
    EXPECT_EQ(player.playbackState(), MPMoviePlaybackStateSeekingBackward);
    ASSERT_TRUE(runUntil([&] { return player.playbackState() == MPMoviePlaybackStatePlaying; }));
    ASSERT_GE(shown.size(), 2u);
    for (size_t i = 1; i < shown.size(); ++i) EXPECT_EQ(shown[i].index, std::max(0L, shown[i - 1].index - 3));
    EXPECT_EQ(shown.back().index, 0);
    EXPECT_EQ(md5s({shown.back()})[0], reference[0]);
    EXPECT_EQ(player.currentPlaybackRate(), 1.0);
    player.stop();
    EXPECT_EQ(player.currentPlaybackTime(), 0.0);
    EXPECT_EQ(log.events, (std::vector<std::string>{"state 4", "state 2", "state 5", "state 1", "state 0"}));
}

TEST_F(MoviePlayerTest, OnlyLocalFilesLoad) {
    auto engines = std::make_shared<FakeMovieEngine::Log>();
    MPMoviePlayerController player(Rect{0, 0, 32, 32}, nullptr, FakeMovieEngine::factory(fakeMovie(1), {}, engines));
    EventLog log(player);
    for (const char* url : {"http://cam.example/rec.mp4", "rtsp://cam/live", "/no/scheme.mp4", "file://far/x.mp4"}) {
        player.setContentURL(url);
        player.play();
        player.prepareToPlay();
        player.setCurrentPlaybackRate(3.0);
        RunLoop::main().runFor(std::chrono::milliseconds(30));
        EXPECT_EQ(player.loadState(), MPMovieLoadStateUnknown) << url;
        EXPECT_EQ(player.playbackState(), MPMoviePlaybackStateStopped) << url;
        EXPECT_EQ(player.duration(), 0) << url;
    }
    EXPECT_TRUE(log.events.empty());
    EXPECT_TRUE(engines->opened.empty());
}

TEST_F(MoviePlayerTest, FilesThatDoNotPlayFinishWithAnError) {
    test::TempDir dir;
    const std::string notMovie = dir.file("note.mp4");
    { std::ofstream(notMovie) << "not a movie at all"; }
    std::vector<std::string> errors;
    for (const std::string& path : {dir.file("missing.mp4"), notMovie, kClip /* raw H.264, not MP4 */}) {
        MPMoviePlayerController player(Rect{0, 0, 32, 32});
        EventLog log(player);
        const auto id = NotificationCenter::defaultCenter().addObserver(
            MPMoviePlayerPlaybackDidFinishNotification, &player, [&](const Notification& n) {
                const auto* info = std::any_cast<PropertyList>(&n.userInfo);
                const PropertyList* e = info ? info->find(MPMoviePlayerPlaybackDidFinishErrorUserInfoKey) : nullptr;
                errors.push_back(e ? e->asString().value_or("") : "");
            });
        player.setContentURL(MPMoviePlayerController::fileURL(path));
        player.play();
        ASSERT_TRUE(runUntil([&] { return log.finished > 0; })) << path;
        NotificationCenter::defaultCenter().removeObserver(id);
        EXPECT_EQ(log.events, (std::vector<std::string>{"finish 1"})) << path;
        EXPECT_EQ(player.loadState(), MPMovieLoadStateUnknown);
        EXPECT_EQ(player.playbackState(), MPMoviePlaybackStateStopped);
    }
    ASSERT_EQ(errors.size(), 3u);
    for (const auto& e : errors) EXPECT_FALSE(e.empty());
}

TEST_F(MoviePlayerTest, FakeEngineDrivesPauseStopAndNewContent) {
    auto engines = std::make_shared<FakeMovieEngine::Log>();
    MPMoviePlayerController player(Rect{0, 0, 32, 32}, nullptr,
                                   FakeMovieEngine::factory(fakeMovie(0.4), {"/gone.mp4"}, engines));
    EventLog log(player);
    std::vector<long> shown;
    player.setPictureHandler([&](const MoviePicture& p) {
        shown.push_back(p.index);
        EXPECT_EQ(p.yuv[0], FakeMovieEngine::pictureLuma(p.index));
    });
    player.setContentURL("file:///a.mp4");
    player.setCurrentPlaybackTime(0.2);  // before loading: the start
    player.play();
    ASSERT_TRUE(runUntil([&] { return shown.size() >= 2; }));
    player.pause();
    const size_t paused = shown.size();
    RunLoop::main().runFor(std::chrono::milliseconds(20));
    EXPECT_EQ(shown.size(), paused);  // no ticks while paused
    EXPECT_EQ(shown.front(), 5);
    player.play();  // resumes without showing the same picture again
    ASSERT_TRUE(runUntil([&] { return log.finished == 1; }));
    for (size_t i = 1; i < shown.size(); ++i) EXPECT_EQ(shown[i], shown[i - 1] + 1);
    EXPECT_EQ(shown.back(), 9);

    // New content while playing: the old movie is stopped and forgotten.
    shown.clear();
    log.events.clear();
    player.play();
    ASSERT_TRUE(runUntil([&] { return shown.size() >= 2; }));
    player.setContentURL("file:///gone.mp4");
    EXPECT_EQ(player.duration(), 0);
    player.play();
    ASSERT_TRUE(runUntil([&] { return log.finished == 2; }));
    EXPECT_EQ(log.events, (std::vector<std::string>{"state 1", "state 0", "load 0", "finish 1"}));
    EXPECT_EQ(engines->opened, (std::vector<std::string>{"/a.mp4", "/gone.mp4"}));

    // Stop rewinds; scaling modes and control styles are kept.
    player.setContentURL("file:///a.mp4");
    player.setScalingMode(MPMovieScalingModeAspectFill);
    player.setControlStyle(MPMovieControlStyleEmbedded);
    player.play();
    ASSERT_TRUE(runUntil([&] { return player.currentPlaybackTime() > 0.1; }));
    player.stop();
    EXPECT_EQ(player.currentPlaybackTime(), 0.0);
    EXPECT_EQ(player.playbackState(), MPMoviePlaybackStateStopped);
    EXPECT_EQ(player.scalingMode(), MPMovieScalingModeAspectFill);
    EXPECT_EQ(player.controlStyle(), MPMovieControlStyleEmbedded);
}

TEST_F(MoviePlayerTest, PlayerGoneWithWorkQueuedDeliversNothing) {
    int events = 0;
    const auto id = NotificationCenter::defaultCenter().addObserver(
        MPMoviePlayerLoadStateDidChangeNotification, nullptr, [&](const Notification&) { ++events; });
    {
        MPMoviePlayerController player(Rect{0, 0, 32, 32}, nullptr, FakeMovieEngine::factory(fakeMovie(1)));
        player.setContentURL("file:///a.mp4");
        player.play();
    }
    RunLoop::main().runFor(std::chrono::milliseconds(50));
    NotificationCenter::defaultCenter().removeObserver(id);
    EXPECT_EQ(events, 0);
}

TEST_F(MoviePlayerTest, EngineOnTheMainThreadPlaysByTheRunLoopAlone) {
    auto engines = std::make_shared<FakeMovieEngine::Log>();
    MPMoviePlayerController player(Rect{0, 0, 32, 32}, nullptr, FakeMovieEngine::factory(fakeMovie(0.4), {}, engines));
    player.setEngineRunsOnMainThread(true);
    EventLog log(player);
    std::vector<long> shown;
    player.setPictureHandler([&](const MoviePicture& p) { shown.push_back(p.index); });
    player.setContentURL("file:///a.mp4");
    player.play();
    ASSERT_TRUE(runUntil([&] { return log.finished == 1; }));
    EXPECT_EQ(shown, (std::vector<long>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(log.events, (std::vector<std::string>{"load 3", "duration 0.40", "state 1", "state 0", "finish 0"}));
    for (auto id : engines->threads) EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(engines->asked.size(), 10u);
}

// Pictures held back for reordering come out in presentation order, the
// last ones at the end of the file, and seeking back lands on the right one.
TEST_F(MoviePlayerTest, PlaysARecordingWithBFrames) {
    if (!test::haveFfmpegProgram()) GTEST_SKIP() << "the ffmpeg program makes the clip";
    test::TempDir dir;
    const std::string clip = dir.file("b.h264"), path = dir.file("b.mp4");
    ASSERT_TRUE(test::makeClip(clip, test::ClipOptions(320, 240, 30, 10, true)));
    QvVideoRecorder recorder;
    ASSERT_TRUE(recorder.start(path, 320, 240, 40));
    for (const auto& unit : test::splitAccessUnits(test::readFile(clip))) {
        MediaFrame f(unit.bytes);
        f.keyFrame = unit.key ? 1 : 0;
        recorder.addFrame(f);
    }
    ASSERT_TRUE(recorder.stop());
    const auto reference = test::referenceMd5(path);
    ASSERT_EQ(reference.size(), 30u);

    MPMoviePlayerController player(Rect{0, 0, 64, 48});
    EventLog log(player);
    std::vector<MoviePicture> shown;
    player.setPictureHandler([&](const MoviePicture& p) { shown.push_back(p); });
    player.setContentURL(MPMoviePlayerController::fileURL(path));
    player.play();
    ASSERT_TRUE(runUntil([&] { return log.finished > 0; }));
    EXPECT_EQ(log.events.back(), "finish 0");
    EXPECT_EQ(md5s(shown), reference);
    for (double t : {0.6, 0.2, 1.1}) {
        const size_t before = shown.size();
        player.setCurrentPlaybackTime(t);
        ASSERT_TRUE(runUntil([&] { return shown.size() == before + 1; }));
        const long index = static_cast<long>(std::floor(t / 0.04 + 1e-9));  // the last picture due by then
        EXPECT_EQ(shown.back().index, index) << t;
        EXPECT_EQ(md5s({shown.back()})[0], reference[index]) << t;
    }
}
