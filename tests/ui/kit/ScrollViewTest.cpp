#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/kit/UIButton.h"
#include "ui/kit/UIScrollView.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

using Log = std::vector<std::string>;

class Recorder : public UIScrollViewDelegate {
public:
    explicit Recorder(Log& log) : log_(log) {}
    void scrollViewDidScroll(UIScrollView*) override {
        if (log_.empty() || log_.back() != "didScroll") log_.push_back("didScroll");
    }
    void scrollViewWillBeginDragging(UIScrollView*) override { log_.push_back("willBeginDragging"); }
    void scrollViewDidEndDragging(UIScrollView*, bool decelerate) override {
        log_.push_back(decelerate ? "didEndDragging decelerate" : "didEndDragging");
    }
    void scrollViewWillBeginDecelerating(UIScrollView*) override { log_.push_back("willBeginDecelerating"); }
    void scrollViewDidEndDecelerating(UIScrollView*) override { log_.push_back("didEndDecelerating"); }
    UIView* viewForZoomingInScrollView(UIScrollView*) override { return zoomed; }
    void scrollViewDidZoom(UIScrollView*) override {
        if (log_.empty() || log_.back() != "didZoom") log_.push_back("didZoom");
    }
    void scrollViewWillBeginZooming(UIScrollView*, UIView*) override { log_.push_back("willBeginZooming"); }
    void scrollViewDidEndZooming(UIScrollView*, UIView* v, CGFloat scale) override {
        log_.push_back("didEndZooming");
        endScale = scale;
        endView = v;
    }
    UIView* zoomed = nullptr;
    UIView* endView = nullptr;
    CGFloat endScale = 0;

private:
    Log& log_;
};

class Screen : public UIViewController {};

struct Fixture {
    KitTestDriver driver;
    std::shared_ptr<Screen> screen = std::make_shared<Screen>();
    UIScrollView* scroll = nullptr;
    Log log;
    Recorder delegate{log};
    Fixture() {
        driver.setRoot(screen);
        scroll = new UIScrollView(CGRectMake(0, 0, 320, 200));
        scroll->setContentSize(CGSize{960, 200});
        scroll->delegate = &delegate;
        screen->view()->addSubview(scroll);
    }
};

TEST(ScrollViewTest, DragOverTenPointsClaimsTheTouchAndCancelsTheContent) {
    Fixture f;
    auto* button = new UIButton(CGRectMake(100, 50, 120, 100));
    f.scroll->addSubview(button);
    std::vector<std::string> events;
    button->addTarget(nullptr, [&](UIControl*, UIEvent*) { events.push_back("down"); }, UIControlEventTouchDown);
    button->addTarget(nullptr, [&](UIControl*, UIEvent*) { events.push_back("cancel"); }, UIControlEventTouchCancel);
    button->addTarget(nullptr, [&](UIControl*, UIEvent*) { events.push_back("up"); }, UIControlEventTouchUpInside);
    // Within 10 points: still the button's tap.
    f.driver.drag(CGPoint{160, 100}, CGPoint{152, 100}, 4);
    EXPECT_EQ(events, (std::vector<std::string>{"down", "up"}));
    EXPECT_EQ(f.scroll->contentOffset().x, 0);
    events.clear();
    f.driver.drag(CGPoint{200, 100}, CGPoint{140, 100}, 6);
    EXPECT_EQ(events, (std::vector<std::string>{"down", "cancel"}));
    // The whole finger movement scrolls, including the first 10 points.
    EXPECT_EQ(f.scroll->contentOffset().x, 60);
    EXPECT_EQ(f.log.front(), "willBeginDragging");
    // Content views keep their content coordinates; the widget moves.
    EXPECT_EQ(button->frame().origin.x, 100);
    EXPECT_EQ(button->pointInWindow(CGPoint{0, 0}).x, 40);
}

