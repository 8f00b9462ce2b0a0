#include "ui/tablet/LiveViewControllerHD.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/AppDelegateHD.h"
#include "app/DevicePreConnector.h"
#include "app/core/ConnectionRecord.h"
#include "app/core/FileManager.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "base/link/DataController.h"
#include "base/network/NETStatusObj.h"
#include "base/network/Reachability.h"
#include "platform/Application.h"
#include "platform/Config.h"
#include "platform/net/FakeReachabilityProvider.h"
#include "platform/runloop/RunLoop.h"
#include "support/TempDir.h"
#include "support/TestArtifacts.h"
#include "tools/relay-emulator/LanSearchResponder.h"
#include "ui/common/ButtonLook.h"
#include "ui/common/PrintedQRCode.h"
#include "ui/common/UIDeviceAddViewController.h"
#include "ui/common/DeviceSearchingViewController.h"
#include "ui/common/GLVideoView.h"
#include "demo/EmulatorWorld.h"
#include "ui/host/ScreenFactory.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIPageControl.h"
#include "ui/kit/UIPickerView.h"
#include "ui/kit/UIPopoverController.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIWindow.h"
#include "ui/common/ZBarReaderViewController.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/tablet/TabletLiveFixture.h"

using namespace lumora;

namespace {

class LiveViewControllerHDTest : public test::TabletLiveFixture {};

TEST_F(LiveViewControllerHDTest, ChannelsStartedFromThePanelShowPicturesAndAreRemembered) {
    launch();
    grid().setLayoutMode(1);
    toggle(0, 0);
    toggle(0, 1);
    ASSERT_TRUE(waitPicture(tile(0))) << tile(0)->titleLabel()->text();
    ASSERT_TRUE(waitPicture(tile(1))) << tile(1)->titleLabel()->text();
    driver->settle();
    EXPECT_EQ(tile(0)->titleLabel()->text(), "Gate ch01");
    EXPECT_EQ(tile(1)->titleLabel()->text(), "Gate ch02");
    const auto& h = QvApplicationPreference::sharedInstance().connectionHistory();
    ASSERT_GE(h.size(), 2u);
    EXPECT_EQ(h[0].deviceId, gate->deviceId);
    EXPECT_EQ(h[0].channel, 0);
    EXPECT_EQ(h[1].channel, 1);
    // The panel mirrors the busy tiles; unticking stops that tile only.
    EXPECT_TRUE(signal(0, 0)->isSelected());
    toggle(0, 0);
    EXPECT_FALSE(tile(0)->isBusy());
    EXPECT_TRUE(tile(1)->isBusy());
    EXPECT_FALSE(signal(0, 0)->isSelected());
    EXPECT_TRUE(signal(0, 1)->isSelected());
}

TEST_F(LiveViewControllerHDTest, LayoutButtonsSwitchTheGridAndTheHistoryLength) {
    launch();
    secondPage();
    const std::pair<const char*, int> cases[] = {
        {"oneViewModeBtn", 1}, {"fourViewModeBtn", 4}, {"sixViewModeBtn", 6}, {"nineViewModeBtn", 9}, {"sixtnViewModeBtn", 16}};
    // The button of the layout in use is the one that looks on.
    std::map<std::string, QImage> offLook;
    for (const auto& [name, tiles] : cases) offLook[name] = test::lookOf(*driver, button(name));
    for (const auto& [name, tiles] : cases) {
        ASSERT_TRUE(tap(name)) << name << " " << driver->lastError();
        driver->advance(0.6);
        EXPECT_EQ(static_cast<int>(grid().curShowingViewIds().size()), tiles) << name;
        EXPECT_EQ(QvApplicationPreference::sharedInstance().connectionHistory().size(), static_cast<size_t>(tiles)) << name;
        for (const auto& [other, n] : cases) {
            const QImage look = test::lookOf(*driver, button(other));
            if (std::string(other) == name) {
                EXPECT_TRUE(button(other)->isSelected()) << name;
                EXPECT_GT(test::shareOf(look, test::isOnBlue), 0.4) << name;
            } else {
                EXPECT_FALSE(button(other)->isSelected()) << name << " " << other;
                EXPECT_LT(test::shareOf(look, test::isOnBlue), 0.02) << name << " " << other;
            }
        }
    }
    // A layout set without the buttons (the settings, auto play) marks its button too.
    grid().setLayoutMode(1);
    driver->settle();
    EXPECT_TRUE(button("fourViewModeBtn")->isSelected());
    EXPECT_FALSE(button("sixtnViewModeBtn")->isSelected());
    // Every control has its pressed image named after it.
    EXPECT_NE(button("talkBtn")->backgroundImageForState(UIControlStateHighlighted), nullptr);
}

// The dots under the control strip turn it: a tap on their right half shows
// the layout page, on their left half the pan/tilt page again.
TEST_F(LiveViewControllerHDTest, TheStripsDotsTurnTheStrip) {
    launch();
    auto* dots = driver->find<UIPageControl>("pageControl");
    auto* strip = driver->find<UIScrollView>("controlStrip");
    ASSERT_NE(dots, nullptr);
    ASSERT_NE(strip, nullptr);
    const CGRect r = dots->convertRectToView(dots->bounds(), nullptr);
    const CGFloat midY = r.origin.y + r.size.height / 2;
    EXPECT_FALSE(driver->isTappable(button("sixViewModeBtn")));
    driver->tapAt(CGPoint{r.origin.x + r.size.width * 0.75, midY});
    driver->advance(1);
    EXPECT_EQ(dots->currentPage(), 1);
    EXPECT_EQ(strip->contentOffset().x, strip->frame().size.width);
    EXPECT_TRUE(driver->isTappable(button("sixViewModeBtn")));
    EXPECT_FALSE(driver->isTappable(button("upBtn")));
    driver->tapAt(CGPoint{r.origin.x + r.size.width * 0.25, midY});
    driver->advance(1);
    EXPECT_EQ(dots->currentPage(), 0);
    EXPECT_EQ(strip->contentOffset().x, 0);
    EXPECT_TRUE(driver->isTappable(button("upBtn")));
}

TEST_F(LiveViewControllerHDTest, OneListenerAndOneTalkerAtATime) {
    launch();
    grid().setLayoutMode(1);
    toggle(0, 0);
    toggle(0, 1);
    ASSERT_TRUE(waitPicture(tile(0)));
    ASSERT_TRUE(waitPicture(tile(1)));
    ASSERT_TRUE(driver->waitUntil([&] { return tile(0)->dataController()->isDeviceHasAudio() && tile(1)->dataController()->isDeviceHasAudio(); }));
    secondPage();
    select(tile(0));
    ASSERT_EQ(screen->selectedTile(), tile(0));
    const QImage voiceOff = test::lookOf(*driver, button("voiceBtn"));
    const QImage talkOff = test::lookOf(*driver, button("talkBtn"));
    const QImage recordOff = test::lookOf(*driver, button("recordBtn"));
    ASSERT_TRUE(tap("voiceBtn"));
    EXPECT_TRUE(tile(0)->isStartAudio());
    EXPECT_TRUE(button("voiceBtn")->isSelected());
    const QImage voiceOn = test::lookOf(*driver, button("voiceBtn"));
    EXPECT_NE(voiceOn, voiceOff);
    EXPECT_GT(test::shareOf(voiceOn, test::isOnBlue), 0.4);
    EXPECT_LT(test::shareOf(voiceOff, test::isOnBlue), 0.02);
    // Recording shows unmistakably: the button turns red, and back.
    ASSERT_TRUE(tap("recordBtn"));
    EXPECT_EQ(tile(0)->state(), 2);
    driver->saveScreenshot(test::testArtifact("tablet-listening-recording.png"));
    const QImage recordOn = test::lookOf(*driver, button("recordBtn"));
    EXPECT_GT(test::shareOf(recordOn, test::isRecordingRed), 0.4);
    EXPECT_LT(test::shareOf(recordOff, test::isRecordingRed), 0.02);
    ASSERT_TRUE(tap("recordBtn"));
    EXPECT_EQ(tile(0)->state(), 1);
    EXPECT_EQ(test::lookOf(*driver, button("recordBtn")), recordOff);
    select(tile(1));
    ASSERT_EQ(screen->selectedTile(), tile(1));
    EXPECT_FALSE(button("voiceBtn")->isSelected()) << "the buttons follow the selected tile";
    ASSERT_TRUE(tap("voiceBtn"));
    EXPECT_FALSE(tile(0)->isStartAudio());
    EXPECT_TRUE(tile(1)->isStartAudio());
    EXPECT_TRUE(button("voiceBtn")->isSelected());

    // Talk on tile 0, then on tile 1: only one talks, and it listens too.
    select(tile(0));
    ASSERT_TRUE(tap("talkBtn"));
    ASSERT_TRUE(driver->waitUntil([&] { return tile(0)->isStartTalk(); }));
    select(tile(1));
    ASSERT_TRUE(tap("talkBtn"));
    ASSERT_TRUE(driver->waitUntil([&] { return tile(1)->isStartTalk(); }));
    driver->settle();
    const QImage talkOn = test::lookOf(*driver, button("talkBtn"));
    EXPECT_NE(talkOn, talkOff);
    EXPECT_GT(test::shareOf(talkOn, test::isOnBlue), 0.4);
    EXPECT_FALSE(tile(0)->isStartTalk());
    EXPECT_FALSE(tile(0)->isStartAudio());
    EXPECT_TRUE(tile(1)->isStartAudio());
    EXPECT_EQ(grid().findTalkingViewControllerHD(), tile(1));
    EXPECT_TRUE(button("talkBtn")->isSelected());
    EXPECT_TRUE(button("voiceBtn")->isSelected());
    // Talk off: listening goes on, as the listen button had switched it on.
    ASSERT_TRUE(tap("talkBtn"));
    EXPECT_FALSE(tile(1)->isStartTalk());
    EXPECT_TRUE(tile(1)->isStartAudio());

    // Stop all: every tile idle.
    ASSERT_TRUE(tap("stopAllBtn"));
    EXPECT_EQ(screen->numOfDvcToStop(), 2);
    for (int i = 0; i < 16; ++i) EXPECT_FALSE(tile(i)->isBusy()) << i;
}

TEST_F(LiveViewControllerHDTest, PanPressReachesTheCamera) {
    launch();
    toggle(0, 0);
    ASSERT_TRUE(waitPicture(tile(0)));
    select(tile(0));
    firstPage();
    const long before = world.emulator(0).stats().ptzCommands;
    ASSERT_TRUE(tap("leftBtn"));
    EXPECT_TRUE(driver->waitUntil([&] { return world.emulator(0).stats().ptzCommands > before; }));
}

TEST_F(LiveViewControllerHDTest, TouchOnATileOpensItsOwnDevicesSectionWhateverTheIds) {
    launch();
    // Ids that do not run 1, 2, … in list order: "Yard" first in the list.
    auto& mgr = QvDeviceManager::sharedInstance();
    auto yard = mgr.deviceWithName("Yard");
    ASSERT_TRUE(yard);
    mgr.removeDevice(gate);
    mgr.addDevice(gate);
    screen->dvcMgmtController()->reloadDeviceTable(true);
    driver->settle();
    const auto devices = mgr.devices();
    int section = -1;
    for (size_t s = 0; s < devices.size(); ++s)
        if (devices[s] == gate) section = static_cast<int>(s);
    ASSERT_GE(section, 0);
    ASSERT_NE(section, gate->deviceId - 1);
    toggle(section, 2);
    ASSERT_TRUE(waitPicture(tile(0)));
    panel().closeAllSesionHeadView();
    ASSERT_FALSE(panel().isSectionOpen(section));
    select(tile(0));
    EXPECT_TRUE(panel().isSectionOpen(section));
    for (int s = 0; s < panel().sectionCount(); ++s)
        if (s != section) {
            EXPECT_FALSE(panel().isSectionOpen(s)) << s;
        }
}

// A touch on a tile opens its device in the panel with the device's header
// in sight (not only the channel's row), also after a drag; a touch on an
// empty tile leaves the panel as it is.
TEST_F(LiveViewControllerHDTest, TouchingATileKeepsItsDevicesHeaderInSight) {
    launch([] {
        // Enough devices after Gate for the panel to scroll.
        for (int i = 0; i < 10; ++i) {
            auto d = std::make_shared<Device>();
            d->name = "Spare" + std::to_string(i);
            d->deviceConType = 1;
            d->address = "127.0.0.254";
            d->mediaPort = 1;
            d->channelNum = 2;
            QvDeviceManager::sharedInstance().addDevice(d);
        }
    });
    screen->dvcMgmtController()->reloadDeviceTable(true);
    driver->settle();
    const auto devices = QvDeviceManager::sharedInstance().devices();
    const int g = static_cast<int>(std::find(devices.begin(), devices.end(), gate) - devices.begin());
    ASSERT_LT(g, 2) << "Gate comes before the spares";
    const std::string section = std::to_string(g);
    grid().setLayoutMode(1);
    toggle(g, 3);
    ASSERT_TRUE(tile(0)->isBusy());
    auto headerInSight = [&] {
        UIView* header = driver->find("sectionHeader" + section);
        return header && driver->isTappable(header);
    };
    panel().closeAllSesionHeadView();
    driver->settle();
    select(tile(0));
    ASSERT_TRUE(panel().isSectionOpen(g));
    EXPECT_TRUE(headerInSight()) << "after a touch on the tile";
    EXPECT_TRUE(driver->isTappable(driver->find("panelChannel" + section + "_3"))) << "the channel's row too";
    // An empty tile: the open device stays open and in sight.
    select(tile(2));
    EXPECT_TRUE(panel().isSectionOpen(g));
    EXPECT_TRUE(headerInSight()) << "after a touch on an empty tile";
    // A drag of the playing tile onto another.
    const CGRect from = tile(0)->view()->bounds(), to = tile(3)->view()->bounds();
    driver->drag(tile(0)->view()->convertPointToView(CGPoint{from.size.width / 2, from.size.height / 2}, nullptr),
                 tile(3)->view()->convertPointToView(CGPoint{to.size.width / 2, to.size.height / 2}, nullptr));
    driver->advance(0.6);
    EXPECT_TRUE(panel().isSectionOpen(g));
    EXPECT_TRUE(headerInSight()) << "after a drag";
}

TEST_F(LiveViewControllerHDTest, UntickingAChannelWhoseTileFailedLeavesTheOtherTilesPlaying) {
    launch();
    grid().setLayoutMode(1);
    for (int c = 0; c < 4; ++c) toggle(0, c);
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(driver->waitUntil([&] { return tile(i)->state() == 1 || tile(i)->state() == 4; })) << i;
    select(tile(2));
    // Tile 0 lost its binding as a failed tile does.
    tile(0)->setDeviceId(-1);
    screen->ChannelViewControllerHDClickChannel(screen->dvcMgmtController(), 0, gate->deviceId, false);
    driver->settle();
    for (int i = 1; i < 4; ++i) EXPECT_TRUE(tile(i)->isBusy()) << i;
}

TEST_F(LiveViewControllerHDTest, AutoPlayResumesTheHistoryAfterResignAndBecomeActive) {
    launch([] {
        auto& prefs = QvApplicationPreference::sharedInstance();
        prefs.setLayoutStyle(1);
        prefs.setAutoPlay(true);
    });
    toggle(0, 0);
    toggle(0, 3);
    ASSERT_TRUE(waitPicture(tile(1)));
    driver->resignActive();
    driver->settle();
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(tile(i)->isBusy()) << i;
    driver->becomeActive();
    driver->settle();
    EXPECT_TRUE(tile(0)->isBusy());
    EXPECT_TRUE(tile(1)->isBusy());
    EXPECT_FALSE(tile(2)->isBusy());
    driver->advance(0.15);  // the tiles' delayed starts
    ASSERT_TRUE(waitPicture(tile(1))) << tile(1)->titleLabel()->text();
    driver->settle();
    EXPECT_EQ(tile(1)->titleLabel()->text(), "Gate ch04");
    // Auto play off: becoming active starts nothing.
    QvApplicationPreference::sharedInstance().setAutoPlay(false);
    driver->resignActive();
    driver->settle();
    driver->becomeActive();
    driver->settle();
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(tile(i)->isBusy()) << i;
}

// With auto play on, a screen opened over the live view and closed again
// (the QR reader cancelled at once, the home page and back) brings the tiles
// shown last back; with it off they stay stopped.
TEST_F(LiveViewControllerHDTest, WithAutoPlayOnTheTilesComeBackAfterAnotherScreenCloses) {
    launch([] {
        auto& prefs = QvApplicationPreference::sharedInstance();
        prefs.setLayoutStyle(1);
        prefs.setAutoPlay(true);
    });
    toggle(0, 0);
    toggle(0, 2);
    ASSERT_TRUE(waitPicture(tile(1)));
    auto backAndPlaying = [&](const char* after) {
        driver->advance(0.15);  // the tiles' delayed starts
        for (int i : {0, 1}) {
            EXPECT_TRUE(tile(i)->isBusy()) << after << " " << i;
            EXPECT_TRUE(waitPicture(tile(i))) << after << " " << i << ": " << tile(i)->titleLabel()->text();
        }
        EXPECT_FALSE(tile(2)->isBusy()) << after;
        driver->settle();
        EXPECT_EQ(tile(1)->titleLabel()->text(), "Gate ch03") << after;
    };
    // The QR reader, cancelled at once.
    screen->popUpCameraForScanningTDCode(screen->dvcMgmtController());
    driver->advance(0.5);
    ASSERT_NE(screen->presentedViewController(), nullptr);
    ASSERT_TRUE(tap("cancelButton")) << driver->lastError();
    ASSERT_TRUE(driver->waitUntil([&] { return screen->presentedViewController() == nullptr; }));
    driver->advance(0.5);
    backAndPlaying("the QR reader");
    // The home page, then the live view again.
    ASSERT_TRUE(tap("homeBtn")) << driver->lastError();
    driver->advance(0.6);
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(tile(i)->isBusy()) << i;
    ASSERT_TRUE(tap("liveViewBtn")) << driver->lastError();
    driver->advance(0.6);
    backAndPlaying("the home page");
}

TEST_F(LiveViewControllerHDTest, AChannelIsRememberedInOneSlotOnlyAndNotBeyondTheLayout) {
    launch();
    auto& prefs = QvApplicationPreference::sharedInstance();
    grid().setLayoutMode(4);
    auto& h = prefs.connectionHistory();
    ASSERT_EQ(h.size(), 16u);
    h[5] = ConnectionRecord{gate->deviceId, 0};  // an old slot of the same channel
    toggle(0, 0);
    EXPECT_EQ(h[5].deviceId, -1);
    EXPECT_EQ(h[5].channel, -1);
    EXPECT_EQ(h[0].deviceId, gate->deviceId);
    EXPECT_EQ(h[0].channel, 0);
    // One tile shown (busy) with tile 1 selected: a channel started there
    // plays but is not remembered.
    grid().setLayoutMode(1);
    select(tile(1));
    grid().setLayoutMode(0);
    ASSERT_EQ(h.size(), 1u);
    ASSERT_TRUE(tile(0)->isBusy());
    screen->ChannelViewControllerHDClickChannel(screen->dvcMgmtController(), 1, gate->deviceId, true);
    driver->advance(0.15);
    EXPECT_TRUE(tile(1)->isBusy());
    EXPECT_EQ(h.size(), 1u);
    EXPECT_NE(h[0].channel, 1);
}

TEST_F(LiveViewControllerHDTest, TheAddModePickerOpensFromThePanelAndReportsTheChoice) {
    launch();
    struct Watch : UIPopoverControllerDelegate {
        int dismissed = 0;
        void popoverControllerDidDismissPopover(UIPopoverController*) override { ++dismissed; }
    };
    screen->showPopover(screen->dvcMgmtController()->view(), CGRect{{10, 10}, {40, 40}}, 2);
    driver->settle();
    ASSERT_TRUE(screen->popover()->isPopoverVisible());
    EXPECT_EQ(screen->picker()->selectedRowInComponent(0), 2);
    EXPECT_EQ(screen->picker()->numberOfRowsInComponent(0), 3);
    screen->pickerHide();
    driver->advance(0.5);
    EXPECT_FALSE(screen->popover()->isPopoverVisible());
    // OK: dismissed at once, and the panel is told so it can act on the row.
    screen->showPopover(screen->dvcMgmtController()->view(), CGRect{{10, 10}, {40, 40}}, 0);
    Watch watch;
    screen->popover()->delegate = &watch;
    screen->confirmPickView();
    EXPECT_FALSE(screen->popover()->isPopoverVisible());
    EXPECT_EQ(watch.dismissed, 1);
    screen->popover()->delegate = nullptr;
}

// The add button's picker as a user meets it: the whole wheel shows inside
// the popover, turns under a tap, a drag and the mouse wheel, OK starts the
// row chosen, and Cancel, a tap outside or a tap on the popover's own
// background start nothing.
TEST_F(LiveViewControllerHDTest, TheAddPickerIsTurnedByTouchAndOnlyOkActsOnTheChosenRow) {
    launch();
    Config::shared().lanGroup = "127.0.0.33";
    relayemu::LanSearchResponder lan("127.0.0.33", 0);
    ASSERT_TRUE(lan.ok());
    Config::shared().lanPort = lan.port();
    DeviceMgmtControllerHD& panel = *screen->dvcMgmtController();
    UIPickerView* picker = screen->picker();
    ASSERT_NE(picker, nullptr);

    auto open = [&] {
        ASSERT_TRUE(tap("addDeviceBtn")) << driver->lastError();
        ASSERT_TRUE(screen->popover()->isPopoverVisible());
        ASSERT_EQ(picker->selectedRowInComponent(0), 0);
    };
    // The window point of the picker's band moved by `rows` rows.
    auto rowPoint = [&](int rows) {
        const CGRect b = picker->bounds();
        return picker->convertPointToView(CGPoint{b.size.width / 2, b.size.height / 2 + 44.0 * rows}, nullptr);
    };
    auto barItem = [&](const std::string& name) {
        return screen->popover()->contentViewController()->view()->viewWithName(name);
    };
    // Nothing started: no screen over the live view, the panel on its list.
    auto nothingStarted = [&](const char* how) {
        driver->advance(0.6);
        EXPECT_EQ(screen->presentedViewController(), nullptr) << how;
        EXPECT_EQ(panel.curStatus(), DeviceMgmtControllerHD::kList) << how;
    };

    open();
    // The whole picker lies inside the popover's box, and each of its three
    // rows is picker under the finger.
    const CGRect box = dynamic_cast<UIPopoverLayer*>(driver->window()->overlays().back())->contentFrame();
    const CGRect shown = picker->convertRectToView(picker->bounds(), nullptr);
    EXPECT_TRUE(CGRectGetMinX(shown) >= CGRectGetMinX(box) && CGRectGetMaxX(shown) <= CGRectGetMaxX(box) &&
                CGRectGetMinY(shown) >= CGRectGetMinY(box) && CGRectGetMaxY(shown) <= CGRectGetMaxY(box))
        << "picker cut off by the popover";
    for (int r = 0; r < 3; ++r) {
        const CGPoint p = rowPoint(r);
        EXPECT_EQ(driver->window()->hitTest(p, nullptr), picker) << "row " << r;
    }

    // Row 1 by a tap on it, then OK: the typed add form.
    driver->tapAt(rowPoint(1));
    EXPECT_TRUE(screen->popover()->isPopoverVisible()) << "a touch inside is not outside";
    EXPECT_EQ(picker->selectedRowInComponent(0), 1);
    ASSERT_TRUE(driver->tapView(barItem("toolbarItem2"))) << driver->lastError();
    driver->advance(0.6);
    EXPECT_FALSE(screen->popover()->isPopoverVisible());
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    EXPECT_EQ(panel.curStatus(), DeviceMgmtControllerHD::kAdd);
    panel.returnToDeviceListClicked();
    driver->settle();

    // Row 2 by dragging the wheel two rows up, then OK: the LAN search.
    open();
    driver->drag(rowPoint(2), rowPoint(0));
    EXPECT_TRUE(screen->popover()->isPopoverVisible());
    EXPECT_EQ(picker->selectedRowInComponent(0), 2);
    driver->saveScreenshot(test::testArtifact("tablet-add-picker.png"));
    ASSERT_TRUE(driver->tapView(barItem("toolbarItem2"))) << driver->lastError();
    driver->advance(0.6);
    ASSERT_NE(screen->dsvc(), nullptr);
    EXPECT_EQ(screen->presentedViewController(), screen->dsvc());
    screen->dsvc()->stopSearching();
    screen->dsvc()->stopSearching();
    driver->advance(0.6);
    ASSERT_EQ(screen->presentedViewController(), nullptr);

    // Row 0 after turning away and back with the mouse wheel, then OK: the QR reader.
    open();
    driver->scrollWheel(rowPoint(0), -2);
    EXPECT_EQ(picker->selectedRowInComponent(0), 2);
    driver->scrollWheel(rowPoint(0), 2);
    EXPECT_EQ(picker->selectedRowInComponent(0), 0);
    ASSERT_TRUE(driver->tapView(barItem("toolbarItem2"))) << driver->lastError();
    driver->advance(0.6);
    ASSERT_NE(screen->reader(), nullptr);
    EXPECT_EQ(screen->presentedViewController(), screen->reader().get());
    ASSERT_TRUE(tap("cancelButton")) << driver->lastError();
    ASSERT_TRUE(driver->waitUntil([&] { return screen->presentedViewController() == nullptr; }));

    // Cancel after choosing a row starts nothing.
    open();
    driver->tapAt(rowPoint(1));
    ASSERT_TRUE(driver->tapView(barItem("toolbarItem0"))) << driver->lastError();
    EXPECT_FALSE(screen->popover()->isPopoverVisible());
    nothingStarted("cancel");

    // A tap on the popover's bar between its buttons keeps it up; a tap
    // outside it closes it and starts nothing, whatever row was chosen.
    for (int row : {0, 2}) {
        open();
        if (row) driver->drag(rowPoint(2), rowPoint(0));
        ASSERT_EQ(picker->selectedRowInComponent(0), row);
        UIView* barView = barItem("toolbarItem0")->superview();
        const CGRect bar = barView->bounds();
        driver->tapAt(barView->convertPointToView(CGPoint{bar.size.width / 2, bar.size.height / 2}, nullptr));
        EXPECT_TRUE(screen->popover()->isPopoverVisible()) << row;
        ASSERT_TRUE(driver->tapOutsidePopover()) << driver->lastError();
        EXPECT_FALSE(screen->popover()->isPopoverVisible()) << row;
        nothingStarted("outside");
    }
}

TEST_F(LiveViewControllerHDTest, ClosingThePanelWidensTheGridAndTheOpenButtonSlidesAway) {
    launch();
    ASSERT_TRUE(tap("closePanelButton"));
    driver->advance(2.2);
    EXPECT_FALSE(screen->isPanelOpen());
    EXPECT_EQ(grid().view()->frame().size.width, screen->view()->bounds().size.width);
    EXPECT_TRUE(screen->isHideTimerValid());
    driver->advance(4.5);
    EXPECT_FALSE(screen->isHideTimerValid());
    EXPECT_EQ(screen->openPanelButton->frame().origin.x, screen->view()->bounds().size.width - 3);
    screen->openPanel();
    driver->advance(2.2);
    EXPECT_TRUE(screen->isPanelOpen());
    EXPECT_EQ(grid().view()->frame().size.width, screen->view()->bounds().size.width - 256);
}

TEST_F(LiveViewControllerHDTest, TheStatusPollProbesDevicesReachedByAddressEveryMinute) {
    launch();
    gate->isOnLine = false;
    driver->advance(61);
    EXPECT_TRUE(driver->waitUntil([&] { return gate->isOnLine.load(); }));
}

// The UID the panel's add state was opened with, empty when it shows its list.
std::string handedOn(const DeviceMgmtControllerHD& panel) {
    return panel.curStatus() == DeviceMgmtControllerHD::kAdd ? panel.attribute(DeviceMgmtControllerHD::kUID) : "";
}

// The panel's QR row: the live screen presents the reader and hands a
// device's text to the panel; a web address or a Wi-Fi login is announced
// and not taken for a device (as on the phone). The alerts' "Ok" is no
// answer to the advertisement reminder.
TEST_F(LiveViewControllerHDTest, QRScansFromThePanelHandADevicesTextToThePanelAndAnnounceOthers) {
    launch();
    DeviceMgmtControllerHD& panel = *screen->dvcMgmtController();
    using Chooser = UIDeviceAddViewController;
    struct Case {
        const char* scanned;
        const char* handedOn;
        int alertTag;  // 0: none
        const char* pasteboard;
    };
    const Case cases[] = {
        {"LUMORA-QR-000123", "LUMORA-QR-000123", 0, "before"},
        {"http://www.lumora.invalid/app", "", Chooser::kUrlAlertTag, "before"},
        {"ssid:HomeNet;pwd:s3cret", "", Chooser::kWiFiAlertTag, "s3cret"},
    };
    const std::string path = dir.path() + "/code.png";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scanned);
        panel.returnToDeviceListClicked();
        driver->setPasteboardText("before");
        screen->popUpCameraForScanningTDCode(&panel);
        driver->advance(0.5);
        std::shared_ptr<ZBarReaderViewController> reader = screen->reader();
        ASSERT_NE(reader, nullptr);
        ASSERT_EQ(screen->presentedViewController(), reader.get());
        EXPECT_EQ(reader->supportedOrientationsMask(), 30);
        EXPECT_EQ(reader->readerDelegate().get(), static_cast<ZBarReaderDelegate*>(screen.get()));
        ASSERT_TRUE(test::writePrintedQRCode(path, c.scanned));
        reader->readImageFile(path);
        reader.reset();
        ASSERT_TRUE(driver->waitUntil([&] { return screen->presentedViewController() == nullptr; }));
        driver->advance(0.5);
        EXPECT_EQ(handedOn(panel), c.handedOn);
        EXPECT_EQ(driver->pasteboardText(), c.pasteboard);
        UIAlertView* alert = UIAlertView::topmost(driver->window());
        if (c.alertTag == 0) {
            EXPECT_EQ(alert, nullptr);
            continue;
        }
        ASSERT_NE(alert, nullptr);
        EXPECT_EQ(alert->tag(), c.alertTag);
        ASSERT_TRUE(driver->tapAlertButton("Ok"));
        driver->advance(0.5);
        EXPECT_TRUE(QvApplicationPreference::sharedInstance().showAdReminder());
    }
    // Cancelling the reader closes it and hands nothing on.
    panel.returnToDeviceListClicked();
    screen->popUpCameraForScanningTDCode(&panel);
    driver->advance(0.5);
    ASSERT_NE(screen->presentedViewController(), nullptr);
    ASSERT_TRUE(tap("cancelButton")) << driver->lastError();
    ASSERT_TRUE(driver->waitUntil([&] { return screen->presentedViewController() == nullptr; }));
    EXPECT_EQ(handedOn(panel), "");
}

