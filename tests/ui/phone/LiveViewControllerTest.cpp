#include "ui/phone/LiveViewController.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/AppDelegate.h"
#include "app/DevicePreConnector.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "base/link/DataController.h"
#include "base/network/NETStatusObj.h"
#include "base/network/Reachability.h"
#include "platform/Application.h"
#include "platform/Config.h"
#include "platform/net/FakeReachabilityProvider.h"
#include "platform/runloop/RunLoop.h"
#include "platform/text/Localization.h"
#include "support/TempDir.h"
#include "ui/phone/PhoneAppFixture.h"
#include "ui/common/ButtonLook.h"
#include "ui/common/GLVideoView.h"
#include "ui/common/ReadableTexts.h"
#include "demo/EmulatorWorld.h"
#include "ui/host/ScreenFactory.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/phone/ChannelMgmtController.h"
#include "ui/phone/ChannelViewController.h"
#include "ui/kit/UINavigationController.h"
#include "ui/common/ZBarReaderViewController.h"

using namespace lumora;
namespace fs = std::filesystem;

namespace {

class LiveViewControllerTest : public test::PhoneAppFixture {};

TEST_F(LiveViewControllerTest, LaunchBuildsTheStripsFromTheDeviceListAndBlinksUntilPreConnectionReports) {
    launch();
    ASSERT_EQ(screen->deviceButtons().size(), 2u);
    EXPECT_EQ(screen->deviceButtons()[0]->titleForState(UIControlStateNormal), "Gate");
    EXPECT_EQ(screen->deviceButtons()[1]->titleForState(UIControlStateNormal), "Yard");
    EXPECT_EQ(screen->devicesScrollView->contentSize().width, 50 * 2 + 46);
    EXPECT_EQ(screen->cmcController()->channelViewNumber(), 4u);
    EXPECT_TRUE(screen->isShanRunning());
    EXPECT_TRUE(UIApplication::sharedApplication().isIdleTimerDisabled());
    // The identifier device's pre-connection reports through the relay.
    auto yard = QvDeviceManager::sharedInstance().deviceWithName("Yard");
    ASSERT_TRUE(yard);
    EXPECT_TRUE(driver->waitUntil([&] { return yard->isStartPreCon.load(); }));
    driver->advance(20);
    EXPECT_FALSE(screen->isShanRunning());
    EXPECT_EQ(screen->queryQueue()->label(), "com.lumora.queryqueue");
    // Channel strip: the device's channel count.
    ASSERT_TRUE(tap("deviceButton1"));
    EXPECT_EQ(screen->channelButtons().size(), 4u);
    EXPECT_EQ(screen->channelScrollView->contentSize().width, 17 + 50 * 4);
    ASSERT_TRUE(tap("deviceButton2"));
    EXPECT_EQ(screen->channelButtons().size(), 2u);
}

TEST_F(LiveViewControllerTest, ASearchEndingDuringATouchKeepsTheButtonAndADeletedDeviceLosesIts) {
    launch();
    ASSERT_EQ(screen->deviceButtons().size(), 2u);
    ZButton* gate = screen->deviceButtons()[0].data();
    const CGRect r = gate->convertRectToView(gate->bounds(), nullptr);
    const CGPoint c{r.origin.x + r.size.width / 2, r.origin.y + r.size.height / 2};
    // The online search ends between the finger going down and up: the
    // strip is brought up to date under the finger and the tap still counts.
    driver->press(c);
    screen->AllSearchdidEnd();
    driver->settle();
    EXPECT_EQ(screen->deviceButtons()[0].data(), gate);
    driver->release(c);
    driver->settle();
    EXPECT_EQ(screen->selectedDeviceButton(), gate);
    EXPECT_EQ(screen->channelButtons().size(), 4u);
    // A device that left the list takes its button with it; the others move up.
    auto yard = QvDeviceManager::sharedInstance().deviceWithName("Yard");
    ASSERT_TRUE(yard);
    ZButton* yardButton = screen->deviceButtons()[1].data();
    ASSERT_TRUE(QvDeviceManager::sharedInstance().removeDevice(
        QvDeviceManager::sharedInstance().deviceWithName("Gate")));
    screen->AllSearchdidEnd();
    driver->settle();
    ASSERT_EQ(screen->deviceButtons().size(), 1u);
    EXPECT_EQ(screen->deviceButtons()[0].data(), yardButton);
    EXPECT_EQ(yardButton->frame().origin.x, 0);
    EXPECT_EQ(screen->selectedDeviceButton(), nullptr);
    EXPECT_EQ(screen->devicesScrollView->contentSize().width, 50 + 46);
}

TEST_F(LiveViewControllerTest, ChannelsPlayInTheFreePanesWithTheClipsColours) {
    launch();
    play(1, {1, 2, 3});
    play(2, {1});
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(waitPicture(pane(i))) << "pane " << i;
    driver->settle();
    EXPECT_EQ(title(0), "Gate ch01");
    EXPECT_EQ(title(1), "Gate ch02");
    EXPECT_EQ(title(2), "Gate ch03");
    EXPECT_EQ(title(3), "Yard ch01");
    keepScreenshot("phone-four-panes.png");
    // The big pane shows the clip's colour bars.
    std::string seen;
    EXPECT_TRUE(showsColourBars(pane(0), seen)) << seen;
    // The buttons mirror what plays.
    ASSERT_TRUE(tap("deviceButton1"));
    ASSERT_TRUE(driver->waitUntil([&] { return button("channelButton4") != nullptr; })) << driver->dumpTree();
    EXPECT_TRUE(button("channelButton1")->isSelected());
    EXPECT_TRUE(button("channelButton3")->isSelected());
    EXPECT_FALSE(button("channelButton4")->isSelected());
    // A fifth channel replaces the selected pane's and deselects its old button.
    ASSERT_TRUE(tap("channelButton4"));
    driver->advance(0.15);
    EXPECT_EQ(pane(0)->channel(), 3);
    EXPECT_FALSE(button("channelButton1")->isSelected());
    // Tapping a playing channel stops exactly its pane.
    ASSERT_TRUE(tap("channelButton2"));
    EXPECT_EQ(pane(1)->state(), 0);
    EXPECT_EQ(pane(2)->state(), 1);
    // The history holds what each slot started.
    auto& h = QvApplicationPreference::sharedInstance().connectionHistory();
    ASSERT_GE(h.size(), 4u);
    EXPECT_EQ(h[2].channel, 2);
}

TEST_F(LiveViewControllerTest, FailureTextsForAWrongPasswordAndADeviceThatIsOff) {
    auto devices = EmulatorWorld::defaultDevices();
    EmulatorWorld::DemoDevice vault;
    vault.name = "Vault";
    vault.channels = 1;
    vault.password = "wrong";
    vault.options.tcpHost = "127.0.0.4";
    devices.push_back(vault);
    launch(devices);
    play(3, {1});
    ASSERT_TRUE(driver->waitUntil([&] { return pane(0)->state() == 0; }));
    driver->advance(0.3);
    EXPECT_EQ(title(0), Localization::string("LOGINERROR_MSG"));
    test::expectTextsReadable(*driver, "failed pane");  // the failure text reads on the black pane
    EXPECT_FALSE(button("channelButton1")->isSelected());
    // A tap on the failed pane tries its channel again (refused again here).
    const size_t logins = world.emulator(2).countEvents("login");
    driver->tapAt(pane(0)->view()->pointInWindow(CGPoint{40, 40}));
    driver->advance(0.15);
    EXPECT_TRUE(world.emulator(2).waitForEvent("login", std::chrono::seconds(30), logins + 1));
    ASSERT_TRUE(driver->waitUntil([&] { return pane(0)->state() == 0; }));
    driver->advance(0.3);
    EXPECT_EQ(title(0), Localization::string("LOGINERROR_MSG"));

    world.emulator(0).stop();  // Gate goes off
    play(1, {2});
    // Never reached: the pane says to check the address and port, and keeps
    // trying (the channel stays on) in case the device is only starting.
    ASSERT_TRUE(driver->waitUntil([&] { return pane(0)->isReconnecting(); }, 30));
    driver->settle();
    EXPECT_EQ(title(0), Localization::string("MSG_UNREACHABLE"));
    EXPECT_EQ(pane(0)->state(), 1);
    EXPECT_TRUE(button("channelButton2")->isSelected());
}

// Gate goes away for half a minute while a channel plays (a reboot) and
// comes back on its address: the pane says it reconnects, then shows the
// pictures again without a tap, under its caption.
TEST_F(LiveViewControllerTest, ADeviceAwayForHalfAMinuteComesBackIntoItsPane) {
    launch();
    play(1, {1});
    ASSERT_TRUE(waitPicture(pane(0)));
    world.emulator(0).goAway(std::chrono::duration_cast<std::chrono::milliseconds>(
        Config::shared().scaled(std::chrono::seconds(30))));
    ASSERT_TRUE(driver->waitUntil([&] { return pane(0)->isReconnecting(); }, 60));
    driver->settle();
    EXPECT_EQ(title(0), Localization::string("MSG_RECONNECTING"));
    EXPECT_EQ(pane(0)->state(), 1);
    EXPECT_FALSE(pane(0)->glView()->hasPicture());
    ASSERT_TRUE(world.emulator(0).waitUntilBack(std::chrono::seconds(120)));
    ASSERT_TRUE(waitPicture(pane(0))) << title(0);
    driver->settle();
    EXPECT_EQ(title(0), "Gate ch01");
    EXPECT_FALSE(pane(0)->isReconnecting());
    EXPECT_TRUE(button("channelButton1")->isSelected());
    std::string seen;
    EXPECT_TRUE(showsColourBars(pane(0), seen)) << seen;
}

// A swipe along a long channel strip scrolls it and starts nothing: the
// channel under the finger where the swipe began acts only on a tap.
TEST_F(LiveViewControllerTest, SwipingTheChannelStripStartsNoChannel) {
    auto devices = EmulatorWorld::defaultDevices();
    devices[0].channels = 16;
    devices[0].options.channels = 16;
    launch(devices);
    ASSERT_TRUE(tap("deviceButton1")) << driver->lastError();
    ASSERT_TRUE(driver->waitUntil([&] { return button("channelButton16") != nullptr; })) << driver->dumpTree();
    UIView* six = driver->find("channelButton6");
    ASSERT_NE(six, nullptr);
    const CGPoint from = six->pointInWindow(CGPoint{20, 20});
    driver->drag(from, CGPoint{from.x - 200, from.y}, 12);
    driver->advance(0.5);
    EXPECT_GT(screen->channelScrollView->contentOffset().x, 0) << driver->dumpTree();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(pane(i)->state(), 0) << i;
    EXPECT_FALSE(button("channelButton6")->isSelected());
    // A tap still starts the channel it lands on.
    ASSERT_TRUE(tap("channelButton8")) << driver->lastError();
    driver->advance(0.15);
    ASSERT_TRUE(waitPicture(pane(0)));
    EXPECT_EQ(pane(0)->channel(), 7);
}

TEST_F(LiveViewControllerTest, ADroppedLinkIsRestartedAndPicturesComeBack) {
    auto devices = EmulatorWorld::defaultDevices();
    devices[0].options.closeAfter = 120;  // each link closes after 120 packets
    launch(devices);
    play(1, {1});
    ASSERT_TRUE(waitPicture(pane(0)));
    // The link closes again and again; each time the view comes back by itself.
    ASSERT_TRUE(driver->waitUntil([&] { return world.emulator(0).stats().sessions >= 3; }, 30));
    ASSERT_TRUE(waitPicture(pane(0), 20));
    EXPECT_EQ(pane(0)->state(), 1);
    EXPECT_EQ(title(0), "Gate ch01");
}

TEST_F(LiveViewControllerTest, OneAndFourPaneArrangementsPortraitAndLandscape) {
    launch();
    play(1, {1, 2});
    auto frame = [&](int i) { return pane(i)->view()->frame(); };
    EXPECT_EQ(frame(0), (CGRect{{0, 0}, {320, 260}}));
    EXPECT_EQ(frame(1), (CGRect{{0, 260}, {106, 85}}));
    EXPECT_EQ(frame(3), (CGRect{{214, 260}, {106, 85}}));
    // The more panel's switch: one pane; the hidden panes close and their buttons clear.
    ASSERT_TRUE(tap("moreButon"));
    EXPECT_TRUE(screen->isMoreViewOpen());
    ASSERT_TRUE(tap("layoutButton"));
    driver->advance(0.1);
    EXPECT_EQ(screen->cmcController()->channelViewNumber(), 1u);
    EXPECT_TRUE(pane(1)->view()->isHidden());
    EXPECT_EQ(pane(1)->state(), 0);
    EXPECT_EQ(frame(0), (CGRect{{0, 0}, {320, 350}}));
    keepScreenshot("phone-one-pane.png");
    EXPECT_FALSE(button("channelButton2")->isSelected());
    EXPECT_TRUE(button("channelButton1")->isSelected());
    ASSERT_TRUE(tap("layoutButton"));
    EXPECT_EQ(screen->cmcController()->channelViewNumber(), 4u);

    ASSERT_TRUE(driver->rotate(UIInterfaceOrientation::LandscapeLeft));
    driver->settle();
    EXPECT_TRUE(screen->toolBarView->isHidden());
    EXPECT_TRUE(screen->devicesScrollView->isHidden());
    EXPECT_TRUE(screen->cmcController()->isLandscapeLayout());
    EXPECT_EQ(frame(0), (CGRect{{0, 0}, {375, 320}}));
    EXPECT_EQ(frame(2), (CGRect{{375, 107}, {105, 106}}));
    ASSERT_TRUE(waitPicture(pane(0)));
    keepScreenshot("phone-landscape.png");
    EXPECT_FALSE(driver->rotate(UIInterfaceOrientation::PortraitUpsideDown));
    ASSERT_TRUE(driver->rotate(UIInterfaceOrientation::Portrait));
    driver->settle();
    EXPECT_FALSE(screen->toolBarView->isHidden());
    EXPECT_EQ(frame(0), (CGRect{{0, 0}, {320, 260}}));
    screen->changeCanRotate(false);
    EXPECT_FALSE(driver->rotate(UIInterfaceOrientation::LandscapeLeft));
}

TEST_F(LiveViewControllerTest, DraggingASmallPaneOntoTheBigOneSwapsThem) {
    launch();
    play(1, {1, 2});
    ASSERT_TRUE(waitPicture(pane(1)));
    ChannelViewController* small = pane(1);
    ChannelViewController* big = pane(0);
    std::vector<int> selections;
    auto id = NotificationCenter::defaultCenter().addObserver(ChannelViewSelectionChangeNotification, nullptr,
                                                              [&](const Notification& n) {
                                                                  selections.push_back(std::any_cast<int>(n.userInfo));
                                                              });
    driver->press(CGPoint{53, 302});
    for (int i = 1; i <= 10; ++i) driver->moveTo(CGPoint{53 + 10.7 * i, 302 - 17.2 * i});
    driver->release(CGPoint{160, 130});
    driver->advance(0.5);
    NotificationCenter::defaultCenter().removeObserver(id);
    EXPECT_EQ(pane(0), small);
    EXPECT_EQ(pane(1), big);
    EXPECT_EQ(small->view()->frame(), (CGRect{{0, 0}, {320, 260}}));
    EXPECT_FALSE(small->hasSmallView());
    EXPECT_EQ(screen->cmcController()->selectedChannelViewController(), small);
    EXPECT_EQ(selections, (std::vector<int>{small->deviceId()}));
    EXPECT_EQ(small->channel(), 1);
}

TEST_F(LiveViewControllerTest, SwipesOnTheBigPaneSteerPanAndTilt) {
    launch();
    play(1, {1});
    ASSERT_TRUE(waitPicture(pane(0)));
    driver->settle();
    const long before = world.emulator(0).stats().ptzCommands;
    driver->press(CGPoint{60, 60});
    driver->advance(0.2);
    driver->moveTo(CGPoint{90, 60});  // 30 points: nothing
    driver->advance(0.2);
    driver->moveTo(CGPoint{180, 150});  // diagonal: right-to-left code 11 and down code 9
    EXPECT_EQ(pane(0)->titleLabel()->text(), Localization::string("IDS_UP"));
    driver->advance(0.05);
    driver->moveTo(CGPoint{60, 150});  // within 150 ms: nothing
    driver->release(CGPoint{60, 150});
    driver->settle();
    EXPECT_EQ(title(0), "Gate ch01");  // the release sends the stop
    EXPECT_TRUE(driver->waitUntil([&] { return world.emulator(0).stats().ptzCommands >= before + 3; }));
}

TEST_F(LiveViewControllerTest, ToolBarPanelsAndThePanTiltStripPressAndRelease) {
    launch();
    play(1, {1});
    ASSERT_TRUE(waitPicture(pane(0)));
    driver->settle();
    ASSERT_TRUE(tap("moreButon"));
    EXPECT_TRUE(screen->isMoreViewOpen());
    EXPECT_TRUE(button("moreButon")->isSelected());
    const QImage ptzOff = test::lookOf(*driver, button("ptzbtn"));
    ASSERT_TRUE(tap("ptzbtn"));  // closes the more panel, shows the strip
    driver->advance(0.6);
    EXPECT_FALSE(screen->isMoreViewOpen());
    EXPECT_FALSE(screen->ptzScrollView->isHidden());
    EXPECT_TRUE(button("ptzbtn")->isSelected());
    const QImage ptzOn = test::lookOf(*driver, button("ptzbtn"));
    EXPECT_NE(ptzOn, ptzOff) << "the strip's button shows it open";
    EXPECT_GT(test::shareOf(ptzOn, test::isOnBlue), 0.4);
    EXPECT_LT(test::shareOf(ptzOff, test::isOnBlue), 0.02);
    const long before = world.emulator(0).stats().ptzCommands;
    UIView* up = driver->find("ptzUp");
    ASSERT_NE(up, nullptr);
    const CGPoint c = up->pointInWindow(CGPoint{22, 21});
    driver->press(c);
    EXPECT_EQ(title(0), Localization::string("IDS_UP"));
    driver->release(c);
    // The stop follows on "stopqueue" 50 ms later, to the pane selected then.
    ASSERT_TRUE(driver->waitUntil([&] { return title(0) == "Gate ch01"; }));
    EXPECT_TRUE(driver->waitUntil([&] { return world.emulator(0).stats().ptzCommands >= before + 2; }));
    EXPECT_EQ(screen->stopQueue()->label(), "stopqueue");
    ASSERT_TRUE(tap("ptzbtn"));
    EXPECT_TRUE(screen->ptzScrollView->isHidden());
    // A device tap closes the panels too.
    ASSERT_TRUE(tap("moreButon"));
    ASSERT_TRUE(tap("deviceButton2"));
    EXPECT_FALSE(screen->isMoreViewOpen());
    // Listen and record are refused on an idle pane.
    driver->tapAt(CGPoint{53, 302});
    ASSERT_TRUE(tap("voiceButton"));
    ASSERT_TRUE(tap("recordButton"));
    EXPECT_FALSE(button("voiceButton")->isSelected());
    EXPECT_FALSE(button("recordButton")->isSelected());
    EXPECT_EQ(pane(1)->state(), 0);
}

// A held arrow keeps the camera moving: the move is renewed while the
// finger stays down, and the lift stops it.
TEST_F(LiveViewControllerTest, AHeldPanTiltButtonKeepsMovingUntilTheFingerLifts) {
    launch();
    play(1, {1});
    ASSERT_TRUE(waitPicture(pane(0)));
    ASSERT_TRUE(tap("ptzbtn"));
    driver->advance(0.6);
    auto& device = world.emulator(0);
    auto moves = [&] { return device.countEvents("ptz channel=1 command=9"); };
    const size_t before = moves();
    UIView* up = driver->find("ptzUp");
    ASSERT_NE(up, nullptr);
    const CGPoint c = up->pointInWindow(CGPoint{22, 21});
    driver->press(c);
    EXPECT_TRUE(screen->isHoldingPtz());
    // Three seconds held: the move goes out again every half second.
    for (int i = 0; i < 6; ++i) driver->advance(0.5);
    EXPECT_TRUE(driver->waitUntil([&] { return moves() >= before + 7; })) << moves() - before;
    const size_t stops = device.countEvents("ptz channel=1 command=0");
    driver->release(c);
    EXPECT_FALSE(screen->isHoldingPtz());
    ASSERT_TRUE(driver->waitUntil([&] { return device.countEvents("ptz channel=1 command=0") > stops; }));
    // Released: no further move.
    const size_t after = moves();
    driver->advance(2);
    EXPECT_EQ(moves(), after);
}

TEST_F(LiveViewControllerTest, ListenAndTalkAndARefusedTalkAlert) {
    auto devices = EmulatorWorld::defaultDevices();
    devices[1].options.grantTalk = false;
    launch(devices);
    play(1, {1});
    ASSERT_TRUE(waitPicture(pane(0)));
    ASSERT_TRUE(driver->waitUntil([&] { return pane(0)->dataController()->isDeviceHasAudio(); }));
    const QImage voiceOff = test::lookOf(*driver, button("voiceButton"));
    const QImage talkOff = test::lookOf(*driver, button("talkButton"));
    ASSERT_TRUE(tap("voiceButton"));
    EXPECT_TRUE(pane(0)->isStartAudio());
    EXPECT_TRUE(button("voiceButton")->isSelected());
    const QImage voiceOn = test::lookOf(*driver, button("voiceButton"));
    EXPECT_NE(voiceOn, voiceOff);
    EXPECT_GT(test::shareOf(voiceOn, test::isOnBlue), 0.4);
    EXPECT_LT(test::shareOf(voiceOff, test::isOnBlue), 0.02);
    EXPECT_TRUE(pane(0)->isVoiceIndicatorShown());
    ASSERT_TRUE(tap("talkButton"));
    EXPECT_TRUE(world.emulator(0).waitForEvent("talk action=", std::chrono::seconds(10)));
    ASSERT_TRUE(driver->waitUntil([&] { return pane(0)->isStartTalk(); }));
    driver->settle();
    EXPECT_TRUE(button("talkButton")->isSelected());
    const QImage talkOn = test::lookOf(*driver, button("talkButton"));
    EXPECT_NE(talkOn, talkOff);
    EXPECT_GT(test::shareOf(talkOn, test::isOnBlue), 0.4);
    // Talk off keeps the listening the listen button switched on.
    ASSERT_TRUE(tap("talkButton"));
    EXPECT_FALSE(pane(0)->isStartTalk());
    EXPECT_TRUE(pane(0)->isStartAudio());
    ASSERT_TRUE(tap("voiceButton"));
    EXPECT_FALSE(pane(0)->isStartAudio());

    // Yard refuses: the alert, and the button ends deselected.
    play(2, {1});
    ASSERT_TRUE(waitPicture(pane(1)));
    driver->tapAt(CGPoint{53, 302});
    driver->settle();
    EXPECT_EQ(screen->cmcController()->selectedChannelViewController(), pane(1));
    ASSERT_TRUE(tap("talkButton"));
    ASSERT_TRUE(driver->waitUntil([&] { return UIAlertView::topmost(driver->window()) != nullptr; }));
    EXPECT_EQ(UIAlertView::topmost(driver->window())->message(), Localization::string("NOTSUPPORTTALK"));
    keepScreenshot("phone-talk-refused.png");
    driver->settle();
    EXPECT_FALSE(button("talkButton")->isSelected());
    EXPECT_TRUE(driver->tapAlertButton(0));
}

TEST_F(LiveViewControllerTest, RecordingMakesAnMp4AndSnapshotAPng) {
    launch();
    play(1, {1});
    ASSERT_TRUE(waitPicture(pane(0)));
    ASSERT_TRUE(tap("snapshotButton"));
    driver->advance(0.6);
    ASSERT_TRUE(driver->waitUntil([&] { return !filesUnder(".png").empty(); }));
    const QImage recordOff = test::lookOf(*driver, button("recordButton"));
    ASSERT_TRUE(tap("recordButton"));
    EXPECT_EQ(pane(0)->state(), 2);
    EXPECT_TRUE(button("recordButton")->isSelected());
    // Recording shows unmistakably: the button turns red.
    keepScreenshot("phone-recording.png");
    const QImage recordOn = test::lookOf(*driver, button("recordButton"));
    EXPECT_NE(recordOn, recordOff);
    EXPECT_GT(test::shareOf(recordOn, test::isRecordingRed), 0.4);
    EXPECT_LT(test::shareOf(recordOff, test::isRecordingRed), 0.02);
    EXPECT_FALSE(pane(0)->recLabel()->isHidden());
    const uint64_t base = pane(0)->glView()->presentedCount();
    ASSERT_TRUE(driver->waitUntil([&] { return pane(0)->glView()->presentedCount() > base + 50; }));
    ASSERT_TRUE(tap("recordButton"));
    EXPECT_EQ(pane(0)->state(), 1);
    EXPECT_EQ(test::lookOf(*driver, button("recordButton")), recordOff);
    std::vector<std::string> mp4;
    ASSERT_TRUE(driver->waitUntil([&] { return !(mp4 = filesUnder(".mp4")).empty(); }));
    std::string cmd = "ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width -of csv=p=0 '" + mp4[0] + "' 2>&1";
    std::string out;
    if (FILE* f = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, f)) out += buf;
        pclose(f);
    }
    EXPECT_NE(out.find("h264,320"), std::string::npos) << out;
    const auto png = filesUnder(".png");
    EXPECT_NE(png.front().find("/Gate/"), std::string::npos) << png.front();
}

