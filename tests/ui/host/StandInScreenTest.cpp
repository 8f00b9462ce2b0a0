#include <gtest/gtest.h>

#include <algorithm>

#include "app/AppDelegate.h"
#include "app/AppDelegateHD.h"
#include "app/core/QvApplicationPreference.h"
#include "base/network/Reachability.h"
#include "platform/Config.h"
#include "platform/net/FakeReachabilityProvider.h"
#include "platform/runloop/RunLoop.h"
#include "support/TempDir.h"
#include "ui/host/StandInPane.h"
#include "ui/host/StandInScreen.h"
#include "ui/host/StandInScreenFactory.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

// The application delegates launched headless with the stand-in screens as
// their roots, every network peer on a closed loopback port.
class StandInScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config& cfg = Config::shared();
        cfg.dataRoot = dir.path();
        cfg.reachabilityHost = "public.lumora.test";
        cfg.externalAddressUrl = "http://127.0.0.1:1/";
        cfg.pushHost = "127.0.0.1:1";
        auto provider = std::make_shared<FakeReachabilityProvider>();
        provider->setFlagsForHost(cfg.reachabilityHost, reachability_flags::kReachable);
        ReachabilityProvider::setShared(provider);
        RootScreenFactory::install(factory);
    }
    void TearDown() override {
        RunLoop::main().runUntil([] { return !QvApplicationPreference::sharedInstance().isLookingUpNetIP(); },
                                 std::chrono::seconds(20));
        RootScreenFactory::install(nullptr);
    }
    std::vector<std::string> texts(KitTestDriver& d) { return d.visibleTexts(); }
    bool shows(KitTestDriver& d, const std::string& text) {
        auto t = d.visibleTexts();
        return std::find(t.begin(), t.end(), text) != t.end();
    }

    lumora::test::TempDir dir;
    std::shared_ptr<StandInScreenFactory> factory = std::make_shared<StandInScreenFactory>();
};

TEST_F(StandInScreenTest, PhoneDelegateShowsThePhoneStandInAndPanesSelectOnATap) {
    KitTestDriver driver;
    AppDelegate delegate(factory);
    driver.launch(delegate);
    ASSERT_NE(factory->lastScreen(), nullptr);
    driver.setRoot(factory->lastScreen());
    EXPECT_TRUE(shows(driver, "lumora"));
    EXPECT_EQ(factory->lastScreen()->requests().front(), "poll all devices");
    EXPECT_TRUE(shows(driver, "Asked: " + factory->lastScreen()->requests().back())) << driver.dumpTree();
    ASSERT_TRUE(driver.tap("pane3")) << driver.lastError();
    EXPECT_EQ(factory->lastScreen()->selectedPane(), 2);
    EXPECT_TRUE(driver.find<StandInPane>("pane3")->isSelected());
    EXPECT_FALSE(driver.find<StandInPane>("pane1")->isSelected());
    // Resigning stops the panes (other requests may follow from the engine).
    driver.resignActive();
    const auto& requests = factory->lastScreen()->requests();
    EXPECT_NE(std::find(requests.begin(), requests.end(), "stop all"), requests.end());
}

TEST_F(StandInScreenTest, TabletDelegateShowsSixteenTilesInLandscape) {
    KitTestDriver driver(KitTestDriver::Options{ScreenProfile::Tablet, 1, true});
    AppDelegateHD delegate(factory);
    driver.launch(delegate);
    driver.setRoot(factory->lastScreen());
    EXPECT_FALSE(driver.rotate(UIInterfaceOrientation::Portrait));
    EXPECT_TRUE(driver.rotate(UIInterfaceOrientation::LandscapeLeft));
    EXPECT_EQ(driver.window()->frame().size, (CGSize{1024, 768}));
    EXPECT_NE(driver.find("pane16"), nullptr);
    EXPECT_TRUE(shows(driver, "lumora HD"));
}

}  // namespace
