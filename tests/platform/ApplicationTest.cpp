#include "platform/Application.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace lumora;

namespace {

struct Recorder : ApplicationDelegate {
    std::vector<std::string> events;
    bool throwOnResign = false;
    bool applicationDidFinishLaunching(Application&, const PropertyList&) override {
        events.push_back("launch");
        return true;
    }
    void applicationWillResignActive(Application&) override {
        events.push_back("resign");
        if (throwOnResign) throw std::runtime_error("boom");
    }
    void applicationDidBecomeActive(Application& app) override {
        events.push_back(app.applicationState() == Application::State::Active ? "active" : "active?");
    }
    void applicationDidEnterBackground(Application&) override { events.push_back("background"); }
    void applicationWillEnterForeground(Application&) override { events.push_back("foreground"); }
    void applicationWillTerminate(Application&) override { events.push_back("terminate"); }
    void alertViewClickedButtonAtIndex(const Application::Alert& a, int i) override {
        events.push_back(a.context + ":" + std::to_string(i));
    }
};

TEST(ApplicationTest, LifeCycleRunsInOrderAndSkipsRepeats) {
    Recorder r;
    Application app(r);
    EXPECT_EQ(Application::shared(), &app);
    app.launch();
    app.becomeActive();  // already active: nothing
    app.enterBackground();
    app.enterBackground();
    app.enterForeground();
    app.terminate();
    app.resignActive();  // after terminate: nothing
    EXPECT_EQ(r.events, (std::vector<std::string>{"launch", "active", "resign", "background", "foreground", "active",
                                                  "terminate"}));
}

TEST(ApplicationTest, AlertsAnswerOnceWithTheirContext) {
    Recorder r;
    Application app(r);
    app.showAlert({"", "one", {"Cancel", "OK"}, 1000, "first"});
    app.showAlert({"", "two", {"Cancel", "OK"}, 1000, "second"});
    EXPECT_FALSE(app.clickAlertButton(0, 2));
    EXPECT_FALSE(app.clickAlertButton(2, 0));
    EXPECT_TRUE(app.clickAlertButton(1, 1));
    EXPECT_TRUE(app.clickAlertButton(0, 0));
    EXPECT_TRUE(app.shownAlerts().empty());
    EXPECT_EQ(r.events, (std::vector<std::string>{"second:1", "first:0"}));
}

TEST(ApplicationTest, EscapingExceptionsGoToTheHandlerWhenOneIsSet) {
    Recorder r;
    r.throwOnResign = true;
    Application app(r);
    app.launch();
    EXPECT_THROW(app.resignActive(), std::runtime_error);
    app.becomeActive();
    int handled = 0;
    Application::setUncaughtExceptionHandler([&](const std::exception_ptr&) { ++handled; });
    app.resignActive();
    EXPECT_EQ(handled, 1);
    Application::setUncaughtExceptionHandler({});
}

}  // namespace
