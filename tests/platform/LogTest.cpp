#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/Log.h"

using namespace lumora;

namespace {

// Restores the test run's level after a case changes it.
struct LevelGuard {
    Log::Level saved = Log::level();
    ~LevelGuard() { Log::setLevel(saved); }
};

}  // namespace

TEST(Log, LevelNamesParseInAnyCaseAndNothingElseDoes) {
    struct Case {
        const char* text;
        bool ok;
        Log::Level level;
    } cases[] = {
        {"trace", true, Log::Level::Trace}, {"DEBUG", true, Log::Level::Debug}, {"Info", true, Log::Level::Info},
        {"warn", true, Log::Level::Warn},   {"warning", true, Log::Level::Warn}, {"error", true, Log::Level::Error},
        {"off", true, Log::Level::Off},     {"", false, Log::Level::Info},      {"verbose", false, Log::Level::Info},
        {"3", false, Log::Level::Info},     {"info ", false, Log::Level::Info},
    };
    for (const auto& c : cases) {
        Log::Level out = Log::Level::Info;
        EXPECT_EQ(Log::parseLevel(c.text, out), c.ok) << c.text;
        EXPECT_EQ(out, c.level) << c.text;
    }
}

TEST(Log, LinesBelowTheLevelAreDroppedAndOthersNameLevelAndComponent) {
    LevelGuard guard;
    Log::setLevel(Log::Level::Warn);
    Log::takeHeld();
    Log::info("Quiet", "not shown %d", 1);
    Log::debug("Quiet", "not shown either");
    Log::warn("Store", "cannot read %s", "/tmp/x");
    Log::error("Store", "line with newline\n");
    std::string held = Log::takeHeld();
    EXPECT_EQ(held.find("not shown"), std::string::npos);
    EXPECT_NE(held.find("warning Store: cannot read /tmp/x\n"), std::string::npos) << held;
    EXPECT_NE(held.find("error   Store: line with newline\n"), std::string::npos) << held;
    EXPECT_EQ(held.find("\n\n"), std::string::npos);
    EXPECT_FALSE(Log::enabled(Log::Level::Info));
    EXPECT_TRUE(Log::enabled(Log::Level::Error));
    Log::setLevel(Log::Level::Off);
    Log::error("Store", "silenced");
    EXPECT_EQ(Log::takeHeld(), "");
}

TEST(Log, LongMessagesAreWrittenWhole) {
    std::string big(5000, 'x');
    Log::takeHeld();
    Log::warn("Big", "%s|end", big.c_str());
    EXPECT_NE(Log::takeHeld().find(big + "|end"), std::string::npos);
}

TEST(Log, EnvironmentSetsTheLevelAndABadValueIsRefused) {
    LevelGuard guard;
    Log::setLevel(Log::Level::Warn);
    setenv("LUMORA_LOG", "debug", 1);
    EXPECT_TRUE(Log::configureFromEnvironment());
    EXPECT_EQ(Log::level(), Log::Level::Debug);
    setenv("LUMORA_LOG", "loud", 1);
    EXPECT_FALSE(Log::configureFromEnvironment());
    EXPECT_EQ(Log::level(), Log::Level::Debug);
    unsetenv("LUMORA_LOG");
    EXPECT_TRUE(Log::configureFromEnvironment());
    EXPECT_EQ(Log::level(), Log::Level::Debug);
}
