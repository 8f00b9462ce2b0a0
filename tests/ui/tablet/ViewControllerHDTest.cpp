#include "ui/tablet/ViewControllerHD.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/core/ConnectionRecord.h"
#include "app/core/QvApplicationPreference.h"
#include "ui/common/HelpAndAboutViewController.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UISegmentedControl.h"
#include "ui/kit/UISwitch.h"
#include "ui/kit/UIWindow.h"
#include "ui/phone/DeviceMgmtController.h"
#include "support/TestArtifacts.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UITableViewCell.h"
#include "ui/tablet/FileMgmtControllerHD.h"
#include "ui/tablet/SysConfigurationViewControllerHD.h"
#include "ui/tablet/TabletLiveFixture.h"

using namespace lumora;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The tablet application in landscape with its home screen.
class ViewControllerHDTest : public test::TabletLiveFixture {
protected:
    void launchLandscape(const std::function<void()>& beforeLaunch = nullptr) {
        launch(beforeLaunch, false);
        if (HasFatalFailure()) return;
        ASSERT_TRUE(driver->rotate(UIInterfaceOrientation::LandscapeLeft));
        driver->settle();
    }
    bool shows(const std::string& text) const {
        const auto t = driver->visibleTexts();
        return std::find(t.begin(), t.end(), text) != t.end();
    }
    bool tap(const std::string& name) {
        const bool ok = driver->tap(name);
        driver->advance(0.5);
        return ok;
    }
    SysConfigurationViewControllerHD* settings() const {
        return dynamic_cast<SysConfigurationViewControllerHD*>(home->presentedViewController());
    }
    // Opens the settings from their home button.
    SysConfigurationViewControllerHD* openSettings() {
        EXPECT_TRUE(tap("recordViewBtn")) << driver->lastError();
        return settings();
    }
    // Stores preferences for the next launch.
    static void store(const std::function<void(QvApplicationPreference&)>& change) {
        QvApplicationPreference& prefs = QvApplicationPreference::sharedInstance();
        prefs.loadApplicationPreference();
        change(prefs);
        ASSERT_TRUE(prefs.saveApplicationPreference());
    }
};

