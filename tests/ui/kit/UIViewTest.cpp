#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/kit/UILabel.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UIView.h"
#include "ui/kit/UIViewAnimation.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

std::vector<int> tags(UIView* v) {
    std::vector<int> out;
    for (UIView* s : v->subviews()) out.push_back(s->tag());
    return out;
}

UIView* tagged(int tag) {
    auto* v = new UIView(CGRectMake(0, 0, 10, 10));
    v->setTag(tag);
    return v;
}

TEST(UIViewTest, SubviewOrderOperations) {
    KitTestDriver driver;
    auto* root = new UIView(CGRectMake(0, 0, 100, 100));
    UIView* a = tagged(1);
    UIView* b = tagged(2);
    UIView* c = tagged(3);
    root->addSubview(a);
    root->addSubview(b);
    root->insertSubviewAtIndex(c, 0);
    EXPECT_EQ(tags(root), (std::vector<int>{3, 1, 2}));
    root->bringSubviewToFront(c);
    EXPECT_EQ(tags(root), (std::vector<int>{1, 2, 3}));
    root->sendSubviewToBack(b);
    EXPECT_EQ(tags(root), (std::vector<int>{2, 1, 3}));
    UIView* d = tagged(4);
    root->insertSubviewBelowSubview(d, a);
    EXPECT_EQ(tags(root), (std::vector<int>{2, 4, 1, 3}));
    UIView* e = tagged(5);
    root->insertSubviewAboveSubview(e, b);
    EXPECT_EQ(tags(root), (std::vector<int>{2, 5, 4, 1, 3}));
    // Adding a subview again brings it to the front.
    root->addSubview(b);
    EXPECT_EQ(tags(root), (std::vector<int>{5, 4, 1, 3, 2}));
    a->removeFromSuperview();
    EXPECT_EQ(tags(root), (std::vector<int>{5, 4, 3, 2}));
    EXPECT_EQ(a->superview(), nullptr);
    EXPECT_EQ(root->viewWithTag(3), c);
    EXPECT_EQ(root->viewWithTag(9), nullptr);
    delete a;
    delete root;
}

TEST(UIViewTest, SpringsAndStrutsFollowTheSuperviewsSize) {
    KitTestDriver driver;
    auto* root = new UIView(CGRectMake(0, 0, 320, 480));
    struct Case {
        unsigned mask;
        CGRect before;
        CGRect after;
    };
    const Case cases[] = {
        {UIViewAutoresizingNone, CGRectMake(10, 10, 100, 50), CGRectMake(10, 10, 100, 50)},
        {UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight, CGRectMake(0, 0, 320, 480),
         CGRectMake(0, 0, 480, 320)},
        {UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleTopMargin, CGRectMake(220, 430, 100, 50),
         CGRectMake(380, 270, 100, 50)},
        {UIViewAutoresizingFlexibleWidth, CGRectMake(10, 0, 300, 44), CGRectMake(10, 0, 460, 44)},
        {UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin, CGRectMake(110, 0, 100, 10),
         CGRectMake(190, 0, 100, 10)},
    };
    std::vector<UIView*> views;
    for (const Case& c : cases) {
        auto* v = new UIView(c.before);
        v->setAutoresizingMask(c.mask);
        root->addSubview(v);
        views.push_back(v);
    }
    root->setFrame(CGRectMake(0, 0, 480, 320));
    for (size_t i = 0; i < views.size(); ++i) EXPECT_EQ(views[i]->frame(), cases[i].after) << i;
    delete root;
}

TEST(UIViewTest, ConvertsPointsThroughScrolledAndZoomedViews) {
    KitTestDriver driver;
    auto* root = new UIView(CGRectMake(0, 0, 320, 480));
    auto* inner = new UIView(CGRectMake(20, 30, 100, 100));
    auto* leaf = new UIView(CGRectMake(5, 5, 10, 10));
    root->addSubview(inner);
    inner->addSubview(leaf);
    EXPECT_EQ(leaf->convertPointToView(CGPoint{1, 2}, root), (CGPoint{26, 37}));
    EXPECT_EQ(root->convertPointToView(CGPoint{26, 37}, leaf), (CGPoint{1, 2}));
    EXPECT_EQ(leaf->convertRectToView(CGRectMake(0, 0, 10, 10), inner), CGRectMake(5, 5, 10, 10));
    inner->setTransformScale(2);
    EXPECT_EQ(inner->frame(), CGRectMake(-30, -20, 200, 200));
    EXPECT_EQ(inner->bounds(), CGRectMake(0, 0, 100, 100));
    EXPECT_EQ(leaf->convertPointToView(CGPoint{0, 0}, root), (CGPoint{-20, -10}));
    delete root;
}

TEST(UIViewTest, LabelsTruncateAtTheTailOrMiddleAndShrinkToFit) {
    KitTestDriver driver;
    auto* label = new UILabel(CGRectMake(0, 0, 120, 20));
    label->setText("camera-front-door-0001.mp4");
    std::string tail = label->displayedText();
    EXPECT_EQ(tail.substr(0, 6), "camera");
    EXPECT_EQ(tail.substr(tail.size() - 3), "\u2026");
    label->setLineBreakMode(UILineBreakMode::MiddleTruncation);
    std::string middle = label->displayedText();
    EXPECT_EQ(middle.substr(middle.size() - 4), ".mp4");
    EXPECT_NE(middle.find("\u2026"), std::string::npos);
    label->setAdjustsFontSizeToFitWidth(true);
    label->setMinimumFontSize(12);
    EXPECT_EQ(label->displayedFontSize(), 12);
    label->setText("Short");
    EXPECT_EQ(label->displayedFontSize(), 17);
    EXPECT_EQ(label->displayedText(), "Short");
    delete label;
}

TEST(UIViewTest, HiddenNavigationBarGivesTheContentTheWholeView) {
    KitTestDriver driver;
    auto top = std::make_shared<UIViewController>();
    auto nav = std::make_shared<UINavigationController>(top);
    driver.setRoot(nav);
    EXPECT_EQ(top->view()->pointInWindow(CGPoint{0, 0}), (CGPoint{0, 44}));
    EXPECT_EQ(top->view()->frame().size, (CGSize{320, 436}));
    nav->setNavigationBarHidden(true);
    EXPECT_EQ(top->view()->pointInWindow(CGPoint{0, 0}), (CGPoint{0, 0}));
    EXPECT_EQ(top->view()->frame().size, (CGSize{320, 480}));
    EXPECT_TRUE(nav->navigationBar()->isHidden());
}

TEST(UIViewTest, TransitionsRunTheirBlockAtOnceAndCompleteOnTheClock) {
    KitTestDriver driver;
    auto* v = new UIView(CGRectMake(0, 0, 10, 10));
    bool done = false;
    UIViewAnimation::transitionWithView(v, 0.4, UIViewAnimationOptionTransitionFlipFromLeft,
                                        [&] { v->setBackgroundColor(UIColor::redColor()); }, [&](bool) { done = true; });
    EXPECT_EQ(v->backgroundColor(), UIColor::redColor());
    driver.advance(0.39);
    EXPECT_FALSE(done);
    driver.advance(0.02);
    EXPECT_TRUE(done);
    delete v;
}

}  // namespace