TEST_F(LiveViewControllerTest, ResignStopsEverythingAndBecomingActivePollsAgain) {
    launch();
    play(1, {1, 2});
    ASSERT_TRUE(waitPicture(pane(1)));
    driver->resignActive();
    driver->settle();
    EXPECT_EQ(pane(0)->state(), 0);
    EXPECT_EQ(pane(1)->state(), 0);
    EXPECT_FALSE(button("channelButton1")->isSelected());
    EXPECT_FALSE(button("channelButton2")->isSelected());
    driver->becomeActive();
    driver->settle();
    EXPECT_EQ(pane(0)->state(), 0);
    // The live screen is still usable.
    ASSERT_TRUE(tap("channelButton3"));
    driver->advance(0.15);
    ASSERT_TRUE(waitPicture(pane(0)));
}

// With auto play on, the panes stopped by going to the background come back
// when the application is active again.
TEST_F(LiveViewControllerTest, WithAutoPlayOnBecomingActiveBringsThePanesBack) {
    launch(EmulatorWorld::defaultDevices(), [] { QvApplicationPreference::sharedInstance().setAutoPlay(true); });
    play(1, {1, 2});
    ASSERT_TRUE(waitPicture(pane(1)));
    driver->resignActive();
    driver->settle();
    EXPECT_EQ(pane(0)->state(), 0);
    EXPECT_EQ(pane(1)->state(), 0);
    driver->becomeActive();
    driver->settle();
    driver->advance(0.15);
    for (int i : {0, 1}) {
        EXPECT_EQ(pane(i)->state(), 1) << i;
        EXPECT_TRUE(waitPicture(pane(i))) << i << ": " << title(i);
        EXPECT_EQ(pane(i)->channel(), i) << i;
    }
    EXPECT_TRUE(button("channelButton1")->isSelected());
}

