#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/core/Device.h"
#include "app/core/FileManager.h"
#include "app/core/QvDeviceManager.h"
#include "base/link/DataController.h"
#include "base/network/NETStatusObj.h"
#include "demo/EmulatorWorld.h"
#include "platform/Config.h"
#include "platform/runloop/RunLoop.h"
#include "platform/text/Localization.h"
#include "support/TempDir.h"
#include "ui/common/ColourBars.h"
#include "ui/common/GLVideoView.h"
#include "ui/common/ReadableTexts.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/tablet/ChannelMgmtControllerHD.h"

using namespace lumora;

namespace {

class Holder : public UIViewController {
public:
    void loadView() override { setView(new UIView(UIScreen::mainScreen().bounds())); }
};

// The tablet grid with real sessions against the device emulator on loopback.
class TabletTilesEmulatorTest : public ::testing::Test {
protected:
    TabletTilesEmulatorTest() : driver(KitTestDriver::Options{.profile = ScreenProfile::Tablet}) {}
    void SetUp() override {
        RunLoop::main();
        Config::shared().dataRoot = dir.path();
        FileManager::sharedInstance().setDefaultPaths();
        std::string error;
        ASSERT_TRUE(world.start(dir.path(), devices(), error, 300)) << error;
        Config::shared().timeScale = 0.1;
        // The network watcher's report, as the application would have it.
        NETStatusObj::sharedInstance().setIsHaveNet(true);
        NETStatusObj::sharedInstance().setIsWIFI(true);
        FileManager::sharedInstance().setDefaultPaths();
        // The list of this test's world only.
        for (auto& d : QvDeviceManager::sharedInstance().devices()) QvDeviceManager::sharedInstance().removeDevice(d);
        QvDeviceManager::sharedInstance().readDeviceList();
        gate = QvDeviceManager::sharedInstance().deviceWithName("Gate");
        ASSERT_TRUE(gate);
        holder = std::make_shared<Holder>();
        driver.setRoot(holder);
        grid = std::make_shared<ChannelMgmtControllerHD>();
        grid->createAllChannelViewControllers();
        holder->view()->addSubview(grid->view());
        grid->setViewFrame(CGRect{{0, 0}, {768, 600}});
        grid->setLayoutMode(1);
    }
    void TearDown() override {
        if (grid) grid->stopAllLive();
        driver.advance(1);
        driver.waitUntil([] { return false; }, 0.3);
        grid.reset();
        holder.reset();
        world.stop();
    }
    // The world's devices: "Gate" (4 channels, by address) unless a test's fixture says otherwise.
    virtual std::vector<EmulatorWorld::DemoDevice> devices() const { return {EmulatorWorld::defaultDevices()[0]}; }
    // Starts channels 0 .. n-1 of Gate in the first free tiles, as the live screen does.
    void startChannels(int n) {
        for (int ch = 0; ch < n; ++ch) {
            ChannelViewControllerHD* t = grid->findAvailableChannelViewControllerHD(gate->deviceId, ch);
            ASSERT_NE(t, nullptr);
            t->setDelegate(log);
            t->startLive(gate, ch);
            driver.advance(0.15);
        }
    }
    // The clip's colour bars are seen in the tile at that position; `why`
    // names the moment.
    void expectBars(int position, const std::string& why) {
        driver.settle();
        std::string seen;
        EXPECT_TRUE(test::showsColourBars(driver, grid->tileAtPosition(position)->glView(), seen)) << why << ":" << seen;
    }
    bool waitPicture(ChannelViewControllerHD* t, uint64_t more = 3) {
        const uint64_t base = t->glView()->presentedCount();
        return driver.waitUntil([&] { return t->glView()->presentedCount() >= base + more && t->glView()->hasPicture(); });
    }

