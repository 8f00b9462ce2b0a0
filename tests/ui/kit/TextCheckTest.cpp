// The driver's text check: what a user sees of each text the toolkit draws.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UISegmentedControl.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UITableViewCell.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

struct Case {
    const char* what;
    std::function<void(UIView*)> build;
    const char* expected;  // a part of the one problem expected; empty: none
};

UILabel* label(UIView* parent, CGRect frame, const std::string& text, UIColor colour = UIColor::blackColor()) {
    auto* l = new UILabel(frame);
    l->setText(text);
    l->setTextColor(colour);
    l->setFont(UIFont::systemFontOfSize(15));
    parent->addSubview(l);
    return l;
}

class TextCheckTest : public ::testing::Test {
protected:
    std::vector<std::string> problemsOf(const std::function<void(UIView*)>& build) {
        KitTestDriver driver;
        auto c = std::make_shared<UIViewController>();
        driver.setRoot(c);
        c->view()->setBackgroundColor(UIColor::whiteColor());
        build(c->view());
        driver.settle();
        KitTestDriver::TextCheck check;
        check.checked = [](const std::string& t) { return t.rfind("user:", 0) != 0; };
        return driver.textProblems(check);
    }
};

TEST_F(TextCheckTest, FindsTextsCutCoveredCrowdedOrFaint) {
    const std::vector<Case> cases = {
        {"a label with room", [](UIView* v) { label(v, CGRectMake(10, 40, 200, 24), "Motion detection"); }, ""},
        {"an elided label",
         [](UIView* v) { label(v, CGRectMake(10, 40, 60, 24), "Motion detection"); }, "is cut short"},
        {"user data may elide",
         [](UIView* v) { label(v, CGRectMake(10, 40, 60, 24), "user: a very long device name"); }, ""},
        {"a clipped line (no ellipsis)",
         [](UIView* v) {
             label(v, CGRectMake(10, 40, 60, 24), "Motion detection")->setLineBreakMode(UILineBreakMode::Clip);
         },
         "is cut short"},
        {"wrapped lines taller than their room",
         [](UIView* v) {
             UILabel* l = label(v, CGRectMake(10, 40, 80, 20), "The device could not be added");
             l->setNumberOfLines(0);
         },
         "is cut short"},
        {"a label under a bar drawn after it",
         [](UIView* v) {
             label(v, CGRectMake(10, 40, 200, 24), "Motion detection");
             auto* bar = new UIView(CGRectMake(0, 55, 320, 44));  // over its lower third
             bar->setBackgroundColor(UIColor::darkGrayColor());
             v->addSubview(bar);
         },
         "is covered or clipped"},
        {"a label all but hidden under a panel slid over it is put away, not cut",
         [](UIView* v) {
             label(v, CGRectMake(10, 40, 200, 24), "Motion detection");
             auto* panel = new UIView(CGRectMake(0, 30, 320, 60));
             panel->setBackgroundColor(UIColor::darkGrayColor());
             v->addSubview(panel);
         },
         ""},
        {"a caption on a dark box over a bright picture",
         [](UIView* v) {
             UILabel* l = label(v, CGRectMake(10, 40, 200, 24), "Motion detection", UIColor::yellowColor());
             l->setTextBackingColor(UIColor::colorWithWhite(0, 0.75));
         },
         ""},
        {"the same caption without its box",
         [](UIView* v) { label(v, CGRectMake(10, 40, 200, 24), "Motion detection", UIColor::yellowColor()); },
         "has a contrast of"},
        {"a label pushed a third out of its superview",
         [](UIView* v) {
             auto* box = new UIView(CGRectMake(10, 40, 100, 30));
             v->addSubview(box);
             label(box, CGRectMake(60, 3, 120, 24), "Channels");
         },
         "is covered or clipped"},
        {"a label running into its neighbour",
         [](UIView* v) {
             label(v, CGRectMake(10, 40, 120, 24), "User name");
             label(v, CGRectMake(70, 40, 120, 24), "user: admin");
         },
         "runs into"},
        {"dark blue on black",
         [](UIView* v) {
             v->setBackgroundColor(UIColor::blackColor());
             label(v, CGRectMake(10, 40, 200, 24), "Channels", UIColor::colorWithRed(0, 0, 0.5, 1));
         },
         "has a contrast of"},
        {"user data may elide but must read",
         [](UIView* v) {
             v->setBackgroundColor(UIColor::blackColor());
             label(v, CGRectMake(10, 40, 200, 24), "user: Porch ch01", UIColor::colorWithRed(0, 0, 0.5, 1));
         },
         "has a contrast of"},
        {"white over a picture's bright and dark parts",
         [](UIView* v) {
             auto* dark = new UIView(CGRectMake(0, 30, 60, 40));
             dark->setBackgroundColor(UIColor::blackColor());
             v->addSubview(dark);
             label(v, CGRectMake(10, 40, 200, 24), "user: Porch ch01", UIColor::whiteColor());
         },
         "has a contrast of"},
        {"grey on grey",
         [](UIView* v) {
             v->setBackgroundColor(UIColor::colorWithWhite(0.6, 1));
             label(v, CGRectMake(10, 40, 200, 24), "Channels", UIColor::colorWithWhite(0.35, 1));
         },
         "has a contrast of"},
        {"white on a black backing over white",
         [](UIView* v) {
             UILabel* l = label(v, CGRectMake(10, 40, 200, 24), "Channels", UIColor::whiteColor());
             l->setBackgroundColor(UIColor::colorWithWhite(0, 0.7));
         },
         ""},
        {"a greyed-out button is not held to the contrast",
         [](UIView* v) {
             auto* b = new UIButton(CGRectMake(10, 40, 200, 30), UIButtonType::Custom);
             b->setTitle("Channels");
             b->setTitleColor(UIColor::colorWithWhite(0.85, 1), UIControlStateDisabled);
             b->setEnabled(false);
             v->addSubview(b);
         },
         ""},
        {"a faint label seen through a clear layer over the screen is still checked",
         [](UIView* v) {
             label(v, CGRectMake(10, 40, 200, 24), "Channels", UIColor::colorWithWhite(0.8, 1));
             auto* layer = new UIView(CGRectMake(0, 0, 320, 480));
             layer->setBackgroundColor(UIColor::clearColor());
             static_cast<UIView*>(v->parentWidget())->addSubview(layer);
         },
         "has a contrast of"},
        {"a faint label under an alert's dimming is out of sight",
         [](UIView* v) {
             label(v, CGRectMake(10, 40, 200, 24), "Channels", UIColor::colorWithWhite(0.8, 1));
             auto* dim = new UIView(CGRectMake(0, 0, 320, 480));
             dim->setBackgroundColor(UIColor::colorWithWhite(0, 0.4));
             static_cast<UIView*>(v->parentWidget())->addSubview(dim);
         },
         ""},
        {"a row's title and value on the blue of its selection",
         [](UIView* v) {
             auto* cell = new UITableViewCell(UITableViewCellStyle::Value1, "Row");
             cell->setFrame(CGRectMake(0, 40, 320, 44));
             cell->textLabel()->setText("Start time");
             cell->detailTextLabel()->setText("2026-12-11 00:00");
             v->addSubview(cell);
             cell->layoutSubviews();
             cell->setSelected(true, false);
         },
         ""},
        {"a segment title cut short",
         [](UIView* v) {
             auto* s = new UISegmentedControl({"1 channel", "16 channels", "Automatic"});
             s->setFrame(CGRectMake(10, 40, 120, 30));
             v->addSubview(s);
         },
         "is cut short"},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> problems = problemsOf(c.build);
        std::string all;
        for (const std::string& p : problems) all += "\n  " + p;
        if (std::string(c.expected).empty()) {
            EXPECT_TRUE(problems.empty()) << c.what << all;
        } else {
            ASSERT_FALSE(problems.empty()) << c.what;
            EXPECT_NE(problems[0].find(c.expected), std::string::npos) << c.what << all;
        }
    }
}