TEST_F(LiveViewControllerTest, AutoPlayResumesTheSavedHistory) {
    launch(EmulatorWorld::defaultDevices(), [] {
        // Ids are handed out in list order at start: the first stored device gets the next one.
        auto probe = std::make_shared<Device>();
        auto& prefs = QvApplicationPreference::sharedInstance();
        prefs.setLayoutStyle(1);
        prefs.setAutoPlay(true);
        prefs.connectionHistory()[0] = ConnectionRecord{probe->deviceId + 1, 2};
        prefs.connectionHistory()[1] = ConnectionRecord{0, 1};   // device id 0: nothing
        prefs.connectionHistory()[2] = ConnectionRecord{probe->deviceId + 2, -1};  // channel -1: nothing
        ASSERT_TRUE(prefs.saveApplicationPreference());
    });
    EXPECT_EQ(pane(0)->state(), 1);
    EXPECT_EQ(pane(0)->channel(), 2);
    EXPECT_EQ(pane(1)->state(), 0);
    EXPECT_EQ(pane(2)->state(), 0);
    driver->advance(0.15);
    ASSERT_TRUE(waitPicture(pane(0))) << title(0) << " state " << pane(0)->state();
    EXPECT_EQ(title(0), "Gate ch03");
    ASSERT_NE(screen->selectedDeviceButton(), nullptr);
    EXPECT_EQ(screen->selectedDeviceButton()->titleForState(UIControlStateNormal), "Gate");
}

}  // namespace