    test::TempDir dir;
    EmulatorWorld world;
    KitTestDriver driver;
    std::shared_ptr<Device> gate;
    std::shared_ptr<Holder> holder;
    std::shared_ptr<ChannelMgmtControllerHD> grid;
    // What the tiles tell the live screen.
    struct TileLog : ChannelViewControllerHDDelegate {
        std::vector<std::string> failures;
        int stops = 0;
        void ChannelViewControllerHDSessionFailedForDevice(ChannelViewControllerHD*, int d, int c) override {
            failures.push_back(std::to_string(d) + " " + std::to_string(c));
        }
        void channelViewControllerHDStop(ChannelViewControllerHD*) override { ++stops; }
    };
    std::shared_ptr<TileLog> log = std::make_shared<TileLog>();
};

TEST_F(TabletTilesEmulatorTest, FourChannelsPlayInTheirTilesWithTheClipsColoursAndASwipeReachesTheCamera) {
    for (int ch = 0; ch < 4; ++ch) {
        ChannelViewControllerHD* t = grid->findAvailableChannelViewControllerHD(gate->deviceId, ch);
        ASSERT_NE(t, nullptr);
        t->startLive(gate, ch);
        driver.advance(0.15);
    }
    for (int p = 0; p < 4; ++p)
        ASSERT_TRUE(waitPicture(grid->tileAtPosition(p))) << "tile " << p << ": " << grid->tileAtPosition(p)->titleLabel()->text() << " state " << grid->tileAtPosition(p)->state() << " dev " << grid->tileAtPosition(p)->deviceId() << " presented " << grid->tileAtPosition(p)->glView()->presentedCount() << " sessions " << world.emulator(0).stats().sessions;
    driver.settle();
    for (int p = 0; p < 4; ++p)
        EXPECT_EQ(grid->tileAtPosition(p)->titleLabel()->text(), "Gate ch0" + std::to_string(p + 1));
    if (const char* out = std::getenv("LUMORA_SCREENSHOT_DIR")) driver.saveScreenshot(std::string(out) + "/tablet-four-tiles.png");
    expectBars(0, "four tiles playing");
    // Fill the grid with the first tile and swipe: pan commands reach the device.
    const long before = world.emulator(0).stats().ptzCommands;
    driver.doubleTapAt(CGPoint{190, 150});
    driver.advance(0.6);
    ASSERT_TRUE(grid->tileAtPosition(0)->channelView()->fullScreen());
    driver.advance(0.4);
    driver.press(CGPoint{300, 300});
    driver.advance(0.35);
    driver.moveTo(CGPoint{400, 300});
    driver.release(CGPoint{400, 300});
    EXPECT_TRUE(driver.waitUntil([&] { return world.emulator(0).stats().ptzCommands >= before + 2; }));
    // Stop all: every tile idle and told its session to end.
    EXPECT_EQ(grid->stopAllLive(), 4);
    for (int p = 0; p < 4; ++p) EXPECT_FALSE(grid->tileAtPosition(p)->isBusy());
}

TEST_F(TabletTilesEmulatorTest, ListenTalkRecordAndSnapshotOnALiveTile) {
    ChannelViewControllerHD* t = grid->findAvailableChannelViewControllerHD();
    ASSERT_NE(t, nullptr);
    t->startLive(gate, 0);
    driver.advance(0.15);
    ASSERT_TRUE(waitPicture(t));
    ASSERT_TRUE(driver.waitUntil([&] { return t->dataController()->isDeviceHasAudio(); }));
    ASSERT_TRUE(t->startAudio());
    EXPECT_TRUE(t->isVoiceIndicatorShown());
    EXPECT_EQ(grid->findAudioPlayingViewControllerHD(), t);
    t->startTalk();
    EXPECT_TRUE(world.emulator(0).waitForEvent("talk action=", std::chrono::seconds(10)));
    ASSERT_TRUE(driver.waitUntil([&] { return t->isStartTalk(); }));
    EXPECT_EQ(grid->findTalkingViewControllerHD(), t);
    driver.advance(4);  // the grant keeps the indicator past the 3.2 s check
    EXPECT_TRUE(t->isTalkIndicatorShown());
    t->stopTalk();
    t->stopAudio();
    EXPECT_EQ(grid->findTalkingViewControllerHD(), nullptr);
    EXPECT_EQ(grid->findAudioPlayingViewControllerHD(), nullptr);
    // A snapshot and a recording land in the media folders.
    auto filesUnder = [&](const std::string& ext) {
        std::vector<std::string> out;
        for (auto& e : std::filesystem::recursive_directory_iterator(dir.path()))
            if (e.path().extension() == ext) out.push_back(e.path().string());
        return out;
    };
    t->snapshot();
    driver.advance(0.6);
    ASSERT_TRUE(driver.waitUntil([&] { return !filesUnder(".png").empty(); }));
    t->startRecord();
    EXPECT_EQ(t->state(), 2);
    ASSERT_TRUE(waitPicture(t, 50));
    t->stopRecord();
    EXPECT_EQ(t->state(), 1);
    ASSERT_TRUE(driver.waitUntil([&] { return !filesUnder(".mp4").empty(); }));
}

// Gate closes every link after 150 packets, as a device on a poor link drops it.
class TabletTilesDroppedLinkTest : public TabletTilesEmulatorTest {
protected:
    std::vector<EmulatorWorld::DemoDevice> devices() const override {
        auto d = EmulatorWorld::defaultDevices()[0];
        d.options.closeAfter = 150;
        return {d};
    }
};

TEST_F(TabletTilesDroppedLinkTest, DroppedLinksAreRestartedByTheTilesSessionsAndThePicturesComeBack) {
    startChannels(4);
    for (int p = 0; p < 4; ++p) ASSERT_TRUE(waitPicture(grid->tileAtPosition(p))) << p;
    // Every link closes again and again (about every 3 s); each view comes
    // back by itself, with the tile live throughout.
    ASSERT_TRUE(driver.waitUntil([&] { return world.emulator(0).countEvents("login") >= 4 * 3; }, 60));
    for (int p = 0; p < 4; ++p) {
        ChannelViewControllerHD* t = grid->tileAtPosition(p);
        ASSERT_TRUE(waitPicture(t, 10)) << p << ": " << t->titleLabel()->text();
        EXPECT_EQ(t->state(), 1) << p;
        EXPECT_EQ(t->deviceId(), gate->deviceId) << p;
    }
    driver.settle();
    for (int p = 0; p < 4; ++p)
        EXPECT_EQ(grid->tileAtPosition(p)->titleLabel()->text(), "Gate ch0" + std::to_string(p + 1));
    EXPECT_TRUE(log->failures.empty());
    EXPECT_EQ(log->stops, 0);
    expectBars(0, "after the restarts");
}

// A device that goes away for half a minute (a reboot) and comes back on the
// same address: its tiles stay on their channels saying they reconnect (no
// failure, no stop), and play again by themselves once it is back, with
// their captions and no trace of the reconnecting text.
TEST_F(TabletTilesEmulatorTest, ADeviceAwayForHalfAMinuteComesBackIntoItsTilesWithoutATap) {
    startChannels(2);
    for (int p = 0; p < 2; ++p) ASSERT_TRUE(waitPicture(grid->tileAtPosition(p))) << p;
    expectBars(0, "before");
    const std::string reconnecting = Localization::string("MSG_RECONNECTING");
    world.emulator(0).goAway(std::chrono::duration_cast<std::chrono::milliseconds>(
        Config::shared().scaled(std::chrono::seconds(30))));
    for (int p = 0; p < 2; ++p) {
        ChannelViewControllerHD* t = grid->tileAtPosition(p);
        ASSERT_TRUE(driver.waitUntil([&] { return t->isReconnecting(); }, 60)) << p;
        EXPECT_EQ(t->titleLabel()->text(), reconnecting) << p;
        EXPECT_EQ(t->state(), 1) << p;
        EXPECT_EQ(t->deviceId(), gate->deviceId) << p;
        EXPECT_FALSE(t->glView()->hasPicture()) << p;
    }
    test::expectTextsReadable(driver, "reconnecting tiles");  // the waiting texts read on the black tiles
    ASSERT_TRUE(world.emulator(0).waitUntilBack(std::chrono::seconds(120)));
    for (int p = 0; p < 2; ++p) {
        ChannelViewControllerHD* t = grid->tileAtPosition(p);
        ASSERT_TRUE(waitPicture(t)) << p << ": " << t->titleLabel()->text();
        EXPECT_FALSE(t->isReconnecting()) << p;
    }
    driver.settle();
    for (int p = 0; p < 2; ++p)
        EXPECT_EQ(grid->tileAtPosition(p)->titleLabel()->text(), "Gate ch0" + std::to_string(p + 1)) << p;
    EXPECT_TRUE(gate->isOnLine.load());
    EXPECT_TRUE(log->failures.empty());
    EXPECT_EQ(log->stops, 0);
    expectBars(0, "after the device came back");
}

// A tap on a tile that waits to reconnect tries at once; a tap on a tile
// whose view failed (a refused login) starts its channel again, and once it
// plays no failure text is left on it.
TEST_F(TabletTilesEmulatorTest, ATapOnATileThatLostItsDeviceTriesAgainAtOnce) {
    startChannels(1);
    ChannelViewControllerHD* t = grid->tileAtPosition(0);
    ASSERT_TRUE(waitPicture(t));
    world.emulator(0).goAway(std::chrono::hours(1));
    ASSERT_TRUE(driver.waitUntil([&] { return t->isReconnecting(); }, 60));
    world.emulator(0).stop();
    std::string error;
    ASSERT_TRUE(world.emulator(0).start(error)) << error;
    const long sessions = world.emulator(0).stats().sessions;
    EXPECT_TRUE(t->retryNow());
    ASSERT_TRUE(waitPicture(t)) << t->titleLabel()->text();
    EXPECT_GE(world.emulator(0).stats().sessions, sessions + 1);
    driver.settle();
    EXPECT_EQ(t->titleLabel()->text(), "Gate ch01");
    EXPECT_FALSE(t->retryNow());  // playing: nothing to retry

    // A refused login ends the view with its text; the tap starts it again.
    world.emulator(0).setForcedLoginResult(2);
    grid->stopAllLive();
    startChannels(1);
    ASSERT_TRUE(driver.waitUntil([&] { return t->failedDeviceId() == gate->deviceId; }, 60));
    driver.advance(0.3);
    EXPECT_EQ(t->titleLabel()->text(), Localization::string("LOGINERROR_MSG"));
    world.emulator(0).setForcedLoginResult(0);
    const CGRect b = t->view()->bounds();
    driver.tapAt(t->view()->convertPointToView(CGPoint{b.size.width / 2, b.size.height / 2}, nullptr));
    driver.advance(0.15);
    ASSERT_TRUE(waitPicture(t)) << t->titleLabel()->text();
    driver.settle();
    EXPECT_EQ(t->titleLabel()->text(), "Gate ch01");
}

TEST_F(TabletTilesEmulatorTest, StoppingATileWhoseDeviceLeftTheListEndsItsLink) {
    startChannels(1);
    ChannelViewControllerHD* t = grid->tileAtPosition(0);
    ASSERT_TRUE(waitPicture(t));
    const size_t closed = world.emulator(0).countEvents("closed");
    QvDeviceManager::sharedInstance().removeDevice(gate);
    t->stopLive();
    EXPECT_FALSE(t->isBusy());
    EXPECT_TRUE(world.emulator(0).waitForEvent("closed", std::chrono::seconds(10), closed + 1));
}

}  // namespace
