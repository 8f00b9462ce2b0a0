#include <gtest/gtest.h>

#include "ui/common/CQSegmentControlHD.h"
#include "ui/kit/CGContext.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

class Screen : public UIViewController {};

class Changes : public CQSegmentControlDelegate {
public:
    void segmentControlValueChanged(CQSegmentControlHD*, int o, int n) override {
        log.push_back(std::to_string(o) + ">" + std::to_string(n));
    }
    std::vector<std::string> log;
};

std::shared_ptr<UIImage> solid(CGFloat w, CGFloat h, UIColor c) {
    return UIImage::imageByDrawing(CGSize{w, h}, [c](CGContext& ctx) {
        ctx.setFillColor(c);
        ctx.fillRect(CGRectMake(0, 0, 1000, 1000));
    });
}

uint32_t rgb(uint32_t rgba) { return rgba >> 8; }

struct Fixture {
    KitTestDriver driver;
    std::shared_ptr<Screen> screen = std::make_shared<Screen>();
    Changes changes;
    int valueChangedActions = 0;
    CQSegmentControlHD* control = nullptr;
    // Photo/recording switch: red and green when off, blue and yellow when on.
    Fixture() {
        driver.setRoot(screen);
        control = new CQSegmentControlHD({{"", nullptr}, {"", nullptr}}, CQSegmentControlHD::kImageStyle);
        setViewName(control, "mediaSwitch");
        control->setFrame(CGRectMake(100, 100, 125, 40));
        control->normalImageItems = {solid(62, 40, UIColor::redColor()), solid(63, 40, UIColor::greenColor())};
        control->highlightImageItems = {solid(62, 40, UIColor::blueColor()), solid(63, 40, UIColor::yellowColor())};
        control->delegate_ = &changes;
        control->addTarget(this, [this](UIControl*, UIEvent*) { ++valueChangedActions; }, UIControlEventValueChanged);
        control->setSelectedSegmentIndex(0);
        screen->view()->addSubview(control);
        driver.settle();
    }
};

TEST(CQSegmentControlHDTest, TouchSelectsTheSegmentUnderTheFinger) {
    Fixture f;
    struct Case {
        CGFloat x;
        int selected;
        std::vector<std::string> log;
    };
    // x * 2 / 125: 62 -> 0, 62.5 and on -> 1.
    for (const Case& c : {Case{63, 1, {"0>1"}}, Case{124, 1, {"0>1"}}, Case{62, 0, {"0>1", "1>0"}},
                          Case{1, 0, {"0>1", "1>0"}}}) {
        f.driver.press(CGPointMake(100 + c.x, 120));
        // Selected at touch-down, before the finger lifts.
        EXPECT_EQ(f.control->selectedSegmentIndex(), c.selected) << c.x;
        f.driver.release(CGPointMake(100 + c.x, 120));
        EXPECT_EQ(f.control->selectedSegmentIndex(), c.selected) << c.x;
        EXPECT_EQ(f.changes.log, c.log) << c.x;
    }
    EXPECT_EQ(f.valueChangedActions, 0);
    f.control->delegate_ = nullptr;
    f.driver.press(CGPointMake(200, 120));
    f.driver.release(CGPointMake(200, 120));
    EXPECT_EQ(f.control->selectedSegmentIndex(), 1);
}