// Each screen opened from the live view: the covering ones stop the panes
// drawing while their sessions stay up, and closing draws again.
TEST_F(LiveViewControllerTest, CoveringScreensPauseThePanesAndClosingResumesThem) {
    launch();
    // Presentations and dismissals run their animations on the virtual clock.
    auto step = [&] {
        driver->advance(0.6);
        driver->settle();
    };
    play(1, {1, 2});
    ASSERT_TRUE(waitPicture(pane(0)));
    ASSERT_TRUE(waitPicture(pane(1)));
    auto drawingAgain = [&] {
        for (int i : {0, 1}) {
            EXPECT_FALSE(pane(i)->stopRenderingFrame()) << "pane " << i;
            EXPECT_TRUE(waitPicture(pane(i))) << "pane " << i;
        }
    };
    auto paused = [&](const char* what) {
        for (int i : {0, 1}) {
            EXPECT_TRUE(pane(i)->stopRenderingFrame()) << what << " pane " << i;
            EXPECT_EQ(pane(i)->state(), 1) << what << " pane " << i;  // still connected
        }
        // Frames keep arriving but nothing is drawn.
        const uint64_t before = pane(0)->glView()->presentedCount();
        driver->advance(1.0);
        driver->settle();
        EXPECT_EQ(pane(0)->glView()->presentedCount(), before) << what;
    };
    auto top = [&]() -> UIViewController* {
        UIViewController* p = screen->presentedViewController();
        if (auto* nav = dynamic_cast<UINavigationController*>(p)) return nav->topViewController();
        return p;
    };

    // Settings through the more panel's button; Cancel resumes.
    ASSERT_TRUE(tap("moreButon"));
    ASSERT_TRUE(tap("settingButton")) << driver->lastError();
    auto* config = dynamic_cast<ConfigViewController*>(top());
    ASSERT_NE(config, nullptr);
    paused("settings");
    config->cancelButtonTapped();
    step();
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    drawingAgain();

    // Help and about.
    screen->showHelp();
    step();
    auto* help = dynamic_cast<HelpAndAboutViewController*>(top());
    ASSERT_NE(help, nullptr);
    paused("help");
    help->closeButtonTapped();
    step();
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    drawingAgain();

    // The device list; its add button closes it at once and shows the chooser.
    screen->showDeviceList();
    step();
    auto* list = dynamic_cast<DeviceMgmtController*>(top());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->mgmtType(), 0);
    paused("device list");
    list->addButtonTapped();
    EXPECT_EQ(screen->presentedViewController(), nullptr);  // no animation to wait for
    ASSERT_NE(screen->davc(), nullptr);
    EXPECT_EQ(screen->davc()->view()->superview(), screen->view());
    // Typing opens the editor in add mode (the chooser goes away).
    ASSERT_TRUE(driver->tapSheetButton(Localization::string("MANNUAL_ADD"))) << driver->lastError();
    step();
    auto* editor = dynamic_cast<DeviceDetailViewController*>(top());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->operation(), 0);
    paused("editor");
    editor->cancelButtonTapped();
    step();
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    drawingAgain();

    // The device list again, closed: the selection and its channels stay.
    screen->showDeviceList();
    step();
    dynamic_cast<DeviceMgmtController*>(top())->closeButtonTapped();
    step();
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    EXPECT_EQ(screen->channelButtons().size(), 4u);
    drawingAgain();

    // The recordings list does not pause, and its close resumes all the same.
    screen->remoteRecordController();
    step();
    auto* records = dynamic_cast<DeviceMgmtController*>(top());
    ASSERT_NE(records, nullptr);
    EXPECT_EQ(records->mgmtType(), 1);
    EXPECT_FALSE(pane(0)->stopRenderingFrame());
    records->closeButtonTapped();
    step();
    EXPECT_EQ(screen->presentedViewController(), nullptr);

    // The LAN search is made once and reused; it does not pause. A result
    // opens the editor in its place.
    screen->addDeviceWithLANScanning();
    step();
    auto* search = screen->dsvc();
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(top(), search);
    EXPECT_FALSE(pane(0)->stopRenderingFrame());
    screen->addDeviceItemFromLanSearch("ABCD-123456-WXYZ");
    step();
    editor = dynamic_cast<DeviceDetailViewController*>(top());
    ASSERT_NE(editor, nullptr);
    paused("editor from search");
    editor->cancelButtonTapped();
    step();
    screen->addDeviceWithLANScanning();
    step();
    EXPECT_EQ(screen->dsvc(), search);
    search->stopSearching();
    screen->dismissViewControllerAnimated(false);
    step();

    // The local media browser, from its button in the more panel.
    if (!screen->isMoreViewOpen()) {
        ASSERT_TRUE(tap("moreButon")) << driver->lastError();
    }
    ASSERT_TRUE(tap("fileButton")) << driver->lastError();
    step();
    auto* media = dynamic_cast<FileMgmtController*>(top());
    ASSERT_NE(media, nullptr);
    paused("media");
    screen->fileMgmtControllerDidClose(media);
    step();
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    // Without a browser to make, the button does nothing.
    auto keep = LiveViewController::fileMgmtFactory();
    LiveViewController::fileMgmtFactory() = nullptr;
    screen->showFileMgmtView();
    LiveViewController::fileMgmtFactory() = keep;
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    EXPECT_FALSE(pane(0)->stopRenderingFrame());
    drawingAgain();
    for (int i : {0, 1}) EXPECT_EQ(pane(i)->state(), 1);
}

