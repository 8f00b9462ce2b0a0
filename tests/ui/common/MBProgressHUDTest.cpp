#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "ui/common/MBProgressHUD.h"
#include "ui/common/MBRoundProgressView.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

class Screen : public UIViewController {};

class HiddenLog : public MBProgressHUDDelegate {
public:
    void hudWasHidden(MBProgressHUD*) override { ++count; }
    int count = 0;
};

int hudsOn(UIView* v) {
    int n = 0;
    for (UIView* s : v->subviews())
        if (dynamic_cast<MBProgressHUD*>(s)) ++n;
    return n;
}

struct Fixture {
    KitTestDriver driver;
    std::shared_ptr<Screen> screen = std::make_shared<Screen>();
    Fixture() { driver.setRoot(screen); }
    UIView* view() { return screen->view(); }
};

TEST(MBProgressHUDTest, NullViewIsTheOnlyException) {
    Fixture f;
    try {
        MBProgressHUD hud(nullptr);
        FAIL() << "no exception";
    } catch (const MBProgressHUDViewIsNillException& e) {
        EXPECT_STREQ(e.what(), "The view used in the MBProgressHUD initializer is nil.");
    }
    EXPECT_EQ(MBProgressHUD::showHUDAddedTo(nullptr, true, "x"), nullptr);
    EXPECT_FALSE(MBProgressHUD::hideHUDForView(nullptr, true));
    EXPECT_FALSE(MBProgressHUD::hideHUDForView(f.view(), true));
}

TEST(MBProgressHUDTest, ShowAndHideAnimatedOnTheClock) {
    Fixture f;
    HiddenLog log;
    MBProgressHUD* hud = MBProgressHUD::showHUDAddedTo(f.view(), true, "Registering");
    hud->delegate = &log;
    f.driver.advance(0.3);
    EXPECT_EQ(hud->alpha(), 1);
    EXPECT_EQ(hud->label()->text(), "Registering");
    EXPECT_TRUE(MBProgressHUD::hideHUDForView(f.view(), true));
    f.driver.advance(0.29);
    EXPECT_EQ(log.count, 0);
    EXPECT_EQ(hudsOn(f.view()), 1);
    f.driver.advance(0.02);
    EXPECT_EQ(log.count, 1);
    f.driver.settle();
    EXPECT_EQ(hudsOn(f.view()), 0);
}

TEST(MBProgressHUDTest, MinimumShowTimeDelaysTheHide) {
    Fixture f;
    HiddenLog log;
    auto* hud = new MBProgressHUD(f.view());
    f.view()->addSubview(hud);
    hud->delegate = &log;
    hud->minShowTime = 1.0;
    hud->show(true);
    f.driver.advance(0.4);
    hud->hide(true);
    f.driver.advance(0.59);
    EXPECT_EQ(hud->alpha(), 1) << "still inside the minimum time";
    f.driver.advance(0.02);  // the hide starts at 1.0 and lasts 0.3
    EXPECT_LT(hud->alpha(), 0.1);
    EXPECT_EQ(log.count, 0);
    f.driver.advance(0.3);
    EXPECT_EQ(log.count, 1);
    EXPECT_TRUE(hud->isFinished());
}

TEST(MBProgressHUDTest, GraceTimeHidesShortTasksAndShowsLongOnes) {
    Fixture f;
    // A task that ends within the grace time never shows the overlay.
    {
        HiddenLog log;
        auto* hud = new MBProgressHUD(f.view());
        f.view()->addSubview(hud);
        hud->delegate = &log;
        hud->graceTime = 0.5;
        hud->showWhileExecuting([] {}, false);
        ASSERT_TRUE(f.driver.waitUntil([&] { return log.count == 1; }));
        EXPECT_FALSE(hud->taskInProgress());
        EXPECT_LT(hud->showStarted(), 0) << "never shown";
        f.driver.advance(1);
        EXPECT_EQ(hud->alpha(), 0);
    }
    // A task still running when the grace time is over shows it; its end hides it.
    {
        HiddenLog log;
        auto* hud = new MBProgressHUD(f.view());
        f.view()->addSubview(hud);
        hud->delegate = &log;
        hud->graceTime = 0.5;
        std::atomic<bool> release{false};
        hud->showWhileExecuting([&] {
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }, false);
        f.driver.advance(0.49);
        EXPECT_EQ(hud->alpha(), 0);
        f.driver.advance(0.02);
        EXPECT_EQ(hud->alpha(), 1);
        EXPECT_TRUE(hud->taskInProgress());
        release = true;
        ASSERT_TRUE(f.driver.waitUntil([&] { return log.count == 1; }));
        EXPECT_EQ(hud->alpha(), 0);
    }
}

