#include "platform/audio/AudioSession.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/audio/AudioBackend.h"
#include "platform/Config.h"
#include "platform/runloop/RunLoop.h"

using namespace lumora;

// Interruptions reach the listener on the main run loop, from any thread.
TEST(AudioSessionTest, CategoryAndInterruptionsOnTheMainRunLoop) {
    AudioSession& session = AudioSession::shared();
    std::vector<AudioSession::InterruptionState> seen;
    bool onMain = true;
    session.initialize([&](AudioSession::InterruptionState s) {
        onMain = onMain && RunLoop::isMainThread();
        seen.push_back(s);
    });
    session.setCategory(AudioSession::Category::PlayAndRecord);
    session.setActive(true);
    EXPECT_EQ(session.category(), AudioSession::Category::PlayAndRecord);
    std::thread([&] {
        session.beginInterruption();
        session.endInterruption();
    }).join();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return seen.size() == 2; }, std::chrono::seconds(30)));
    EXPECT_TRUE(onMain);
    EXPECT_EQ(seen[0], AudioSession::InterruptionState::Begin);
    EXPECT_FALSE(session.isActive());
}

TEST(AudioBackendTest, ChosenThroughConfig) {
    Config c;
    EXPECT_TRUE(c.set("audioBackend", "alsa"));
    EXPECT_TRUE(c.set("audioBackend", "null"));
    EXPECT_FALSE(c.set("audioBackend", "oss"));
    EXPECT_TRUE(c.set("alsaDevice", "null"));
    Config::shared().audioBackend = "null";
    EXPECT_EQ(AudioBackend::name(), "null");
    Config::shared().audioBackend.clear();
    EXPECT_EQ(AudioBackend::name(), AudioBackend::pulseServerAnswers() ? "pulse" : "null");
}

// The ALSA backend on alsa-lib's "null" device (when this machine's
// alsa-lib has one): opens, plays and captures.
TEST(AudioBackendTest, AlsaNullDevice) {
    Config::shared().audioBackend = "alsa";
    Config::shared().alsaDevice = "null";
    std::string why;
    auto sink = AudioBackend::openSink(8000, 1, &why);
    if (!sink) GTEST_SKIP() << "no ALSA null device: " << why;
    std::vector<int16_t> frames(800, 100);
    EXPECT_TRUE(sink->write(frames.data(), 800));
    sink->drain();
    auto source = AudioBackend::openSource(8000, 1, &why);
    if (!source) GTEST_SKIP() << "no ALSA null capture: " << why;
    EXPECT_TRUE(source->read(frames.data(), 80));
}
