#include <gtest/gtest.h>

#include "ui/common/QvToastView.h"
#include "ui/common/QvToastViewHD.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

// A screen with one button that counts its taps.
class Screen : public UIViewController {
public:
    void viewDidLoad() override {
        auto* b = new UIButton(CGRectMake(20, 400, 120, 44));
        setViewName(b, "counter");
        b->setTitle("Tap");
        b->addTarget(this, [this](UIControl*, UIEvent*) { ++taps; }, UIControlEventTouchUpInside);
        view()->addSubview(b);
    }
    int taps = 0;
};

// A tap that leaves the clock where it is.
void tapNow(KitTestDriver& driver, CGPoint p) {
    driver.press(p);
    driver.release(p);
}

int toastsOn(UIView* v) {
    int n = 0;
    for (UIView* s : v->subviews())
        if (dynamic_cast<QvToastView*>(s)) ++n;
    return n;
}

TEST(QvToastViewTest, ShowsTwoSecondsBlockingTouchesThenFades) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    UIView* parent = screen->view();
    auto* toast = new QvToastView("Saved");
    toast->presentToastView(parent);
    driver.settle();
    EXPECT_EQ(toast->frame().size.width, 200);
    EXPECT_EQ(toast->frame().size.height, 60);
    // Centred on the view it covers.
    EXPECT_EQ(toast->center().x, parent->bounds().size.width / 2);
    EXPECT_EQ(toast->center().y, parent->bounds().size.height / 2);
    EXPECT_EQ(toast->textLabel()->text(), "Saved");

    tapNow(driver, CGPointMake(80, 422));
    EXPECT_EQ(screen->taps, 0) << "the covered screen ignores touches";
    driver.advance(1.99);
    EXPECT_EQ(toastsOn(parent), 1);
    EXPECT_FALSE(parent->isUserInteractionEnabled());
    driver.advance(0.02);  // 2.0 s: fading
    EXPECT_EQ(toastsOn(parent), 1);
    driver.advance(0.1);   // faded
    driver.settle();
    EXPECT_EQ(toastsOn(parent), 0);
    EXPECT_TRUE(parent->isUserInteractionEnabled());
    tapNow(driver, CGPointMake(80, 422));
    EXPECT_EQ(screen->taps, 1);
}

TEST(QvToastViewTest, OverlappingToastsKeepTheViewBlockedUntilTheLastGoes) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    UIView* parent = screen->view();
    (new QvToastView("first"))->presentToastView(parent);
    driver.advance(1.0);
    (new QvToastView("second"))->presentToastView(parent);
    driver.settle();
    EXPECT_EQ(toastsOn(parent), 2);
    driver.advance(1.2);  // the first has gone, the second shows until 3.0 + 0.1
    EXPECT_EQ(toastsOn(parent), 1);
    EXPECT_FALSE(parent->isUserInteractionEnabled());
    tapNow(driver, CGPointMake(80, 422));
    EXPECT_EQ(screen->taps, 0);
    driver.advance(1.0);
    EXPECT_EQ(toastsOn(parent), 0);
    EXPECT_TRUE(parent->isUserInteractionEnabled());
    tapNow(driver, CGPointMake(80, 422));
    EXPECT_EQ(screen->taps, 1);
}

TEST(QvToastViewTest, AViewThatIgnoredTouchesBeforeKeepsIgnoringThem) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    UIView* parent = screen->view();
    parent->setUserInteractionEnabled(false);
    (new QvToastView("x"))->presentToastView(parent);
    driver.advance(3);
    EXPECT_EQ(toastsOn(parent), 0);
    EXPECT_FALSE(parent->isUserInteractionEnabled());
}

TEST(QvToastViewTest, CentredOnAViewBelowABar) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    auto* content = new UIView(CGRectMake(0, 44, 320, 436));
    screen->view()->addSubview(content);
    auto* toast = new QvToastView("Saved");
    toast->presentToastView(content);
    driver.settle();
    // In the middle of the view it covers, not 44 points lower.
    EXPECT_EQ(toast->center().x, 160);
    EXPECT_EQ(toast->center().y, 218);
    EXPECT_EQ(toast->superview(), content);
    driver.advance(3);
}

TEST(QvToastViewTest, NullParentShowsNothingAndLongTextIsCut) {
    KitTestDriver driver;
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    auto* toast = new QvToastView(std::string(80, 'W'));
    toast->presentToastView(nullptr);
    driver.advance(3);
    EXPECT_EQ(toast->superview(), nullptr);
    const std::string shown = toast->textLabel()->displayedText();
    EXPECT_LT(shown.size(), 80u);
    EXPECT_NE(shown.find("…"), std::string::npos);
    // The stored text is the caller's own and leaves the label alone.
    toast->setText("other");
    EXPECT_EQ(toast->text(), "other");
    EXPECT_EQ(toast->textLabel()->text(), std::string(80, 'W'));
    delete toast;
}

TEST(QvToastViewTest, TabletToastSitsOnItsFixedPointAndShows) {
    KitTestDriver driver(KitTestDriver::Options{ScreenProfile::Tablet, 1, true});
    auto screen = std::make_shared<Screen>();
    driver.setRoot(screen);
    auto* toast = new QvToastViewHD("Deleted");
    toast->presentToastView(screen->view());
    driver.advance(0.5);
    EXPECT_EQ(toast->center().x, 512);
    EXPECT_EQ(toast->center().y, 403);
    driver.saveScreenshot(::testing::TempDir() + "toast_tablet.png");
    // The toast's dark panel and white text are there.
    uint32_t bg = driver.pixel(512 - 95, 403);
    EXPECT_LT(bg >> 24, 80u);
    driver.advance(2);
    EXPECT_EQ(toastsOn(screen->view()), 0);
}

}  // namespace
