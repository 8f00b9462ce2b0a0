#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/kit/UINavigationController.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

using Log = std::vector<std::string>;

// Writes every appearance call as "<name> <call>".
class Recorder : public UIViewController {
public:
    Recorder(std::string name, Log& log) : name_(std::move(name)), log_(log) {}
    void viewDidLoad() override { log_.push_back(name_ + " didLoad"); }
    void viewWillAppear(bool) override { log_.push_back(name_ + " willAppear"); }
    void viewDidAppear(bool) override { log_.push_back(name_ + " didAppear"); }
    void viewWillDisappear(bool) override { log_.push_back(name_ + " willDisappear"); }
    void viewDidDisappear(bool) override { log_.push_back(name_ + " didDisappear"); }
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return landscape ? true : o == UIInterfaceOrientation::Portrait;
    }
    void willRotateToInterfaceOrientation(UIInterfaceOrientation, double) override {
        log_.push_back(name_ + " willRotate");
    }
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation) override { log_.push_back(name_ + " didRotate"); }
    bool landscape = false;

private:
    std::string name_;
    Log& log_;
};

struct Case {
    const char* what;
    bool animated;
};

class PresentationTest : public ::testing::TestWithParam<Case> {};

TEST_P(PresentationTest, PresentAndDismissCallAppearanceInPlatformOrder) {
    KitTestDriver driver;
    Log log;
    auto root = std::make_shared<Recorder>("root", log);
    driver.setRoot(root);
    log.clear();
    bool presented = false, dismissed = false;
    auto modal = std::make_shared<Recorder>("modal", log);
    root->presentViewController(modal, GetParam().animated, [&] { presented = true; });
    driver.advance(0.5);
    EXPECT_TRUE(presented);
    EXPECT_EQ(log, (Log{"modal didLoad", "root willDisappear", "modal willAppear", "modal didAppear",
                        "root didDisappear"}));
    EXPECT_EQ(root->presentedViewController(), modal.get());
    EXPECT_EQ(modal->presentingViewController(), root.get());
    log.clear();
    // Dismissed from the presented controller itself.
    modal->dismissViewControllerAnimated(GetParam().animated, [&] { dismissed = true; });
    driver.advance(0.5);
    EXPECT_TRUE(dismissed);
    EXPECT_EQ(log, (Log{"modal willDisappear", "root willAppear", "root didAppear", "modal didDisappear"}));
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(modal->viewIfLoaded()->superview(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Kit, PresentationTest,
                         ::testing::Values(Case{"at once", false}, Case{"animated", true}),
                         [](const auto& info) { return info.param.animated ? "Animated" : "AtOnce"; });

TEST(ViewControllerTest, AnimatedDidCallsWaitForTheTransitionOnTheClock) {
    KitTestDriver driver;
    Log log;
    auto root = std::make_shared<Recorder>("root", log);
    driver.setRoot(root);
    log.clear();
    root->presentViewController(std::make_shared<Recorder>("modal", log), true);
    driver.advance(0.29);
    EXPECT_EQ(log, (Log{"modal didLoad", "root willDisappear", "modal willAppear"}));
    driver.advance(0.02);
    EXPECT_EQ(log.size(), 5u);
}

TEST(ViewControllerTest, DismissWithoutAnimationThenPresentAtOnce) {
    KitTestDriver driver;
    Log log;
    auto root = std::make_shared<Recorder>("root", log);
    driver.setRoot(root);
    auto first = std::make_shared<Recorder>("first", log);
    root->presentViewController(first, false);
    log.clear();
    auto second = std::make_shared<Recorder>("second", log);
    root->dismissViewControllerAnimated(false);
    root->presentViewController(second, true);
    driver.advance(1);
    EXPECT_EQ(root->presentedViewController(), second.get());
    EXPECT_EQ(log, (Log{"first willDisappear", "root willAppear", "root didAppear", "first didDisappear",
                        "second didLoad", "root willDisappear", "second willAppear", "second didAppear",
                        "root didDisappear"}));
    EXPECT_TRUE(second->viewIfLoaded()->isVisible());
}

TEST(ViewControllerTest, PresentingWhilePresentingIsRefused) {
    KitTestDriver driver;
    Log log;
    auto root = std::make_shared<Recorder>("root", log);
    driver.setRoot(root);
    auto first = std::make_shared<Recorder>("first", log);
    root->presentViewController(first, false);
    root->presentViewController(std::make_shared<Recorder>("second", log), false);
    EXPECT_EQ(root->presentedViewController(), first.get());
}

TEST(ViewControllerTest, PushAndPopCallAppearanceInPlatformOrder) {
    KitTestDriver driver;
    Log log;
    auto top = std::make_shared<Recorder>("one", log);
    auto nav = std::make_shared<UINavigationController>(top);
    driver.setRoot(nav);
    EXPECT_EQ(log, (Log{"one didLoad", "one willAppear", "one didAppear"}));
    log.clear();
    auto two = std::make_shared<Recorder>("two", log);
    two->setTitle("Two");
    nav->pushViewController(two, true);
    driver.advance(0.5);
    EXPECT_EQ(log, (Log{"two didLoad", "one willDisappear", "two willAppear", "two didAppear", "one didDisappear"}));
    EXPECT_EQ(two->navigationController(), nav.get());
    log.clear();
    // The back button pops.
    ASSERT_TRUE(driver.tap("navBack")) << driver.lastError();
    driver.advance(0.5);
    EXPECT_EQ(log, (Log{"two willDisappear", "one willAppear", "one didAppear", "two didDisappear"}));
    EXPECT_EQ(nav->topViewController(), top.get());
    EXPECT_EQ(two->navigationController(), nullptr);
}

TEST(ViewControllerTest, PresentedNavigationControllerForwardsToItsTop) {
    KitTestDriver driver;
    Log log;
    auto root = std::make_shared<Recorder>("root", log);
    driver.setRoot(root);
    log.clear();
    auto form = std::make_shared<Recorder>("form", log);
    auto nav = std::make_shared<UINavigationController>(form);
    root->presentViewController(nav, false);
    EXPECT_EQ(log, (Log{"form didLoad", "root willDisappear", "form willAppear", "form didAppear", "root didDisappear"}));
    log.clear();
    // Dismissed from inside the navigation controller.
    form->dismissViewControllerAnimated(false);
    EXPECT_EQ(log, (Log{"form willDisappear", "root willAppear", "root didAppear", "form didDisappear"}));
}

TEST(ViewControllerTest, RotationIsDecidedByTheTopFullScreenController) {
    KitTestDriver driver;
    Log log;
    auto root = std::make_shared<Recorder>("root", log);
    root->landscape = true;
    driver.setRoot(root);
    auto modal = std::make_shared<Recorder>("modal", log);
    root->presentViewController(modal, false);
    log.clear();
    // The presented portrait-only screen keeps the interface upright.
    EXPECT_FALSE(driver.rotate(UIInterfaceOrientation::LandscapeLeft));
    EXPECT_EQ(driver.window()->frame().size, (CGSize{320, 480}));
    EXPECT_TRUE(log.empty());
    modal->landscape = true;
    EXPECT_TRUE(driver.rotate(UIInterfaceOrientation::LandscapeLeft));
    EXPECT_EQ(driver.window()->frame().size, (CGSize{480, 320}));
    EXPECT_EQ(modal->viewIfLoaded()->frame().size, (CGSize{480, 320}));
    EXPECT_EQ(modal->interfaceOrientation(), UIInterfaceOrientation::LandscapeLeft);
    EXPECT_EQ(log, (Log{"root willRotate", "modal willRotate", "root didRotate", "modal didRotate"}));
    // Back with the modal gone: the root alone decides.
    root->dismissViewControllerAnimated(false);
    root->landscape = false;
    EXPECT_TRUE(driver.rotate(UIInterfaceOrientation::Portrait));
    EXPECT_EQ(driver.window()->frame().size, (CGSize{320, 480}));
}

}  // namespace
