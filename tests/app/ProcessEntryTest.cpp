#include "app/ProcessEntry.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "AppFixture.h"
#include "app/AppDelegate.h"
#include "app/AppDelegateHD.h"
#include "platform/InterfaceIdiom.h"
#include "platform/Log.h"

using namespace lumora;
using namespace lumora::test;

namespace {

using ProcessEntryTest = AppTest;

TEST_F(ProcessEntryTest, PicksTheDelegateByInterfaceIdiom) {
    const std::pair<UserInterfaceIdiom, bool> cases[] = {
        {UserInterfaceIdiom::Unspecified, false}, {UserInterfaceIdiom::Phone, false}, {UserInterfaceIdiom::Pad, true}};
    for (const auto& [idiom, pad] : cases) {
        InterfaceIdiom::setCurrent(idiom);
        auto d = ProcessEntry::makeDelegate();
        EXPECT_EQ(dynamic_cast<AppDelegateHD*>(d.get()) != nullptr, pad);
        EXPECT_EQ(dynamic_cast<AppDelegate*>(d.get()) != nullptr, !pad);
    }
}

TEST_F(ProcessEntryTest, RunsLaunchesWithTheInstalledScreensAndTerminates) {
    InterfaceIdiom::setCurrent(UserInterfaceIdiom::Pad);
    bool launched = false;
    ProcessEntry::Options o;
    o.screens = factory;
    o.didLaunch = [&](Application& app) {
        launched = app.applicationState() == Application::State::Active;
        // Let the reachability report and the address look-up finish.
        RunLoop::main().runUntil([&] { return reachNotes >= 1; }, std::chrono::seconds(20));
    };
    o.shouldStop = [] { return true; };
    EXPECT_EQ(ProcessEntry::run(o), 0);
    EXPECT_TRUE(launched);
    EXPECT_EQ(factory->made, 1);
    EXPECT_EQ(screens->count("startAutoPlay"), 1);
}

TEST_F(ProcessEntryTest, AnEscapingExceptionEndsWithAFailureStatus) {
    ProcessEntry::Options o;
    o.screens = factory;
    o.didLaunch = [](Application&) { throw std::runtime_error("escaped"); };
    o.shouldStop = [] { return true; };
    Log::takeHeld();
    EXPECT_EQ(ProcessEntry::run(o), 1);
    EXPECT_NE(Log::held().find("ended by an exception: escaped"), std::string::npos);
}

}  // namespace