TEST(ScrollViewTest, PagingSnapsByHalfAPageAndCallsTheDelegateInOrder) {
    Fixture f;
    f.scroll->setPagingEnabled(true);
    // Slowly past half a page: the next page.
    f.driver.drag(CGPoint{300, 100}, CGPoint{130, 100}, 40);
    EXPECT_EQ(f.scroll->contentOffset().x, 320);
    f.driver.settle();
    EXPECT_EQ(f.log, (Log{"willBeginDragging", "didScroll", "didEndDragging decelerate", "willBeginDecelerating",
                          "didScroll", "didEndDecelerating"}));
    // Slowly less than half: back to the same page.
    f.log.clear();
    f.driver.drag(CGPoint{300, 100}, CGPoint{200, 100}, 40);
    EXPECT_EQ(f.scroll->contentOffset().x, 320);
    // A quick flick of under half a page turns it.
    f.driver.drag(CGPoint{300, 100}, CGPoint{220, 100}, 2);
    EXPECT_EQ(f.scroll->contentOffset().x, 640);
    // Never past the last page.
    f.driver.drag(CGPoint{300, 100}, CGPoint{20, 100}, 2);
    EXPECT_EQ(f.scroll->contentOffset().x, 640);
}

TEST(ScrollViewTest, DragEndingOnAPageDoesNotDecelerate) {
    Fixture f;
    f.scroll->setPagingEnabled(true);
    f.scroll->setContentOffset(CGPoint{320, 0});
    f.log.clear();
    // Out and back to where it started.
    f.driver.press(CGPoint{200, 100});
    f.driver.moveTo(CGPoint{150, 100});
    f.driver.advance(0.5);
    f.driver.moveTo(CGPoint{200, 100});
    f.driver.advance(0.5);
    f.driver.release(CGPoint{200, 100});
    EXPECT_EQ(f.log, (Log{"willBeginDragging", "didScroll", "didEndDragging"}));
}

TEST(ScrollViewTest, PinchGrowsTheZoomingViewsFrameAndEndsZooming) {
    Fixture f;
    f.scroll->setContentSize(CGSize{320, 200});
    auto* video = new UIView(CGRectMake(0, 0, 320, 200));
    f.scroll->addSubview(video);
    f.delegate.zoomed = video;
    // Without a zoom range two fingers do nothing.
    f.driver.pinch(CGPoint{160, 100}, 40, 80);
    EXPECT_EQ(f.scroll->zoomScale(), 1);
    f.scroll->setMinimumZoomScale(1);
    f.scroll->setMaximumZoomScale(4);
    f.log.clear();
    f.driver.pinch(CGPoint{160, 100}, 40, 80);
    EXPECT_DOUBLE_EQ(f.scroll->zoomScale(), 2);
    EXPECT_EQ(video->frame().size, (CGSize{640, 400}));
    EXPECT_EQ(video->bounds().size, (CGSize{320, 200}));
    EXPECT_EQ(f.scroll->contentSize(), (CGSize{640, 400}));
    EXPECT_EQ(f.log, (Log{"willBeginZooming", "didZoom", "didEndZooming"}));
    EXPECT_EQ(f.delegate.endView, video);
    EXPECT_DOUBLE_EQ(f.delegate.endScale, 2);
    // Beyond the limits the scale stops at them.
    f.driver.pinch(CGPoint{160, 100}, 20, 200);
    EXPECT_DOUBLE_EQ(f.scroll->zoomScale(), 4);
    f.scroll->setZoomScale(0.2);
    EXPECT_DOUBLE_EQ(f.scroll->zoomScale(), 1);
    EXPECT_EQ(video->frame().size, (CGSize{320, 200}));
}

TEST(ScrollViewTest, ScrollRectToVisibleMovesTheLeastAndStaysInTheContent) {
    Fixture f;
    struct Case {
        CGRect rect;
        CGFloat x;
    };
    for (Case c : {Case{CGRectMake(400, 0, 100, 10), 180}, Case{CGRectMake(190, 0, 50, 10), 180},
                   Case{CGRectMake(10, 0, 50, 10), 10}, Case{CGRectMake(900, 0, 200, 10), 640}}) {
        f.scroll->scrollRectToVisible(c.rect, false);
        EXPECT_EQ(f.scroll->contentOffset().x, c.x);
    }
}

}  // namespace