TEST(CQSegmentControlHDTest, ImageStyleDrawsNormalAndHighlightedPictures) {
    Fixture f;
    f.driver.saveScreenshot(::testing::TempDir() + "segment_0.png");
    EXPECT_EQ(rgb(f.driver.pixel(130, 120)), 0x0000ffu);  // segment 0 selected: blue
    EXPECT_EQ(rgb(f.driver.pixel(190, 120)), 0x00ff00u);  // segment 1: green
    f.driver.tapAt(CGPointMake(190, 120));
    f.driver.saveScreenshot(::testing::TempDir() + "segment_1.png");
    EXPECT_EQ(rgb(f.driver.pixel(130, 120)), 0xff0000u);
    EXPECT_EQ(rgb(f.driver.pixel(190, 120)), 0xffff00u);
    // Pictures sit at the rounded segment width (63) from the left, in their
    // own size: the 62-wide first picture leaves one column uncovered.
    EXPECT_EQ(rgb(f.driver.pixel(161, 120)), 0xff0000u);
    EXPECT_EQ(rgb(f.driver.pixel(162, 120)), 0xffffffu);
    EXPECT_EQ(rgb(f.driver.pixel(163, 120)), 0xffff00u);
}

TEST(CQSegmentControlHDTest, ItemOperations) {
    Fixture f;
    CQSegmentControlHD* c = f.control;
    c->setTitle("Photos", 0);
    EXPECT_EQ(c->items[0].title, "Photos");
    c->setTitle("ignored", 5);
    EXPECT_EQ(c->numberOfSegments(), 2);
    c->insertSegmentWithTitle("Front", 0, false);
    c->insertSegmentWithTitle("End", 3, false);
    ASSERT_EQ(c->numberOfSegments(), 4);
    EXPECT_EQ(c->items.front().title, "Front");
    EXPECT_EQ(c->items.back().title, "End");
    c->insertSegmentWithTitle("far", 9, false);
    EXPECT_EQ(c->numberOfSegments(), 4);
    c->removeSegmentAtIndex(0, false);
    EXPECT_EQ(c->items.front().title, "Photos");
    auto pic = solid(10, 10, UIColor::blackColor());
    c->setNormalImage(pic, 0);
    EXPECT_EQ(c->normalImageItems[0], pic);
    c->setHighlightedImage(pic, 2);
    EXPECT_EQ(c->highlightImageItems[2], pic);
    // Style-specific defaults appear on first read.
    EXPECT_EQ(c->font().pointSize(), 12);
    EXPECT_TRUE(c->font().isBold());
    EXPECT_EQ(c->selectedItemColor(), UIColor::whiteColor());
}

TEST(CQSegmentControlHDTest, NoSegmentsDrawNothingAndIgnoreTouches) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    screen->view()->setBackgroundColor(UIColor::blackColor());
    auto* c = new CQSegmentControlHD({}, CQSegmentControlHD::kImageStyle);
    c->setFrame(CGRectMake(0, 0, 100, 40));
    screen->view()->addSubview(c);
    driver.tapAt(CGPointMake(50, 20));
    EXPECT_EQ(c->selectedSegmentIndex(), UISegmentedControl::kNoSegment);
    EXPECT_EQ(rgb(driver.pixel(50, 20)), 0u);
}

TEST(CQSegmentControlHDTest, DrawnStyleShowsTheTitlesAndTheSelection) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    auto* c = new CQSegmentControlHD({{"Grid", nullptr}, {"List", nullptr}, {"Map", nullptr}}, 0);
    c->setFrame(CGRectMake(10, 100, 300, 36));
    c->setUnselectedItemColor(UIColor::darkGrayColor());
    c->setSelectedSegmentIndex(1);
    screen->view()->addSubview(c);
    driver.settle();
    driver.saveScreenshot(::testing::TempDir() + "segment_drawn.png");
    // The selected segment is tinted blue, the others are light.
    uint32_t sel = driver.pixel(160, 108), off = driver.pixel(60, 108);
    EXPECT_GT(sel >> 8 & 0xff, sel >> 24) << std::hex << sel;
    EXPECT_GT(off >> 24, 200u) << std::hex << off;
    Changes changes;
    c->delegate_ = &changes;
    driver.tapAt(CGPointMake(260, 118));
    EXPECT_EQ(changes.log, std::vector<std::string>{"1>2"});
    uint32_t now = driver.pixel(260, 108);
    EXPECT_GT(now >> 8 & 0xff, now >> 24);
}

}  // namespace
