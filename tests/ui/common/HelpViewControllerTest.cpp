#include <gtest/gtest.h>

#include "platform/Config.h"
#include "platform/InterfaceIdiom.h"
#include "ui/common/HelpAndAboutViewController.h"
#include "ui/common/HelpViewController.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

class HelpViewControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config::shared().webSite = "http://help.test.invalid/site/";
        Config::shared().productName = "cam viewer";
        InterfaceIdiom::setCurrent(UserInterfaceIdiom::Phone);
    }
    void TearDown() override { InterfaceIdiom::setCurrent(UserInterfaceIdiom::Unspecified); }
};

// The pager's page and the indicator's page.
std::pair<int, int> pages(HelpViewController& help) {
    return {static_cast<int>(help.scrollview()->contentOffset().x / 320), help.pageControl()->currentPage()};
}

TEST_F(HelpViewControllerTest, PhonePagerFollowsSwipesAndIndicatorTaps) {
    KitTestDriver driver;
    auto help = std::make_shared<HelpViewController>();
    driver.setRoot(std::make_shared<UINavigationController>(help));
    driver.settle();
    ASSERT_TRUE(help->scrollview());
    EXPECT_EQ(help->scrollview()->contentSize().width, 4 * 320);
    EXPECT_EQ(help->pageControl()->numberOfPages(), 4);
    EXPECT_EQ(help->pageControl()->frame().origin.y, 400);
    driver.saveScreenshot(::testing::TempDir() + "help_page1.png");

    const CGPoint pc = help->pageControl()->pointInWindow(CGPointMake(0, 10));
    // Right half of the indicator on page 0: page 1.
    driver.tapAt(CGPointMake(pc.x + 40, pc.y));
    driver.advance(0.5);
    EXPECT_EQ(pages(*help), std::make_pair(1, 1));
    // Left half: back to 0; left half again stays at 0.
    driver.tapAt(CGPointMake(pc.x + 10, pc.y));
    driver.advance(0.5);
    EXPECT_EQ(pages(*help), std::make_pair(0, 0));
    driver.tapAt(CGPointMake(pc.x + 10, pc.y));
    driver.advance(0.5);
    EXPECT_EQ(pages(*help), std::make_pair(0, 0));

    // Two swipes to the left settle on the third page.
    for (int i = 0; i < 2; ++i) {
        driver.drag(CGPointMake(280, 200), CGPointMake(40, 200));
        driver.advance(1);
    }
    EXPECT_EQ(pages(*help), std::make_pair(2, 2));
    driver.saveScreenshot(::testing::TempDir() + "help_page3.png");
    // A swipe to the right goes back one.
    driver.drag(CGPointMake(40, 200), CGPointMake(280, 200));
    driver.advance(1);
    EXPECT_EQ(pages(*help), std::make_pair(1, 1));
    // Swiping past the last page stops there.
    for (int i = 0; i < 4; ++i) {
        driver.drag(CGPointMake(280, 200), CGPointMake(40, 200));
        driver.advance(1);
    }
    EXPECT_EQ(pages(*help), std::make_pair(3, 3));
    EXPECT_TRUE(help->webView()->loadedURLs().empty());
}

TEST_F(HelpViewControllerTest, TallPhoneMovesTheIndicatorDown) {
    KitTestDriver driver(KitTestDriver::Options{ScreenProfile::Phone568, 1, true});
    auto help = std::make_shared<HelpViewController>();
    driver.setRoot(std::make_shared<UINavigationController>(help));
    driver.settle();
    EXPECT_EQ(help->pageControl()->frame().origin.y, 450);
}

TEST_F(HelpViewControllerTest, FeedbackShowsTheWebPageAlone) {
    KitTestDriver driver;
    auto help = std::make_shared<HelpViewController>();
    help->aboutFlag = 1;
    driver.setRoot(std::make_shared<UINavigationController>(help));
    driver.settle();
    EXPECT_EQ(help->scrollview(), nullptr);
    EXPECT_EQ(help->pageControl(), nullptr);
    EXPECT_EQ(help->webView()->requestedURL(), "http://help.test.invalid/site/send.php?N=cam%20viewer&V=1.0.1");
    help->openHelp();
    EXPECT_EQ(help->webView()->requestedURL(), "http://help.test.invalid/site/help.html");
}

