#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/kit/UIButton.h"
#include "ui/kit/UIPageControl.h"
#include "ui/kit/UISegmentedControl.h"
#include "ui/kit/UISlider.h"
#include "ui/kit/UISwitch.h"
#include "ui/kit/UITextField.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

// Counts the control events a control sends.
struct Events {
    std::vector<std::string> seen;
    void watch(UIControl* c) {
        const std::pair<unsigned, const char*> names[] = {
            {UIControlEventTouchDown, "down"},       {UIControlEventTouchUpInside, "upInside"},
            {UIControlEventTouchUpOutside, "upOutside"}, {UIControlEventTouchCancel, "cancel"},
            {UIControlEventValueChanged, "value"},   {UIControlEventEditingChanged, "editing"},
            {UIControlEventEditingDidBegin, "begin"}, {UIControlEventEditingDidEndOnExit, "exit"},
        };
        for (auto [mask, name] : names)
            c->addTarget(this, [this, n = std::string(name)](UIControl*, UIEvent*) { seen.push_back(n); }, mask);
    }
};

class Screen : public UIViewController {};

TEST(ControlTest, ValuesSetInCodeSendNoEvent) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    UIView* root = screen->view();
    auto* slider = new UISlider(CGRectMake(10, 10, 200, 23));
    auto* sw = new UISwitch(CGRectMake(10, 50, 0, 0));
    auto* seg = new UISegmentedControl({"A", "B", "C"});
    auto* field = new UITextField(CGRectMake(10, 130, 200, 30));
    auto* pages = new UIPageControl(CGRectMake(10, 170, 200, 20));
    pages->setNumberOfPages(3);
    Events events;
    for (UIControl* c : std::vector<UIControl*>{slider, sw, seg, field, pages}) {
        root->addSubview(c);
        events.watch(c);
    }
    slider->setValue(0.5f);
    sw->setOn(true);
    seg->setSelectedSegmentIndex(2);
    field->setText("typed in code");
    pages->setCurrentPage(2);
    driver.settle();
    EXPECT_TRUE(events.seen.empty());
    EXPECT_EQ(slider->value(), 0.5f);
    EXPECT_TRUE(sw->isOn());
    EXPECT_EQ(seg->selectedSegmentIndex(), 2);
    EXPECT_EQ(field->text(), "typed in code");
    EXPECT_EQ(pages->currentPage(), 2);
}

TEST(ControlTest, UserActionsSendTheirEvents) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    UIView* root = screen->view();
    auto* sw = new UISwitch(CGRectMake(10, 50, 0, 0));
    setViewName(sw, "switch");
    auto* seg = new UISegmentedControl({"A", "B", "C"});
    seg->setFrame(CGRectMake(10, 90, 180, 30));
    setViewName(seg, "segments");
    auto* slider = new UISlider(CGRectMake(10, 10, 200, 23));
    root->addSubview(sw);
    root->addSubview(seg);
    root->addSubview(slider);
    Events swEvents, segEvents, sliderEvents;
    swEvents.watch(sw);
    segEvents.watch(seg);
    sliderEvents.watch(slider);

    ASSERT_TRUE(driver.tap("switch")) << driver.lastError();
    EXPECT_TRUE(sw->isOn());
    EXPECT_EQ(swEvents.seen, (std::vector<std::string>{"down", "upInside", "value"}));

    ASSERT_TRUE(driver.pickSegment("segments", 1)) << driver.lastError();
    EXPECT_EQ(seg->selectedSegmentIndex(), 1);
    // The same segment again changes nothing.
    ASSERT_TRUE(driver.pickSegment("segments", 1));
    EXPECT_EQ(std::count(segEvents.seen.begin(), segEvents.seen.end(), "value"), 1);

    driver.drag(slider->pointInWindow(slider->pointForValue(0)), slider->pointInWindow(slider->pointForValue(1)));
    EXPECT_FLOAT_EQ(slider->value(), 1.0f);
    EXPECT_GT(std::count(sliderEvents.seen.begin(), sliderEvents.seen.end(), "value"), 1);
}