TEST_F(LiveViewControllerHDTest, TheLanSearchIsMadeOnceSearchesAfreshEachTimeAndHandsThePickToThePanel) {
    // The search group is set before the launch: from then on the devices'
    // pre-connections search the LAN on their own queues and read it.
    relayemu::LanSearchResponder lan("127.0.0.32", 0);
    ASSERT_TRUE(lan.ok());
    lan.addDevice({"LUMORA-LAN-A", 0xFFFF, 8000, "192.168.1.20"});
    launch([&] {
        Config::shared().lanGroup = "127.0.0.32";
        Config::shared().lanPort = lan.port();
    });
    DeviceMgmtControllerHD& panel = *screen->dvcMgmtController();

    screen->popUpDeviceSearchingView(&panel);
    driver->advance(0.6);
    DeviceSearchingViewController* search = screen->dsvc();
    ASSERT_NE(search, nullptr);
    ASSERT_EQ(screen->presentedViewController(), search);
    EXPECT_TRUE(search->isSearching());
    ASSERT_TRUE(driver->waitUntil([&] { return search->devicesDiscovered().size() == 1; }));
    // Closed with a find: the panel reloads its whole list.
    search->stopSearching();  // ends the wait
    search->stopSearching();  // closes
    driver->advance(0.6);
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    EXPECT_EQ(panel.sectionCount(), static_cast<int>(QvDeviceManager::sharedInstance().countOfDevices()));

    // Again: the same screen, a new search, and a picked row goes to the panel.
    screen->popUpDeviceSearchingView(&panel);
    driver->advance(0.6);
    EXPECT_EQ(screen->dsvc(), search);
    EXPECT_EQ(screen->presentedViewController(), search);
    EXPECT_TRUE(search->isSearching());
    ASSERT_TRUE(driver->waitUntil([&] { return search->devicesDiscovered().size() == 1; }));
    driver->settle();
    ASSERT_TRUE(tap("deviceRow0")) << driver->lastError();
    driver->advance(0.6);
    EXPECT_EQ(handedOn(panel), "LUMORA-LAN-A");
    EXPECT_EQ(screen->presentedViewController(), nullptr);
}

}  // namespace