TEST_F(HelpViewControllerTest, TabletPagesAndHelpAddress) {
    InterfaceIdiom::setCurrent(UserInterfaceIdiom::Pad);
    KitTestDriver driver(KitTestDriver::Options{ScreenProfile::Tablet, 1, true});
    auto help = std::make_shared<HelpViewController>();
    help->presentMode = 1;
    driver.setRoot(std::make_shared<UINavigationController>(help));
    driver.settle();
    EXPECT_EQ(help->scrollview()->frame().size.width, 1024);
    EXPECT_EQ(help->scrollview()->contentSize().width, 2048);
    EXPECT_EQ(help->pageControl()->numberOfPages(), 2);
    EXPECT_EQ(help->pageControl()->frame().origin.x, 112);
    ASSERT_TRUE(driver.find("helpPage2"));
    EXPECT_EQ(driver.find("helpPage2")->frame().origin.x, 1024);
    EXPECT_TRUE(driver.find("navLeft")) << "Cancel for a modal presentation";
    help->openHelp();
    EXPECT_EQ(help->webView()->requestedURL(), "http://help.test.invalid/site/ipadhelp.html");
    EXPECT_EQ(help->view()->subviews().back(), help->webView());
}

class Closer : public HelpControllerDelegate {
public:
    void helpControllerDidClose(HelpAndAboutViewController*) override { ++closed; }
    int closed = 0;
};

TEST_F(HelpViewControllerTest, HelpAndAboutRowsPushTheRightPages) {
    Config::shared().storeUrl = "https://store.test.invalid/app/42";
    KitTestDriver driver;
    auto about = std::make_shared<HelpAndAboutViewController>();
    Closer closer;
    about->delegate = &closer;
    auto nav = std::make_shared<UINavigationController>(about);
    driver.setRoot(nav);
    driver.settle();
    const auto texts = driver.visibleTexts();
    for (const char* want : {"Help", "User guide", "Feedback", "Version", "1.0.2", "Cancel"})
        EXPECT_NE(std::find(texts.begin(), texts.end(), want), texts.end()) << want;
    driver.saveScreenshot(::testing::TempDir() + "help_about.png");

    // The version row does nothing.
    ASSERT_TRUE(driver.pickRow("tableView", 1, 0)) << driver.lastError();
    driver.advance(0.5);
    EXPECT_EQ(nav->viewControllers().size(), 1u);

    ASSERT_TRUE(driver.pickRow("tableView", 0, 1));
    driver.advance(0.5);
    ASSERT_EQ(nav->viewControllers().size(), 2u);
    auto* feedback = dynamic_cast<HelpViewController*>(nav->topViewController());
    ASSERT_TRUE(feedback);
    EXPECT_EQ(feedback->aboutFlag, 1);
    nav->popViewControllerAnimated(false);
    driver.settle();
    // Back from it: "Feedback" is no longer marked.
    EXPECT_FALSE(driver.find<UITableView>("tableView")->indexPathForSelectedRow());

    ASSERT_TRUE(driver.pickRow("tableView", 0, 0));
    driver.advance(0.5);
    auto* pages = dynamic_cast<HelpViewController*>(nav->topViewController());
    ASSERT_TRUE(pages);
    EXPECT_EQ(pages->aboutFlag, 0);
    EXPECT_TRUE(pages->scrollview());
    nav->popViewControllerAnimated(false);
    driver.settle();

    ASSERT_TRUE(driver.tap("rateButton")) << driver.lastError();
    EXPECT_EQ(driver.openedURLs().back(), "https://store.test.invalid/app/42");
    ASSERT_TRUE(driver.tap("navLeft"));
    EXPECT_EQ(closer.closed, 1);
    about->delegate = nullptr;
    ASSERT_TRUE(driver.tap("navLeft"));
    EXPECT_EQ(closer.closed, 1);
}

TEST_F(HelpViewControllerTest, HelpAndAboutRotation) {
    HelpAndAboutViewController about;
    EXPECT_TRUE(about.shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation::Portrait));
    EXPECT_TRUE(about.shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation::LandscapeLeft));
    InterfaceIdiom::setCurrent(UserInterfaceIdiom::Pad);
    EXPECT_FALSE(about.shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation::Portrait));
    EXPECT_FALSE(about.shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation::PortraitUpsideDown));
    EXPECT_TRUE(about.shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation::LandscapeRight));
}

}  // namespace
