#include "ui/tablet/LiveViewControllerHD.h"

#include <gtest/gtest.h>

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
#include "tools/relay-emulator/LanSearchResponder.h"
#include "ui/common/PrintedQRCode.h"
#include "ui/common/UIDeviceAddViewController.h"
#include "ui/common/GLVideoView.h"
#include "ui/host/EmulatorWorld.h"
#include "ui/host/ScreenFactory.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/ZBarReaderViewController.h"
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
    for (const auto& [name, tiles] : cases) {
        ASSERT_TRUE(tap(name)) << name << " " << driver->lastError();
        driver->advance(0.6);
        EXPECT_EQ(static_cast<int>(grid().curShowingViewIds().size()), tiles) << name;
        EXPECT_EQ(QvApplicationPreference::sharedInstance().connectionHistory().size(), static_cast<size_t>(tiles)) << name;
    }
    // Every control has its pressed image named after it.
    EXPECT_NE(button("talkBtn")->backgroundImageForState(UIControlStateHighlighted), nullptr);
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
    ASSERT_TRUE(tap("voiceBtn"));
    EXPECT_TRUE(tile(0)->isStartAudio());
    EXPECT_TRUE(button("voiceBtn")->isSelected());
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