TEST(ControlTest, ReleaseOutsideAndCancelAreTold) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    auto* button = new UIButton(CGRectMake(100, 100, 60, 40));
    screen->view()->addSubview(button);
    Events events;
    events.watch(button);
    // Dragged far away (beyond the 70-point slack) and let go: up-outside.
    driver.drag(CGPoint{130, 120}, CGPoint{300, 400});
    EXPECT_EQ(events.seen, (std::vector<std::string>{"down", "upOutside"}));
    EXPECT_FALSE(button->isHighlighted());
    events.seen.clear();
    // Within the slack it still counts as inside.
    driver.drag(CGPoint{130, 120}, CGPoint{200, 150});
    EXPECT_EQ(events.seen, (std::vector<std::string>{"down", "upInside"}));
}

TEST(ControlTest, HitTestOutsetWidensTheTouchArea) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    auto* button = new UIButton(CGRectMake(100, 100, 20, 20));
    screen->view()->addSubview(button);
    int taps = 0;
    button->addTarget(nullptr, [&](UIControl*, UIEvent*) { ++taps; }, UIControlEventTouchUpInside);
    struct Probe {
        CGPoint at;
        bool hits;
    };
    // Without outsets only the bounds count.
    driver.tapAt(CGPoint{95, 110});
    EXPECT_EQ(taps, 0);
    button->setHitTestOutsets(UIEdgeInsetsMake(10, 10, 10, 10));
    for (Probe p : {Probe{{95, 110}, true}, Probe{{91, 91}, true}, Probe{{129, 129}, true}, Probe{{89, 110}, false},
                    Probe{{110, 131}, false}}) {
        int before = taps;
        driver.tapAt(p.at);
        EXPECT_EQ(taps - before, p.hits ? 1 : 0) << p.at.x << "," << p.at.y;
        EXPECT_EQ(driver.window()->hitTest(p.at, nullptr) == button, p.hits);
    }
}

TEST(ControlTest, HiddenDisabledAndCoveredViewsCannotBeTapped) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    UIView* root = screen->view();
    auto make = [&](const char* name, CGFloat y) {
        auto* b = new UIButton(CGRectMake(10, y, 100, 40));
        setViewName(b, name);
        root->addSubview(b);
        return b;
    };
    make("hidden", 10)->setHidden(true);
    make("disabled", 60)->setEnabled(false);
    make("covered", 110);
    auto* cover = new UIView(CGRectMake(0, 100, 320, 60));
    setViewName(cover, "cover");
    root->addSubview(cover);
    make("faded", 170)->setAlpha(0.005);
    make("fine", 220);
    struct Want {
        const char* name;
        const char* error;
    };
    for (Want w : {Want{"hidden", "hidden"}, Want{"disabled", "disabled"}, Want{"covered", "covered"},
                   Want{"faded", "hidden"}, Want{"missing", "no view"}}) {
        EXPECT_FALSE(driver.tap(w.name)) << w.name;
        EXPECT_NE(driver.lastError().find(w.error), std::string::npos) << driver.lastError();
    }
    EXPECT_TRUE(driver.tap("fine")) << driver.lastError();
}

TEST(ControlTest, TextFieldEditsThroughItsDelegate) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    auto* field = new UITextField(CGRectMake(10, 100, 200, 30));
    setViewName(field, "name");
    field->setBorderStyle(UITextBorderStyle::RoundedRect);
    screen->view()->addSubview(field);
    struct Delegate : UITextFieldDelegate {
        bool allowBegin = false;
        int returns = 0;
        bool textFieldShouldBeginEditing(UITextField*) override { return allowBegin; }
        bool textFieldShouldReturn(UITextField* f) override {
            ++returns;
            f->resignFirstResponder();
            return true;
        }
    } delegate;
    field->delegate = &delegate;
    Events events;
    events.watch(field);
    ASSERT_TRUE(driver.tap("name"));
    EXPECT_FALSE(field->isEditing());
    delegate.allowBegin = true;
    ASSERT_TRUE(driver.tap("name"));
    EXPECT_TRUE(field->isEditing());
    ASSERT_TRUE(driver.typeText("cam1"));
    EXPECT_EQ(field->text(), "cam1");
    EXPECT_EQ(std::count(events.seen.begin(), events.seen.end(), "editing"), 4);
    ASSERT_TRUE(driver.pressReturn());
    EXPECT_EQ(delegate.returns, 1);
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(events.seen.back(), "exit");
    field->setSecureTextEntry(true);
    EXPECT_TRUE(std::find(driver.visibleTexts().begin(), driver.visibleTexts().end(), "cam1") ==
                driver.visibleTexts().end());
}