TEST(MBProgressHUDTest, ShowWithGraceTimeOutsideATaskShowsUnlessHiddenFirst) {
    Fixture f;
    auto* hud = new MBProgressHUD(f.view());
    f.view()->addSubview(hud);
    hud->graceTime = 0.5;
    hud->show(false);
    f.driver.advance(0.6);
    EXPECT_EQ(hud->alpha(), 1);
    hud->hide(false);
    hud->show(false);
    f.driver.advance(0.2);
    hud->hide(false);  // before the grace time: nothing ever shows
    f.driver.advance(1);
    EXPECT_EQ(hud->alpha(), 0);
}

TEST(MBProgressHUDTest, TaskThatThrowsStillHides) {
    Fixture f;
    HiddenLog log;
    MBProgressHUD* hud = MBProgressHUD::showHUDAddedTo(f.view(), false, "Working");
    hud->delegate = &log;
    hud->removeFromSuperViewOnHide = true;
    hud->showWhileExecuting([] { throw std::runtime_error("link dropped"); }, false);
    ASSERT_TRUE(f.driver.waitUntil([&] { return log.count == 1; }));
    f.driver.settle();
    EXPECT_EQ(hudsOn(f.view()), 0);
}

TEST(MBProgressHUDTest, AfterATaskAModeChangeLeavesOneIndicator) {
    Fixture f;
    HiddenLog log;
    auto* hud = new MBProgressHUD(f.view());
    f.view()->addSubview(hud);
    hud->delegate = &log;
    hud->showWhileExecuting([] {}, false);
    ASSERT_TRUE(f.driver.waitUntil([&] { return log.count == 1; }));
    hud->setMode(MBProgressHUDModeDeterminate);
    int indicators = 0;
    for (UIView* v : hud->subviews())
        if (v != hud->label() && v != hud->detailsLabel()) ++indicators;
    EXPECT_EQ(indicators, 1);
    EXPECT_TRUE(dynamic_cast<MBRoundProgressView*>(hud->indicator()));
}

TEST(MBProgressHUDTest, HideForViewTakesTheLastOverlay) {
    Fixture f;
    MBProgressHUD* first = MBProgressHUD::showHUDAddedTo(f.view(), false, "one");
    QPointer<MBProgressHUD> second = MBProgressHUD::showHUDAddedTo(f.view(), false, "two");
    EXPECT_TRUE(MBProgressHUD::hideHUDForView(f.view(), false));
    f.driver.settle();
    ASSERT_EQ(hudsOn(f.view()), 1);
    EXPECT_EQ(first->alpha(), 1);
    EXPECT_TRUE(second.isNull());
}

TEST(MBProgressHUDTest, ModesAndLabelLayout) {
    Fixture f;
    auto* hud = new MBProgressHUD(f.view());
    f.view()->addSubview(hud);
    EXPECT_EQ(hud->indicator()->frame().size.width, 37);
    // Progress set outside the dial mode is kept, shown once the dial is there.
    hud->setProgress(0.25f);
    hud->setMode(MBProgressHUDModeDeterminate);
    auto* dial = dynamic_cast<MBRoundProgressView*>(hud->indicator());
    ASSERT_TRUE(dial);
    EXPECT_FLOAT_EQ(dial->progress(), 0.25f);
    hud->setProgress(0.5f);
    EXPECT_FLOAT_EQ(dial->progress(), 0.5f);
    // Custom view mode without a custom view: a spinner; with one, that view.
    hud->setMode(MBProgressHUDModeCustomView);
    EXPECT_FALSE(dynamic_cast<MBRoundProgressView*>(hud->indicator()));
    auto* custom = new UIView(CGRectMake(0, 0, 50, 30));
    hud->setCustomView(custom);
    EXPECT_EQ(hud->indicator(), custom);

    // A label wider than the bounds less 40 is laid out bounds - 80 wide.
    hud->setLabelText(std::string(120, 'M'));
    hud->layoutSubviews();
    EXPECT_EQ(hud->label()->frame().size.width, 320 - 80);
    EXPECT_EQ(hud->width(), 320 - 40);
    // A details text narrower than the width leaves the width as it is.
    hud->setLabelText("Wait");
    hud->layoutSubviews();
    float w = hud->width();
    hud->setDetailsLabelText("a little wider than wait");
    hud->layoutSubviews();
    EXPECT_EQ(hud->width(), w > hud->detailsLabel()->frame().size.width ? w : hud->detailsLabel()->frame().size.width + 40);
    EXPECT_GT(hud->detailsLabel()->frame().origin.y, hud->label()->frame().origin.y);

    // Text set from another thread arrives on the main thread.
    std::thread([hud] { hud->setLabelText("from a worker"); }).join();
    f.driver.settle();
    hud->show(false);
    f.driver.settle();
    EXPECT_EQ(hud->label()->text(), "from a worker");
    f.driver.saveScreenshot(::testing::TempDir() + "hud.png");
    // The dark panel around the centre.
    uint32_t px = f.driver.pixel(160 - hud->width() / 2 + 12, 240);
    EXPECT_LT(px >> 24, 80u);
}

}  // namespace