// An alert's long title and message wrap inside the box on a 320-point phone.
TEST_F(TextCheckTest, AnAlertsLongTitleAndMessageShowWhole) {
    KitTestDriver driver;
    auto c = std::make_shared<UIViewController>();
    driver.setRoot(c);
    c->view()->setBackgroundColor(UIColor::whiteColor());
    auto* alert = new UIAlertView("The device could not be added",
                                  "A device with this identifier is in the list already: change the one there, "
                                  "or give this one another identifier.",
                                  nullptr, "OK", {});
    alert->show();
    driver.settle();
    KitTestDriver::TextCheck check;
    check.checked = [](const std::string&) { return true; };
    std::string all;
    for (const std::string& p : driver.textProblems(check)) all += "\n  " + p;
    EXPECT_TRUE(all.empty()) << all;
}

TEST(SegmentWidths, FixedWidthsFirstTheRestShared) {
    KitTestDriver driver;
    UISegmentedControl s({"1", "4", "Automatic"});
    s.setFrame(CGRectMake(0, 0, 200, 30));
    s.setWidth(30, 0);
    s.setWidth(30, 1);
    EXPECT_EQ(s.rectForSegment(0).size.width, 30);
    EXPECT_EQ(s.rectForSegment(1).origin.x, 30);
    EXPECT_EQ(s.rectForSegment(2).origin.x, 60);
    EXPECT_EQ(s.rectForSegment(2).size.width, 140);
}

TEST(ContrastRatio, FollowsTheLuminanceFormula) {
    EXPECT_NEAR(KitTestDriver::contrastRatio(0x000000, 0xffffff), 21.0, 0.01);
    EXPECT_NEAR(KitTestDriver::contrastRatio(0x777777, 0xffffff), 4.48, 0.01);
    EXPECT_NEAR(KitTestDriver::contrastRatio(0x336699, 0x336699), 1.0, 0.001);
}

}  // namespace
