#include <gtest/gtest.h>

#include "ui/kit/UINavigationController.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/phone/LandscapeViewController.h"
#include "ui/phone/ViewController.h"

using namespace lumora;

namespace {

// Stands for the live-view screen: counts how often its views are built.
class LiveStandIn : public UIViewController {
public:
    void viewDidLoad() override { ++loads; }
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) override { return true; }
    int loads = 0;
};

class ViewControllerTest : public ::testing::Test {
protected:
    void TearDown() override {
        ViewController::setLiveViewControllerFactory(nullptr);
        LandscapeViewController::setLandscapeLayoutHandler(nullptr);
    }
};

TEST_F(ViewControllerTest, LetsGoPushesOneLiveScreenAgainAndAgain) {
    int made = 0;
    ViewController::setLiveViewControllerFactory([&made] {
        ++made;
        return std::make_shared<LiveStandIn>();
    });
    KitTestDriver driver;
    auto start = std::make_shared<ViewController>();
    auto nav = std::make_shared<UINavigationController>(start);
    driver.setRoot(nav);
    driver.settle();
    ASSERT_TRUE(driver.tap("navRight")) << driver.lastError();
    driver.advance(0.5);
    ASSERT_EQ(nav->viewControllers().size(), 2u);
    EXPECT_TRUE(nav->isNavigationBarHidden());
    auto* live = dynamic_cast<LiveStandIn*>(nav->topViewController());
    ASSERT_TRUE(live);
    nav->popViewControllerAnimated(false);
    nav->setNavigationBarHidden(false);
    driver.settle();
    ASSERT_TRUE(driver.tap("navRight"));
    driver.advance(0.5);
    EXPECT_EQ(nav->topViewController(), live);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(live->loads, 1) << "views are built once";
    // Pushing while it is already shown does nothing.
    start->goLive();
    EXPECT_EQ(nav->viewControllers().size(), 2u);
}

TEST_F(ViewControllerTest, WithoutALiveScreenTheStartPageStays) {
    KitTestDriver driver;
    auto start = std::make_shared<ViewController>();
    auto nav = std::make_shared<UINavigationController>(start);
    driver.setRoot(nav);
    driver.settle();
    ASSERT_TRUE(driver.tap("navRight"));
    EXPECT_EQ(nav->viewControllers().size(), 1u);
    EXPECT_FALSE(nav->isNavigationBarHidden());
    // Outside a navigation controller: nothing either.
    ViewController::setLiveViewControllerFactory([] { return std::make_shared<LiveStandIn>(); });
    ViewController alone;
    alone.goLive();
    EXPECT_TRUE(alone.liveVC());
    EXPECT_FALSE(start->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation::LandscapeLeft));
}

TEST_F(ViewControllerTest, LandscapeContainerFillsItselfWithTheGrid) {
    std::vector<UIViewController*> switched;
    LandscapeViewController::setLandscapeLayoutHandler([&](UIViewController& g) { switched.push_back(&g); });
    KitTestDriver driver;
    auto container = std::make_shared<LandscapeViewController>();
    driver.setRoot(container);
    driver.settle();

    // No grid: an empty view, and rotation changes nothing.
    EXPECT_TRUE(container->view()->subviews().empty());
    container->didRotateFromInterfaceOrientation(UIInterfaceOrientation::Portrait);
    EXPECT_TRUE(switched.empty());

    auto grid = std::make_shared<LiveStandIn>();
    container->setChannelMgmtController(grid);
    EXPECT_EQ(container->channelMgmtController(), grid.get());
    EXPECT_EQ(grid->view()->superview(), container->view());
    ASSERT_TRUE(driver.rotate(UIInterfaceOrientation::LandscapeLeft));
    driver.advance(1);
    const CGRect own = container->view()->frame();
    EXPECT_EQ(grid->view()->frame().size.width, own.size.width);
    EXPECT_EQ(grid->view()->frame().size.height, own.size.height);
    EXPECT_GT(own.size.width, own.size.height);
    ASSERT_FALSE(switched.empty());
    EXPECT_EQ(switched.back(), grid.get());

    // A grid that has gone counts as none.
    size_t calls = switched.size();
    grid->view()->removeFromSuperview();
    grid.reset();
    EXPECT_EQ(container->channelMgmtController(), nullptr);
    container->didRotateFromInterfaceOrientation(UIInterfaceOrientation::Portrait);
    EXPECT_EQ(switched.size(), calls);
    EXPECT_FALSE(container->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation::Portrait));
}

}  // namespace