// Settings committed: the grid takes the chosen number of panes; one pane
// stops the hidden ones; the same number only re-lays out.
TEST_F(LiveViewControllerTest, CommittedSettingsChangeThePaneCountAndRotationIsCaughtUpOnClose) {
    launch();
    // Presentations and dismissals run their animations on the virtual clock.
    auto step = [&] {
        driver->advance(0.6);
        driver->settle();
    };
    play(1, {1, 2});
    ASSERT_TRUE(waitPicture(pane(1)));
    auto& prefs = QvApplicationPreference::sharedInstance();
    const int saved = prefs.layoutStyle();
    prefs.setLayoutStyle(1);
    screen->showSettingsView();
    step();
    screen->configViewControllerDidCommit(nullptr);
    step();
    EXPECT_EQ(screen->cmcController()->channelViewNumber(), 4u);
    EXPECT_EQ(pane(1)->state(), 1);
    EXPECT_EQ(screen->presentedViewController(), nullptr);

    prefs.setLayoutStyle(0);
    screen->showSettingsView();
    step();
    screen->configViewControllerDidCommit(nullptr);
    step();
    EXPECT_EQ(screen->cmcController()->channelViewNumber(), 1u);
    EXPECT_EQ(pane(1)->state(), 0);
    EXPECT_EQ(pane(0)->state(), 1);
    EXPECT_FALSE(pane(0)->stopRenderingFrame());
    prefs.setLayoutStyle(saved);

    // Rotating while the help covers the screen: the close lays out for the new orientation.
    screen->showHelp();
    step();
    EXPECT_EQ(screen->orientationBeforeOpenModelView(), UIInterfaceOrientation::Portrait);
    driver->rotate(UIInterfaceOrientation::LandscapeLeft);
    step();
    screen->helpControllerDidClose(nullptr);
    step();
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    EXPECT_EQ(screen->interfaceOrientation(), UIInterfaceOrientation::LandscapeLeft);
    EXPECT_EQ(screen->cmcController()->view()->frame().size.width, screen->view()->bounds().size.width);
}

