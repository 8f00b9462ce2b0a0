#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/common/ALAirplayView.h"
#include "ui/common/ALButton.h"
#include "ui/common/ALMoviePlayerControlsBar.h"
#include "ui/common/ChannelView.h"
#include "ui/common/FloatingPanelView.h"
#include "ui/common/QvNavigationController.h"
#include "ui/common/QvScrollView.h"
#include "ui/common/UIDeviceiPhone5.h"
#include "ui/common/ZButton.h"
#include "ui/kit/UILongPressGestureRecognizer.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

using Log = std::vector<std::string>;

class Holder : public UIViewController {
public:
    void loadView() override { setView(new UIView(UIScreen::mainScreen().bounds())); }
    void touchesBegan(const UITouchSet&, UIEvent*) override { log.push_back("holder began"); }
    void touchesEnded(const UITouchSet&, UIEvent*) override { log.push_back("holder ended"); }
    Log log;
};

struct TouchRecorder : touchProtocol {
    Log log;
    void delegatetouchesCancelled(const UITouchSet&, UIEvent*) override { log.push_back("cancelled"); }
    void delegatetouchesBegin(const UITouchSet&, UIEvent*) override { log.push_back("began"); }
    void delegatetouchesMoved(const UITouchSet&, UIEvent*) override { log.push_back("moved"); }
    void delegatetouchesEnded(const UITouchSet&, UIEvent*) override { log.push_back("ended"); }
};

TEST(PaneWidgetsTest, ScreenSizeTestLooksAtThePortraitHeightOnly) {
    KitTestDriver driver;
    struct Case {
        ScreenProfile profile;
        bool tall;
    };
    for (Case c : {Case{ScreenProfile::Phone480, false}, Case{ScreenProfile::Phone568, true},
                   Case{ScreenProfile::Tablet, false}}) {
        UIScreen::mainScreen().setProfile(c.profile);
        EXPECT_EQ(UIDeviceiPhone5::isIPhone5(), c.tall);
    }
    UIScreen::mainScreen().setProfile(ScreenProfile::Phone480);
}

TEST(PaneWidgetsTest, ChannelViewFrameIsOrangeWhenSelectedAndGreyOtherwise) {
    KitTestDriver driver;
    auto holder = std::make_shared<Holder>();
    driver.setRoot(holder);
    auto* pane = new ChannelView(CGRect{{10, 10}, {100, 80}});
    pane->setBackgroundColor(UIColor::blackColor());
    holder->view()->addSubview(pane);
    EXPECT_FALSE(pane->selected());
    driver.settle();
    EXPECT_EQ(driver.pixel(10, 50) >> 8, 0x808080u);
    pane->setSelected(true);
    pane->setSelected(true);  // the same value redraws too
    driver.settle();
    const uint32_t edge = driver.pixel(10, 50);
    EXPECT_EQ(edge >> 8, 0xE75C18u);
    // Half of the line shows inside: two points in, the background.
    EXPECT_EQ(driver.pixel(12, 50) >> 8, 0u);
}

TEST(PaneWidgetsTest, ScrollViewHandsEveryTouchToItsDelegateOrKeepsThem) {
    KitTestDriver driver;
    auto holder = std::make_shared<Holder>();
    driver.setRoot(holder);
    auto* scroll = new QvScrollView(CGRect{{0, 0}, {200, 200}});
    scroll->setScrollEnabled(false);
    holder->view()->addSubview(scroll);
    TouchRecorder rec;
    scroll->setTouchDelegate(&rec);
    driver.drag(CGPoint{50, 50}, CGPoint{120, 60}, 3);
    ASSERT_GE(rec.log.size(), 3u);
    EXPECT_EQ(rec.log.front(), "began");
    EXPECT_EQ(rec.log[1], "moved");
    EXPECT_EQ(rec.log.back(), "ended");
    // Without a delegate the scroll view keeps the touch: nothing reaches the holder.
    scroll->setTouchDelegate(nullptr);
    rec.log.clear();
    driver.tapAt(CGPoint{50, 50});
    EXPECT_TRUE(rec.log.empty());
    EXPECT_TRUE(holder->log.empty());
}

TEST(PaneWidgetsTest, BlinkingButtonEndsOnTheStopImageWhateverThePhase) {
    KitTestDriver driver;
    auto holder = std::make_shared<Holder>();
    driver.setRoot(holder);
    auto a = UIImage::imageNamed("device.png"), b = UIImage::imageNamed("deviceonline.png"),
         fin = UIImage::imageNamed("device02.png");
    ASSERT_TRUE(a && b && fin);
    for (int steps = 0; steps < 4; ++steps) {
        auto* button = new ZButton(CGRect{{0, 0}, {43, 43}});
        holder->view()->addSubview(button);
        button->setBackgroundImage(a);
        button->startAction(a, b);
        // Steps alternate second, first, second ...
        for (int i = 0; i < steps; ++i) {
            driver.advance(ZButton::kBlinkInterval);
            EXPECT_EQ(button->backgroundImageForState(UIControlStateNormal), i % 2 == 0 ? b : a);
        }
        button->stopActionwithImage(fin);
        driver.advance(5);
        EXPECT_EQ(button->backgroundImageForState(UIControlStateNormal), fin) << steps << " steps";
        EXPECT_FALSE(button->isBlinking());
    }
}

