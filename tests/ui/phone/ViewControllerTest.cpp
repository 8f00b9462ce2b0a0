#include "ui/phone/ViewController.h"

#include <gtest/gtest.h>

#include "platform/Config.h"
#include "platform/runloop/RunLoop.h"
#include "support/TempDir.h"
#include "ui/common/SearchesDone.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/phone/ChannelMgmtController.h"
#include "ui/phone/ChannelViewController.h"
#include "ui/phone/LandscapeViewController.h"
#include "ui/phone/LiveViewController.h"

using namespace lumora;

namespace {

// The start page and the landscape container with the real live screen and
// pane grid; no devices, the relay servers on a closed loopback port.
class ViewControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main();
        Config& cfg = Config::shared();
        saved = cfg;
        cfg.dataRoot = dir.path();
        cfg.timeScale = 0.1;
        cfg.relayHosts = {"127.0.0.1", "127.0.0.1", "127.0.0.1", "127.0.0.1"};
        cfg.relayTcpPort = 1;
    }
    void TearDown() override {
        // The live screen's searches read the configuration until they end.
        EXPECT_TRUE(test::waitForSearches());
        Config::shared() = saved;
    }

    test::TempDir dir;
    Config saved;
};

TEST_F(ViewControllerTest, LetsGoPushesOneLiveScreenAndItsBackArrowReturns) {
    KitTestDriver driver;
    auto start = std::make_shared<ViewController>();
    auto nav = std::make_shared<UINavigationController>(start);
    driver.setRoot(nav);
    driver.settle();
    EXPECT_FALSE(start->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation::LandscapeLeft));

    ASSERT_TRUE(driver.tap("navRight")) << driver.lastError();
    driver.advance(0.5);
    ASSERT_EQ(nav->viewControllers().size(), 2u);
    EXPECT_TRUE(nav->isNavigationBarHidden());
    auto* live = dynamic_cast<LiveViewController*>(nav->topViewController());
    ASSERT_TRUE(live);
    EXPECT_EQ(live, start->liveVC());
    ChannelMgmtController* grid = live->cmcController();
    ASSERT_TRUE(grid) << "the live screen shows its pane grid";
    EXPECT_TRUE(grid->view()->window());

    // Back: the bar returns and the start page is on top again.
    ASSERT_TRUE(driver.tap("backButton")) << driver.lastError();
    driver.advance(0.5);
    EXPECT_EQ(nav->topViewController(), start.get());
    EXPECT_FALSE(nav->isNavigationBarHidden());

    // A second "let's go" pushes the same screen, its views not rebuilt.
    ASSERT_TRUE(driver.tap("navRight"));
    driver.advance(0.5);
    EXPECT_EQ(nav->topViewController(), live);
    EXPECT_EQ(live->cmcController(), grid);
    // Pushing while it is already shown does nothing.
    start->goLive();
    EXPECT_EQ(nav->viewControllers().size(), 2u);
    live->backAction();
    driver.advance(0.5);
}

TEST_F(ViewControllerTest, OutsideANavigationControllerTheStartPageStays) {
    KitTestDriver driver;
    ViewController alone;
    alone.goLive();
    EXPECT_TRUE(alone.liveVC());
}

TEST_F(ViewControllerTest, RotationToLandscapeShowsTheGridInItsLandscapeArrangement) {
    KitTestDriver driver;
    auto container = std::make_shared<LandscapeViewController>();
    driver.setRoot(container);
    driver.settle();

    // No grid: an empty view, and rotation changes nothing.
    EXPECT_TRUE(container->view()->subviews().empty());
    container->didRotateFromInterfaceOrientation(UIInterfaceOrientation::Portrait);
    EXPECT_EQ(container->channelMgmtController(), nullptr);

    auto grid = std::make_shared<ChannelMgmtController>();
    grid->view()->setFrame(CGRect{{0, 0}, {320, 300}});
    for (int i = 0; i < 4; ++i) grid->channelViewControllerAtIndex(i)->setSessionStarter([](auto&, int) {});
    grid->setIsLandscapeLayout(false);
    container->setChannelMgmtController(grid);
    EXPECT_EQ(container->channelMgmtController(), grid.get());
    EXPECT_EQ(grid->view()->superview(), container->view());
    const CGRect portraitPane = grid->channelViewControllerAtIndex(0)->view()->frame();

    ASSERT_TRUE(driver.rotate(UIInterfaceOrientation::LandscapeLeft)) << driver.lastError();
    driver.advance(1);
    const CGRect own = container->view()->frame();
    EXPECT_GT(own.size.width, own.size.height);
    EXPECT_EQ(grid->view()->frame().size.width, own.size.width);
    EXPECT_EQ(grid->view()->frame().size.height, own.size.height);
    EXPECT_TRUE(grid->isLandscapeLayout());
    const CGRect landscapePane = grid->channelViewControllerAtIndex(0)->view()->frame();
    EXPECT_FALSE(landscapePane.size.width == portraitPane.size.width &&
                 landscapePane.size.height == portraitPane.size.height)
        << "the panes take the landscape arrangement";

    // A grid that has gone counts as none.
    grid->view()->removeFromSuperview();
    grid.reset();
    EXPECT_EQ(container->channelMgmtController(), nullptr);
    container->didRotateFromInterfaceOrientation(UIInterfaceOrientation::Portrait);
    EXPECT_FALSE(container->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation::Portrait));
}

}  // namespace