// The selected device deleted while the device list was open: on close the
// channel strip empties and the list's edits show in the device strip.
TEST_F(LiveViewControllerTest, ClosingTheDeviceListAfterTheSelectedDeviceWentEmptiesTheChannelStrip) {
    launch();
    ASSERT_TRUE(tap("deviceButton1"));
    ASSERT_EQ(screen->channelButtons().size(), 4u);
    screen->showDeviceList();
    driver->advance(0.6);
    driver->settle();
    auto* list = dynamic_cast<DeviceMgmtController*>(screen->presentedViewController());
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(QvDeviceManager::sharedInstance().removeDevice(QvDeviceManager::sharedInstance().deviceWithName("Gate")));
    list->closeButtonTapped();
    driver->advance(0.6);
    driver->settle();
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    ASSERT_EQ(screen->deviceButtons().size(), 1u);
    EXPECT_EQ(screen->deviceButtons()[0]->titleForState(UIControlStateNormal), "Yard");
    EXPECT_TRUE(screen->channelButtons().empty());
    EXPECT_FALSE(pane(0)->stopRenderingFrame());
}

// The more panel's device button opens the device list (pausing the
// panes); the list's add button closes it and shows the ways of adding
// over the running panes.
TEST_F(LiveViewControllerTest, TheMorePanelsDeviceButtonOpensTheDeviceListWhoseAddShowsTheChooser) {
    launch();
    ASSERT_TRUE(tap("moreButon"));
    ASSERT_TRUE(tap("addButon")) << driver->lastError();
    driver->advance(0.6);
    driver->settle();
    auto* list = dynamic_cast<DeviceMgmtController*>(screen->presentedViewController());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->mgmtType(), 0);
    EXPECT_EQ(list->devicesTable()->numberOfRowsInSection(0), 2);
    EXPECT_TRUE(pane(0)->stopRenderingFrame());
    EXPECT_EQ(screen->davc(), nullptr);
    ASSERT_TRUE(tap("navRight")) << driver->lastError();
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    ASSERT_NE(screen->davc(), nullptr);
    EXPECT_EQ(screen->davc()->view()->superview(), screen->view());
    // The chooser does not cover the panes: they draw again, and stay so
    // when the chooser is left without adding.
    EXPECT_FALSE(pane(0)->stopRenderingFrame());
    ASSERT_TRUE(driver->tapSheetButton(Localization::string("CANCEL_BUTTON"))) << driver->lastError();
    driver->advance(0.6);
    driver->settle();
    EXPECT_EQ(screen->presentedViewController(), nullptr);
    EXPECT_FALSE(pane(0)->stopRenderingFrame());
}
