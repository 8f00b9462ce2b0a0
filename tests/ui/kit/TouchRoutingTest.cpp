#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/kit/UILongPressGestureRecognizer.h"
#include "ui/kit/UITapGestureRecognizer.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

using Log = std::vector<std::string>;

// A view that writes the touch calls it gets; handled = false passes them up.
class TouchLog : public UIView {
public:
    TouchLog(const CGRect& f, std::string name, Log& log, bool handled = true)
        : UIView(f), name_(std::move(name)), log_(log), handled_(handled) {}
    void touchesBegan(const UITouchSet& t, UIEvent* e) override {
        if (note("began")) UIView::touchesBegan(t, e);
    }
    void touchesMoved(const UITouchSet& t, UIEvent* e) override {
        if (note("moved")) UIView::touchesMoved(t, e);
    }
    void touchesEnded(const UITouchSet& t, UIEvent* e) override {
        if (note("ended")) UIView::touchesEnded(t, e);
    }
    void touchesCancelled(const UITouchSet& t, UIEvent* e) override {
        if (note("cancelled")) UIView::touchesCancelled(t, e);
    }

private:
    // Answers whether the touches go on up the chain.
    bool note(const char* what) {
        log_.push_back(name_ + " " + what);
        return !handled_;
    }
    std::string name_;
    Log& log_;
    bool handled_;
};

class Screen : public UIViewController {
public:
    explicit Screen(Log& log) : log_(log) {}
    void touchesBegan(const UITouchSet&, UIEvent*) override { log_.push_back("controller began"); }
    void touchesEnded(const UITouchSet&, UIEvent*) override { log_.push_back("controller ended"); }

private:
    Log& log_;
};

TEST(TouchRoutingTest, TouchStaysWithItsViewAndUnhandledTouchesGoUpTheChain) {
    KitTestDriver driver;
    Log log;
    auto screen = std::make_shared<Screen>(log);
    driver.setRoot(screen);
    auto* outer = new TouchLog(CGRectMake(0, 0, 320, 300), "outer", log, false);
    auto* inner = new TouchLog(CGRectMake(50, 50, 100, 100), "inner", log, false);
    screen->view()->addSubview(outer);
    outer->addSubview(inner);
    // Pressed in the inner view, released far outside it: the inner view keeps the touch.
    driver.drag(CGPoint{60, 60}, CGPoint{300, 400}, 1);
    EXPECT_EQ(log, (Log{"inner began", "outer began", "controller began", "inner moved", "outer moved",
                        "inner ended", "outer ended", "controller ended"}));
}

TEST(TouchRoutingTest, HiddenAndNonInteractiveViewsAreSkippedByTheHitTest) {
    KitTestDriver driver;
    Log log;
    auto screen = std::make_shared<Screen>(log);
    driver.setRoot(screen);
    auto* back = new TouchLog(CGRectMake(0, 0, 320, 300), "back", log);
    auto* front = new TouchLog(CGRectMake(0, 0, 320, 300), "front", log);
    screen->view()->addSubview(back);
    screen->view()->addSubview(front);
    struct Case {
        std::function<void()> set;
        const char* who;
    };
    for (const Case& c : {Case{[&] {}, "front"}, Case{[&] { front->setHidden(true); }, "back"},
                          Case{[&] {
                                   front->setHidden(false);
                                   front->setUserInteractionEnabled(false);
                               },
                               "back"},
                          Case{[&] {
                                   front->setUserInteractionEnabled(true);
                                   front->setAlpha(0.0);
                               },
                               "back"},
                          Case{[&] {
                                   front->setAlpha(1);
                                   screen->view()->sendSubviewToBack(front);
                               },
                               "back"},
                          Case{[&] { screen->view()->bringSubviewToFront(front); }, "front"}}) {
        c.set();
        log.clear();
        driver.tapAt(CGPoint{100, 100});
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.front(), std::string(c.who) + " began");
    }
}

TEST(TouchRoutingTest, TapRecogniserCancelsTheViewsTouches) {
    KitTestDriver driver;
    Log log;
    auto screen = std::make_shared<Screen>(log);
    driver.setRoot(screen);
    auto* pane = new TouchLog(CGRectMake(0, 0, 320, 300), "pane", log);
    screen->view()->addSubview(pane);
    auto doubleTap = std::make_shared<UITapGestureRecognizer>();
    doubleTap->numberOfTapsRequired = 2;
    doubleTap->addTarget(nullptr, [&](UIGestureRecognizer&) { log.push_back("double tap"); });
    pane->addGestureRecognizer(doubleTap);
    driver.doubleTapAt(CGPoint{100, 100});
    EXPECT_EQ(log, (Log{"pane began", "pane ended", "pane began", "double tap", "pane cancelled"}));
    log.clear();
    // A single tap leaves the view its touches.
    driver.tapAt(CGPoint{100, 100});
    EXPECT_EQ(log, (Log{"pane began", "pane ended"}));
}

TEST(TouchRoutingTest, LongPressBeginsOnTheClockAndCancelsTheViewsTouches) {
    KitTestDriver driver;
    Log log;
    auto screen = std::make_shared<Screen>(log);
    driver.setRoot(screen);
    auto* pane = new TouchLog(CGRectMake(0, 0, 320, 300), "pane", log);
    screen->view()->addSubview(pane);
    auto press = std::make_shared<UILongPressGestureRecognizer>();
    press->minimumPressDuration = 1.0;
    press->addTarget(nullptr, [&](UIGestureRecognizer& r) {
        log.push_back(r.state() == UIGestureRecognizerState::Began ? "press began" : "press ended");
    });
    pane->addGestureRecognizer(press);
    driver.press(CGPoint{100, 100});
    driver.advance(0.99);
    EXPECT_EQ(log, (Log{"pane began"}));
    driver.advance(0.02);
    EXPECT_EQ(log, (Log{"pane began", "press began", "pane cancelled"}));
    driver.release(CGPoint{100, 100});
    EXPECT_EQ(log.back(), "press ended");
    log.clear();
    // Released early: no press, the view ends its touch.
    driver.longPressAt(CGPoint{100, 100}, 0.5);
    EXPECT_EQ(log, (Log{"pane began", "pane ended"}));
}

}  // namespace

namespace {

// A handler that turns the device (which cancels every touch) while its own
// touch is being delivered gets its release once and no cancel.
TEST(TouchRoutingTest, AHandlerThatCancelsEveryTouchDoesNotPullTheTouchAway) {
    KitTestDriver driver;
    Log log;
    class Turning : public Screen {
    public:
        using Screen::Screen;
        bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) override { return true; }
    };
    auto screen = std::make_shared<Turning>(log);
    driver.setRoot(screen);
    class Turner : public TouchLog {
    public:
        using TouchLog::TouchLog;
        void touchesEnded(const UITouchSet& t, UIEvent* e) override {
            TouchLog::touchesEnded(t, e);
            window()->rotateTo(UIInterfaceOrientation::LandscapeLeft);
        }
    };
    auto* turner = new Turner(CGRectMake(0, 0, 100, 100), "turner", log);
    screen->view()->addSubview(turner);
    driver.tapAt(CGPoint{50, 50});
    EXPECT_EQ(log, (Log{"turner began", "turner ended"}));
    EXPECT_EQ(driver.window()->frame().size, (CGSize{480, 320}));
}

}  // namespace
