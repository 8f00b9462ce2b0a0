// The main job's live demonstration, run on the test's main run loop with
// its times scaled down (5 s of live view become 1 s).
#include "demo/LiveDemo.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/Config.h"

using namespace lumora;

namespace {

struct Lines {
    std::mutex m;
    std::vector<std::string> all;
    size_t count(const std::string& part) {
        std::lock_guard<std::mutex> l(m);
        size_t n = 0;
        for (const auto& s : all) n += s.find(part) != std::string::npos;
        return n;
    }
};

LiveDemo::Options scaledOptions(Lines& lines) {
    Config::shared().timeScale = 0.2;
    LiveDemo::Options o;
    o.startTimeout = std::chrono::seconds(150);  // 30 s: generous on a loaded machine
    o.print = [&lines](const std::string& s) {
        std::lock_guard<std::mutex> l(lines.m);
        lines.all.push_back(s);
    };
    return o;
}

void showsLiveVideoThenEndsByItself(int transport) {
    Lines lines;
    LiveDemo::Options o = scaledOptions(lines);
    o.transport = transport;
    auto demo = LiveDemo::create(o);
    EXPECT_EQ(demo->run(RunLoop::main(), nullptr), 0) << demo->failure();
    EXPECT_FALSE(demo->failed());
    EXPECT_TRUE(demo->loggedIn());
    LiveDemoCounts c = demo->counts();
    EXPECT_GT(c.frames, 0);
    EXPECT_GT(c.bytes, c.frames);
    EXPECT_GE(c.keyFrames, 1) << "the clip starts with a key frame";
    EXPECT_GT(c.pictures, 0) << "the decoder turned frames into pictures";
    EXPECT_EQ(c.width, 320);
    EXPECT_EQ(c.height, 240);
    EXPECT_GE(lines.count("frames "), 1u) << "status lines";
    EXPECT_EQ(lines.count("live view ended"), 1u);
}

}  // namespace

TEST(LiveDemoTest, ShowsLiveVideoOverTcpThenEndsByItself) { showsLiveVideoThenEndsByItself(PUConnection::kTCP); }
TEST(LiveDemoTest, ShowsLiveVideoOverUdtThenEndsByItself) { showsLiveVideoThenEndsByItself(PUConnection::kUDT); }

TEST(LiveDemoTest, RunsOnUntilInterrupted) {
    Lines lines;
    LiveDemo::Options o = scaledOptions(lines);
    o.runOn = true;
    auto demo = LiveDemo::create(o);
    // At 25 frames a second, 40 frames take longer than the 1 s run time:
    // only a demo that runs on gets there.
    EXPECT_EQ(demo->run(RunLoop::main(), [&] { return demo->counts().frames >= 40 || demo->failed(); }), 0)
        << demo->failure();
    EXPECT_GE(demo->counts().frames, 40);
}

TEST(LiveDemoTest, RefusedLoginFailsWithAClearReason) {
    Lines lines;
    LiveDemo::Options o = scaledOptions(lines);
    o.emulator.forcedLoginResult = 2;
    auto demo = LiveDemo::create(o);
    EXPECT_EQ(demo->run(RunLoop::main(), nullptr), 1);
    EXPECT_TRUE(demo->failed());
    EXPECT_NE(demo->failure().find("refused the login"), std::string::npos) << demo->failure();
    EXPECT_EQ(demo->counts().frames, 0);
}