// A text wider than its field (a long device identifier) shows its first
// letters while nobody edits it, also after an edit ends; two texts with the
// same start then look the same on the field's left part.
TEST(ControlTest, LongTextShowsItsStartWhenNotEditing) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    auto* upper = new UITextField(CGRectMake(10, 100, 150, 30));
    auto* lower = new UITextField(CGRectMake(10, 150, 150, 30));
    setViewName(lower, "lower");
    for (UITextField* f : {upper, lower}) {
        f->setBorderStyle(UITextBorderStyle::RoundedRect);
        f->setTextAlignment(UITextAlignment::Center);
        screen->view()->addSubview(f);
    }
    upper->setText("LUMO-000002-YARDB-0123456789-A");
    lower->setText("LUMO-000002-YARDB-0123456789-WWWWWWWWWW");
    auto leftPartsMatch = [&] {
        driver.settle();
        const QImage shot = driver.screenshot();
        const qreal k = shot.width() / screen->view()->bounds().size.width;
        int inked = 0;
        for (int y = 105; y < 125; ++y)
            for (int x = 16; x < 70; ++x) {
                const uint32_t a = KitTestDriver::pixel(shot, int(x * k), int(y * k));
                const uint32_t b = KitTestDriver::pixel(shot, int(x * k), int((y + 50) * k));
                if (a != b) return false;
                if ((a >> 24) < 128) ++inked;  // dark red part: a letter
            }
        return inked > 0;
    };
    EXPECT_TRUE(leftPartsMatch());
    struct Delegate : UITextFieldDelegate {
        bool textFieldShouldReturn(UITextField* f) override { return f->resignFirstResponder(); }
    } delegate;
    lower->delegate = &delegate;
    ASSERT_TRUE(driver.tap("lower"));
    ASSERT_TRUE(lower->isEditing());
    ASSERT_TRUE(driver.typeText("W"));
    ASSERT_TRUE(driver.pressReturn());
    ASSERT_FALSE(lower->isEditing());
    EXPECT_TRUE(leftPartsMatch());
}

TEST(ControlTest, PageControlStepsByHalves) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    auto* pages = new UIPageControl(CGRectMake(60, 400, 200, 30));
    setViewName(pages, "pages");
    pages->setNumberOfPages(3);
    screen->view()->addSubview(pages);
    Events events;
    events.watch(pages);
    struct Step {
        CGFloat x;
        int page;
    };
    for (Step s : {Step{250, 1}, Step{250, 2}, Step{250, 2}, Step{70, 1}, Step{70, 0}, Step{70, 0}}) {
        driver.tapAt(CGPoint{s.x, 415});
        EXPECT_EQ(pages->currentPage(), s.page);
    }
    EXPECT_EQ(std::count(events.seen.begin(), events.seen.end(), "value"), 4);
}

}  // namespace

// Titles wider than their segment shrink to fit: the unselected segments'
// dark text never touches the segment's side borders, where a title too
// wide for its segment would be cut.
TEST(ControlTest, SegmentTitlesShrinkToTheirSegment) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    auto* seg = new UISegmentedControl({"4 channels", "8 channels", "16 channels"});
    seg->setFrame(CGRectMake(10, 10, 150, 30));
    screen->view()->addSubview(seg);
    driver.settle();
    const QImage shot = driver.screenshot();
    const double scale = static_cast<double>(shot.width()) / driver.window()->bounds().size.width;
    for (int s = 0; s < 3; ++s) {
        const CGRect r = seg->rectForSegment(s);
        for (int dx : {2, static_cast<int>(r.size.width) - 3}) {
            for (int y = 14; y < 36; ++y) {
                const QColor c = shot.pixelColor(static_cast<int>((10 + r.origin.x + dx) * scale), static_cast<int>(y * scale));
                EXPECT_GT(c.lightness(), 150) << "segment " << s << " column " << dx << " row " << y;
            }
        }
    }
}