TEST(PaneWidgetsTest, ALButtonTouchAreaReachesTenPointsBeyondItsEdges) {
    KitTestDriver driver;
    auto holder = std::make_shared<Holder>();
    driver.setRoot(holder);
    auto* button = new ALButton(CGRect{{100, 100}, {40, 40}});
    holder->view()->addSubview(button);
    struct Rec : ALButtonDelegate {
        int down = 0, outside = 0;
        void buttonTouchedDown(ALButton*) override { ++down; }
        void buttonTouchedUpOutside(ALButton*) override { ++outside; }
    } rec;
    button->setDelegate(&rec);
    int inside = 0;
    button->addTarget(&rec, [&](UIControl*, UIEvent*) { ++inside; }, UIControlEventTouchUpInside);
    struct Case {
        CGPoint at;
        bool hits;
    };
    for (Case c : {Case{{91, 120}, true}, Case{{89, 120}, false}, Case{{149, 149}, true}, Case{{151, 120}, false},
                   Case{{120, 89}, false}}) {
        EXPECT_EQ(button->hitTest(button->convertPointFromView(c.at, holder->view()), nullptr) == button, c.hits)
            << c.at.x << "," << c.at.y;
    }
    driver.settle();
    driver.tapAt(CGPoint{120, 120});
    EXPECT_EQ(rec.down, 1);
    driver.tapAt(CGPoint{91, 120});
    EXPECT_EQ(rec.down, 2);
    EXPECT_EQ(inside, 2);
    // A delegate that implements nothing: nothing fails.
    ALButtonDelegate silent;
    button->setDelegate(&silent);
    driver.tapAt(CGPoint{120, 120});
    button->setDelegate(&rec);
    driver.drag(CGPoint{120, 120}, CGPoint{250, 250}, 4);
    EXPECT_EQ(rec.down, 3);
    EXPECT_EQ(rec.outside, 1);
    button->removeTarget(&rec);
}

TEST(PaneWidgetsTest, AirplayPressEndingOutsideIsUpOutside) {
    KitTestDriver driver;
    auto holder = std::make_shared<Holder>();
    driver.setRoot(holder);
    auto* route = new ALAirplayView(CGRect{{100, 100}, {40, 40}});
    holder->view()->addSubview(route);
    struct Rec : ALAirplayViewDelegate {
        Log log;
        void airplayButtonTouchedDown() override { log.push_back("down"); }
        void airplayButtonTouchedUpInside() override { log.push_back("inside"); }
        void airplayButtonTouchedUpOutside() override { log.push_back("outside"); }
    } rec;
    route->setDelegate(&rec);
    driver.press(CGPoint{120, 120});
    driver.advance(0.05);
    driver.moveTo(CGPoint{125, 122});
    driver.release(CGPoint{125, 122});
    driver.press(CGPoint{120, 120});
    driver.advance(0.05);
    driver.moveTo(CGPoint{128, 126});
    route->setFrame(CGRect{{0, 0}, {10, 10}});  // the view moved away under the finger
    driver.release(CGPoint{128, 126});
    EXPECT_EQ(rec.log, (Log{"down", "inside", "down", "outside"}));
    EXPECT_FALSE(route->pressGesture()->cancelsTouchesInView());
}

TEST(PaneWidgetsTest, BarRedrawsOnlyForANewColourAndPanelPassesTouchesOn) {
    KitTestDriver driver;
    auto holder = std::make_shared<Holder>();
    driver.setRoot(holder);
    auto* bar = new ALMoviePlayerControlsBar(CGRect{{0, 0}, {100, 20}});
    holder->view()->addSubview(bar);
    bar->setColor(UIColor::redColor());
    bar->setColor(UIColor::redColor());
    EXPECT_EQ(bar->redrawRequests(), 1);
    EXPECT_FALSE(bar->isOpaque());
    driver.settle();
    EXPECT_EQ(driver.pixel(50, 10) >> 8, 0xFF0000u);

    auto* panel = new FloatingPanelView(CGRect{{0, 200}, {275, 79}});
    EXPECT_EQ(panel->containerView(), nullptr);
    holder->view()->addSubview(panel);
    driver.tapAt(CGPoint{50, 230});
    EXPECT_EQ(holder->log, (Log{"holder began", "holder ended"}));
}

TEST(PaneWidgetsTest, NavigationControllerAllowsEveryOrientation) {
    QvNavigationController nav(std::make_shared<Holder>());
    for (auto o : {UIInterfaceOrientation::Portrait, UIInterfaceOrientation::PortraitUpsideDown,
                   UIInterfaceOrientation::LandscapeLeft, UIInterfaceOrientation::LandscapeRight})
        EXPECT_TRUE(nav.shouldAutorotateToInterfaceOrientation(o));
}

}  // namespace