TEST_F(ViewControllerHDTest, EveryHomeButtonOpensItsScreenWhichClosesBackToTheHomePage) {
    launchLandscape();
    driver->advance(1);
    EXPECT_EQ(home->presentedViewController(), nullptr) << "without skipping, the home page stays";
    EXPECT_FALSE(home->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation::Portrait));
    for (const char* text : {"Live view", "Local media", "Settings", "Help & feedback", "Recordings on device"})
        EXPECT_TRUE(shows(text)) << text << "\n" << driver->dumpTree();
    ASSERT_TRUE(driver->find("showTimePage"));
    EXPECT_TRUE(driver->find("showTimePage")->isHidden());

    struct Case {
        const char* button;
        std::function<bool(UIViewController*)> opened;
        std::function<void(UIViewController*)> close;
    };
    const Case cases[] = {
        {"liveViewBtn", [&](UIViewController* c) { return c == screen.get() && home->isOnLivePage(); },
         [&](UIViewController*) { ASSERT_TRUE(driver->tap("homeBtn")) << driver->lastError(); }},
        {"fileViewBtn", [](UIViewController* c) { return dynamic_cast<FileMgmtControllerHD*>(c) != nullptr; },
         [](UIViewController* c) { c->dismissViewControllerAnimated(true); }},
        {"recordViewBtn", [](UIViewController* c) { return dynamic_cast<SysConfigurationViewControllerHD*>(c) != nullptr; },
         [&](UIViewController*) { ASSERT_TRUE(driver->tap("cancelButton")) << driver->lastError(); }},
        {"helpBtn",
         [](UIViewController* c) {
             auto* nav = dynamic_cast<UINavigationController*>(c);
             return nav && dynamic_cast<HelpAndAboutViewController*>(nav->topViewController()) != nullptr;
         },
         [](UIViewController* c) {
             static_cast<HelpAndAboutViewController*>(static_cast<UINavigationController*>(c)->topViewController())
                 ->closeButtonTapped();
         }},
        {"remoterecordViewBtn",
         [](UIViewController* c) {
             auto* list = dynamic_cast<DeviceMgmtController*>(c);
             return list && list->mgmtType() == 1;
         },
         [](UIViewController* c) { static_cast<DeviceMgmtController*>(c)->closeButtonTapped(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        ASSERT_TRUE(tap(c.button)) << driver->lastError();
        UIViewController* shown = home->presentedViewController();
        ASSERT_NE(shown, nullptr);
        EXPECT_TRUE(c.opened(shown));
        driver->advance(0.5);
        driver->saveScreenshot(test::testArtifact(std::string("tablet-home-") + c.button + ".png"));
        EXPECT_FALSE(driver->isTappable(driver->find(c.button))) << "the screen covers the home page";
        c.close(shown);
        driver->advance(0.5);
        EXPECT_EQ(home->presentedViewController(), nullptr);
        EXPECT_FALSE(home->isOnLivePage());
        EXPECT_TRUE(driver->isTappable(driver->find(c.button)));
    }
    // The about button opens nothing; the live screen is the same one every time.
    LiveViewControllerHD* first = screen.get();
    ASSERT_TRUE(tap("aboutBtn")) << driver->lastError();
    EXPECT_EQ(home->presentedViewController(), nullptr);
    ASSERT_TRUE(tap("liveViewBtn"));
    EXPECT_EQ(home->presentedViewController(), first);
    // In landscape the panel stands at the right edge, the grid fills the rest.
    ASSERT_TRUE(first->rightPanel);
    EXPECT_EQ(first->rightPanel->frame().origin.x, 1024 - LiveViewControllerHD::kPanelWidth);
    EXPECT_EQ(grid().view()->frame().size.width, 1024 - LiveViewControllerHD::kPanelWidth);
    EXPECT_EQ(grid().view()->frame().size.height, 768);
    // Presenting again while it is up changes nothing.
    home->presentLiveView();
    home->presentConfView();
    EXPECT_EQ(home->presentedViewController(), first);
}

// The recordings' device list and the help list have the tablet's look:
// the dark background of the other tablet screens, light and larger texts.
TEST_F(ViewControllerHDTest, TheRecordingsListAndHelpTakeTheTabletsLook) {
    launchLandscape();
    auto luma = [](uint32_t px) { return (0.299 * (px >> 24) + 0.587 * ((px >> 16) & 0xFF) + 0.114 * ((px >> 8) & 0xFF)); };
    for (const char* button : {"remoterecordViewBtn", "helpBtn"}) {
        SCOPED_TRACE(button);
        ASSERT_TRUE(tap(button)) << driver->lastError();
        driver->advance(0.6);
        const QImage shot = driver->screenshot();
        // Below the rows, the background is dark.
        EXPECT_LT(luma(KitTestDriver::pixel(shot, 512, 700)), 80);
        auto* row = driver->find<UITableViewCell>(std::string(button) == "helpBtn" ? "helpRow0_0" : "deviceRow0");
        ASSERT_NE(row, nullptr);
        EXPECT_TRUE(row->textLabel()->textColor() == UIColor::whiteColor());
        EXPECT_GE(row->textLabel()->font().pointSize(), 18);
        const CGPoint inRow = row->pointInWindow(CGPoint{row->bounds().size.width - 60, 4});
        EXPECT_LT(luma(KitTestDriver::pixel(shot, static_cast<int>(inRow.x), static_cast<int>(inRow.y))), 80);
        UIViewController* shown = home->presentedViewController();
        ASSERT_NE(shown, nullptr);
        if (auto* list = dynamic_cast<DeviceMgmtController*>(shown)) list->closeButtonTapped();
        else shown->dismissViewControllerAnimated(false);
        driver->advance(0.6);
        ASSERT_EQ(home->presentedViewController(), nullptr);
    }
}

TEST_F(ViewControllerHDTest, TheBannerTurnsEveryThreeSecondsAndFollowsItsIndicator) {
    launchLandscape();
    UIScrollView* banner = home->scrollView;
    UIPageControl* dots = home->pageControl;
    ASSERT_TRUE(banner && dots);
    const CGFloat W = banner->frame().size.width;
    EXPECT_EQ(W, 1024);
    EXPECT_EQ(banner->contentSize().width, 3 * W);
    EXPECT_TRUE(home->isBannerTimerValid());
    const uint32_t firstPicture = driver->pixel(20, 150);
    // Pages 1, 2, then 0 again, one every 3 s; nothing in between.
    for (int expected : {1, 2, 0, 1}) {
        driver->advance(2.9);
        EXPECT_NE(dots->currentPage(), expected);
        driver->advance(0.1);
        EXPECT_EQ(dots->currentPage(), expected);
        EXPECT_EQ(banner->contentOffset().x, expected * W);
        if (expected == 1) {
            EXPECT_NE(driver->pixel(20, 150), firstPicture) << "another page is shown";
        } else if (expected == 0) {
            EXPECT_EQ(driver->pixel(20, 150), firstPicture);
        }
    }
    // A tap on the indicator's left half: one page back, the banner follows.
    const CGPoint left = dots->pointInWindow(CGPoint{20, 12});
    driver->tapAt(left);
    driver->advance(0.5);
    EXPECT_EQ(dots->currentPage(), 0);
    EXPECT_EQ(banner->contentOffset().x, 0);
    // The banner keeps turning while the live view covers the home page.
    ASSERT_TRUE(tap("liveViewBtn"));
    driver->advance(3);
    EXPECT_EQ(dots->currentPage(), 1);
    driver->saveScreenshot(::testing::TempDir() + "tablet_home_live.png");
}

TEST_F(ViewControllerHDTest, SkippingTheHomePageOpensTheLiveViewHalfASecondAfterLaunch) {
    launch([] { store([](QvApplicationPreference& p) { p.setSkipHomePage(true); }); }, false);
    EXPECT_EQ(home->presentedViewController(), nullptr);
    driver->advance(0.4);
    EXPECT_EQ(home->presentedViewController(), nullptr);
    driver->advance(0.1);
    EXPECT_EQ(home->presentedViewController(), screen.get());
    EXPECT_TRUE(home->isOnLivePage());
    driver->advance(0.5);
    EXPECT_TRUE(screen->isVisible());
    // Back home: the flag follows.
    screen->returnToHomePage(nullptr);
    driver->advance(0.5);
    EXPECT_FALSE(home->isOnLivePage());
    EXPECT_EQ(home->presentedViewController(), nullptr);
}

TEST_F(ViewControllerHDTest, AnAlarmOpensTheLiveViewAndPlaysItsChannelInTheFirstTile) {
    launchLandscape();
    // From the home page: the live view opens, tile 0 plays channel 3.
    ASSERT_TRUE(delegate->play(std::string("a|b|2|d|e|Gate")));
    driver->advance(0.5);
    EXPECT_EQ(home->presentedViewController(), screen.get());
    EXPECT_TRUE(home->isOnLivePage());
    ASSERT_TRUE(tile(0)->isBusy());
    EXPECT_EQ(tile(0)->channel(), 2);
    driver->advance(0.15);
    ASSERT_TRUE(waitPicture(tile(0))) << tile(0)->titleLabel()->text();
    driver->settle();
    EXPECT_EQ(tile(0)->titleLabel()->text(), "Gate ch03");
    // On the live page it only plays.
    ASSERT_TRUE(delegate->play(std::string("a|b|0|d|e|Gate")));
    driver->advance(0.15);
    EXPECT_EQ(home->presentedViewController(), screen.get());
    EXPECT_EQ(tile(0)->channel(), 0);
    // With the settings up, the alarm still reaches the live view.
    screen->returnToHomePage(nullptr);
    driver->advance(0.5);
    ASSERT_NE(openSettings(), nullptr);
    home->playDevice(gate, 1);
    driver->advance(0.5);
    EXPECT_EQ(home->presentedViewController(), screen.get());
    EXPECT_TRUE(home->isOnLivePage());
    EXPECT_EQ(tile(0)->channel(), 1);
    EXPECT_TRUE(tile(0)->isBusy());
    // No device: nothing at all.
    home->playDevice(nullptr, 0);
    EXPECT_EQ(tile(0)->channel(), 1);
}

TEST_F(ViewControllerHDTest, ActivationResumesTheSavedTilesOnlyOnTheLivePage) {
    launchLandscape([] {
        store([](QvApplicationPreference& p) {
            p.setLayoutStyle(1);
            p.setAutoPlay(true);
        });
    });
    auto& history = QvApplicationPreference::sharedInstance().connectionHistory();
    ASSERT_EQ(history.size(), 4u);
    history[0] = ConnectionRecord{gate->deviceId, 0};
    history[1] = ConnectionRecord{gate->deviceId, 3};
    // On the home page becoming active starts nothing.
    driver->resignActive();
    driver->becomeActive();
    driver->settle();
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(tile(i)->isBusy()) << i;
    // The live view resumes them when it is shown ...
    ASSERT_TRUE(tap("liveViewBtn"));
    EXPECT_TRUE(tile(0)->isBusy());
    EXPECT_TRUE(tile(1)->isBusy());
    ASSERT_TRUE(waitPicture(tile(1))) << tile(1)->titleLabel()->text();
    // ... a resign stops every tile, becoming active on the live page resumes them.
    driver->resignActive();
    driver->settle();
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(tile(i)->isBusy()) << i;
    driver->becomeActive();
    driver->settle();
    EXPECT_TRUE(tile(0)->isBusy());
    EXPECT_TRUE(tile(1)->isBusy());
    EXPECT_FALSE(tile(2)->isBusy());
    driver->advance(0.15);
    ASSERT_TRUE(waitPicture(tile(1))) << tile(1)->titleLabel()->text();
    driver->settle();
    EXPECT_EQ(tile(1)->titleLabel()->text(), "Gate ch04");
    // Back on the home page, the tiles stop and stay stopped.
    ASSERT_TRUE(tap("homeBtn")) << driver->lastError();
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(tile(i)->isBusy()) << i;
    driver->resignActive();
    driver->becomeActive();
    driver->settle();
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(tile(i)->isBusy()) << i;
}

TEST_F(ViewControllerHDTest, SettingsShowTheStoredChoicesCancelKeepsThemAndDoneStoresWhatIsShown) {
    launchLandscape([] {
        store([](QvApplicationPreference& p) {
            p.setLayoutStyle(1);
            p.setLivePreference(0);
            p.setIsFullScreen(false);
            p.setSkipHomePage(false);
            p.setAutoPlay(true);
        });
    });
    auto& prefs = QvApplicationPreference::sharedInstance();
    const std::string path = prefs.storePath();
    const std::string before = readFile(path);
    ASSERT_FALSE(before.empty());

    SysConfigurationViewControllerHD* config = openSettings();
    ASSERT_NE(config, nullptr);
    EXPECT_FALSE(config->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation::Portrait));
    // "Done" is the button that stores the settings.
    for (const char* text : {"Views", "Live preference", "Picture", "Skip home page", "Done", "Cancel"})
        EXPECT_TRUE(shows(text)) << text << "\n" << driver->dumpTree();
    ASSERT_TRUE(config->layoutSegment && config->preferenceSegment && config->modelSegment && config->skipHpageSwitch);
    // Auto play has its switch, showing the stored value.
    ASSERT_NE(config->autoPlaySwitch, nullptr);
    EXPECT_TRUE(shows("Resume live views")) << driver->dumpTree();
    EXPECT_TRUE(config->autoPlaySwitch->isOn());
    EXPECT_EQ(config->layoutSegment->numberOfSegments(), 5);
    EXPECT_EQ(config->layoutSegment->selectedSegmentIndex(), 1);
    EXPECT_EQ(config->preferenceSegment->selectedSegmentIndex(), 0);
    EXPECT_EQ(config->preferenceSegment->titleForSegmentAtIndex(1), "Quality");
    EXPECT_EQ(config->modelSegment->selectedSegmentIndex(), 0);
    EXPECT_EQ(config->modelSegment->titleForSegmentAtIndex(1), "Fill");
    EXPECT_FALSE(config->skipHpageSwitch->isOn());
    // The bar draws nothing: between its buttons the background shows as it
    // does one pattern tile (a row, 64 points) further down.
    EXPECT_EQ(driver->pixel(512, 10), driver->pixel(512, 74));
    // Each row sits on one stripe of the background: inside a row, beside
    // its label, the background is as at the same height in the top stripe.
    {
        const QImage shot = driver->screenshot();
        for (int r = 0; r < 4; ++r) {
            UITableViewCell* cell = config->settingTable->cellForRowAtIndexPath(NSIndexPath{0, r});
            ASSERT_NE(cell, nullptr);
            const CGPoint top = cell->pointInWindow(CGPoint{6, 0});
            ASSERT_EQ(cell->bounds().size.height, 64);
            for (int dy : {3, 32, 60})
                EXPECT_EQ(KitTestDriver::pixel(shot, static_cast<int>(top.x), static_cast<int>(top.y) + dy),
                          KitTestDriver::pixel(shot, static_cast<int>(top.x), dy))
                    << "row " << r << " at " << dy;
        }
    }

    // Cancel after changing every control: nothing is written.
    ASSERT_TRUE(driver->pickSegment("layoutSegment", 3)) << driver->lastError();
    ASSERT_TRUE(driver->pickSegment("preferenceSegment", 1)) << driver->lastError();
    ASSERT_TRUE(driver->pickSegment("modelSegment", 1)) << driver->lastError();
    ASSERT_TRUE(tap("skipHpageSwitch")) << driver->lastError();
    ASSERT_TRUE(tap("autoPlaySwitch")) << driver->lastError();
    ASSERT_TRUE(tap("cancelButton")) << driver->lastError();
    EXPECT_EQ(home->presentedViewController(), nullptr);
    EXPECT_EQ(prefs.layoutStyle(), 1);
    EXPECT_FALSE(prefs.isFullScreen());
    EXPECT_FALSE(prefs.skipHomePage());
    EXPECT_TRUE(prefs.autoPlay());
    EXPECT_EQ(readFile(path), before);

    // Done: the shown choices are stored; auto play, left as it was, stays on.
    config = openSettings();
    ASSERT_NE(config, nullptr);
    ASSERT_TRUE(driver->pickSegment("layoutSegment", 3));
    ASSERT_TRUE(driver->pickSegment("preferenceSegment", 1));
    ASSERT_TRUE(driver->pickSegment("modelSegment", 1));
    ASSERT_TRUE(tap("skipHpageSwitch"));
    ASSERT_TRUE(tap("doneButton")) << driver->lastError();
    EXPECT_EQ(home->presentedViewController(), nullptr);
    QvApplicationPreference stored;
    ASSERT_TRUE(stored.loadApplicationPreference());
    EXPECT_EQ(stored.layoutStyle(), 3);
    EXPECT_EQ(stored.connectionHistory().size(), 9u);
    EXPECT_EQ(stored.livePreference(), 1);
    EXPECT_TRUE(stored.isFullScreen());
    EXPECT_TRUE(stored.skipHomePage());
    EXPECT_TRUE(stored.autoPlay());
    // The live view lays its tiles out by the new style when shown.
    ASSERT_TRUE(tap("liveViewBtn"));
    EXPECT_EQ(grid().layoutMode(), 3);
    ASSERT_TRUE(tap("homeBtn"));

    // A style the config has no segment for: none selected, and Done keeps it.
    prefs.setLayoutStyle(5);
    config = openSettings();
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->layoutSegment->selectedSegmentIndex(), UISegmentedControl::kNoSegment);
    EXPECT_EQ(config->modelSegment->selectedSegmentIndex(), 1);
    EXPECT_TRUE(config->skipHpageSwitch->isOn());
    ASSERT_TRUE(tap("doneButton"));
    EXPECT_EQ(prefs.layoutStyle(), 5);
    driver->saveScreenshot(::testing::TempDir() + "tablet_settings.png");
}

}  // namespace
