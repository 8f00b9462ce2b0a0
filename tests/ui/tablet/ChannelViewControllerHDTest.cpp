#include "ui/tablet/ChannelViewControllerHD.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <thread>

#include "app/core/Device.h"
#include "app/core/FileManager.h"
#include "app/core/QvDeviceManager.h"
#include "base/utilities/QvGLView.h"
#include "platform/Config.h"
#include "platform/text/Localization.h"
#include "support/TempDir.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;
namespace fs = std::filesystem;

namespace {

struct TileLog : ChannelViewControllerHDDelegate, ChannelViewControllerHDGuestureDelegate {
    std::vector<std::string> calls;
    void ChannelViewControllerHDSessionFailedForDevice(ChannelViewControllerHD*, int d, int c) override {
        calls.push_back("failed " + std::to_string(d) + " " + std::to_string(c));
    }
    void channelViewControllerHDDidFailedTalk(ChannelViewControllerHD*, bool failed) override {
        calls.push_back(failed ? "talk failed" : "talk ok");
    }
    void channelViewControllerHDStop(ChannelViewControllerHD*) override { calls.push_back("stop"); }
    void channelViewControllerHDShouldReloadButton(ChannelViewControllerHD*) override { calls.push_back("reload"); }
    void ChannelViewControllerHDViewDoubleClicked(ChannelViewControllerHD*, UIGestureRecognizer*) override {
        calls.push_back("double");
    }
    int count(const std::string& c) const { return static_cast<int>(std::count(calls.begin(), calls.end(), c)); }
};

class Holder : public UIViewController {
public:
    void loadView() override { setView(new UIView(UIScreen::mainScreen().bounds())); }
};

std::vector<uint8_t> solid(int w, int h, uint8_t y, uint8_t u, uint8_t v) {
    std::vector<uint8_t> p(static_cast<size_t>(w) * h * 3 / 2, y);
    std::fill(p.begin() + w * h, p.begin() + w * h + w * h / 4, u);
    std::fill(p.begin() + w * h + w * h / 4, p.end(), v);
    return p;
}
const std::vector<uint8_t> kRed = solid(64, 48, 81, 90, 240);

std::shared_ptr<Device> makeDevice(const std::string& name, int port, int conType) {
    auto d = std::make_shared<Device>();
    d->name = name;
    d->address = std::string("127.0.0.1");
    d->mediaPort = port;
    d->deviceConType = conType;
    d->channelNum = 4;
    return d;
}

// One tile at the tablet size with a scripted session: starts are recorded
// instead of connecting, and the test plays the session's part.
class ChannelViewControllerHDTest : public ::testing::Test {
protected:
    ChannelViewControllerHDTest() : driver(KitTestDriver::Options{.profile = ScreenProfile::Tablet}) {}
    void SetUp() override {
        Config::shared().dataRoot = dir.path();
        FileManager::sharedInstance().setDefaultPaths();
        gate = makeDevice("Gate", 1, 1);
        QvDeviceManager::sharedInstance().addDevice(gate);
        holder = std::make_shared<Holder>();
        driver.setRoot(holder);
        tile = ChannelViewControllerHD::create();
        tile->setSessionStarter([session = session](const std::shared_ptr<Device>& d, int ch) {
            std::lock_guard<std::mutex> g(session->lock);
            session->starts.emplace_back(d ? d->deviceId : -1, ch);
        });
        holder->view()->addSubview(tile->view());
        tile->view()->setFrame(CGRect{{0, 0}, {384, 288}});
        tile->updateChannelViewContentFrame();
        tile->setDelegate(log);
        tile->setGusdelegate(log.get());
    }
    void TearDown() override {
        tile->stopLive();
        driver.advance(1);
        QvDeviceManager::sharedInstance().removeDevice(gate);
    }
    size_t startCount() {
        std::lock_guard<std::mutex> g(session->lock);
        return session->starts.size();
    }
    std::pair<int, int> lastStart() {
        std::lock_guard<std::mutex> g(session->lock);
        return session->starts.back();
    }
    template <class F>
    void fromSession(F f) {
        std::thread t(f);
        t.join();
    }
    void showing(int channel = 0) {
        tile->startLive(gate, channel);
        tile->renderShow(kRed, 64, 48);
        log->calls.clear();
    }
    std::string title() const { return tile->titleLabel()->text(); }

    test::TempDir dir;
    KitTestDriver driver;
    std::shared_ptr<Device> gate;
    std::shared_ptr<Holder> holder;
    std::shared_ptr<ChannelViewControllerHD> tile;
    std::shared_ptr<TileLog> log = std::make_shared<TileLog>();
    struct ScriptedSession {
        std::mutex lock;
        std::vector<std::pair<int, int>> starts;
    };
    std::shared_ptr<ScriptedSession> session = std::make_shared<ScriptedSession>();
};

TEST_F(ChannelViewControllerHDTest, StartRulesConnectingCaptionAndTheDelayedStart) {
    tile->startLive(nullptr, 0);
    tile->startLive(gate, 33);
    tile->startLive(gate, -1);
    EXPECT_EQ(tile->state(), 0);
    EXPECT_EQ(tile->deviceId(), -1);
    EXPECT_EQ(tile->channel(), -1);
    tile->startLive(gate, 32);
    EXPECT_EQ(tile->state(), 1);
    EXPECT_EQ(title(), "[Gate ch33]" + Localization::string("CONNECTING_STATUS"));
    EXPECT_TRUE(tile->spinner()->isAnimating());
    EXPECT_TRUE(tile->testLabel()->isHidden());
    tile->startLive(gate, 32);  // already shown
    driver.advance(0.05);
    EXPECT_EQ(startCount(), 0u);
    driver.advance(0.06);
    ASSERT_TRUE(driver.waitUntil([&] { return startCount() == 1; }));
    EXPECT_EQ(lastStart(), (std::pair<int, int>{gate->deviceId, 32}));
    // A stop within the delay voids the start.
    tile->stopLive();
    tile->startLive(gate, 1);
    tile->stopLive();
    driver.advance(0.3);
    driver.waitUntil([] { return false; }, 0.1);
    EXPECT_EQ(startCount(), 1u);
}

TEST_F(ChannelViewControllerHDTest, ARunningTileRestartedOnAnotherChannelIsLiveAgainForEveryKindOfDevice) {
    auto yard = makeDevice("Yard", 2, 0);  // reached by identifier
    QvDeviceManager::sharedInstance().addDevice(yard);
    for (bool recording : {false, true}) {
        showing(0);
        if (recording) tile->startRecord();
        EXPECT_EQ(tile->state(), recording ? 2 : 1);
        const size_t before = startCount();
        tile->startLive(gate, 2);  // by address
        EXPECT_EQ(tile->state(), 1);
        EXPECT_EQ(tile->channel(), 2);
        EXPECT_FALSE(tile->timerValid());
        EXPECT_TRUE(tile->recLabel()->isHidden());
        EXPECT_EQ(log->calls, (std::vector<std::string>{"stop"}));
        EXPECT_EQ(title(), "[Gate ch03]" + Localization::string("CONNECTING_STATUS"));
        driver.advance(0.15);
        ASSERT_TRUE(driver.waitUntil([&] { return startCount() == before + 1; }));
        EXPECT_EQ(lastStart(), (std::pair<int, int>{gate->deviceId, 2}));
        tile->renderShow(kRed, 64, 48);
        tile->startLive(yard, 1);
        driver.advance(0.15);
        ASSERT_TRUE(driver.waitUntil([&] { return startCount() == before + 2; }));
        EXPECT_EQ(lastStart(), (std::pair<int, int>{yard->deviceId, 1}));
        // Once the new view shows, the tile can be steered again.
        tile->renderShow(kRed, 64, 48);
        tile->startRecord();
        EXPECT_EQ(tile->state(), 2);
        tile->ptzControl(9);
        EXPECT_EQ(title(), Localization::string("IDS_UP"));
        tile->stopLive();
        driver.advance(0.5);
        log->calls.clear();
    }
    QvDeviceManager::sharedInstance().removeDevice(yard);
}

TEST_F(ChannelViewControllerHDTest, StopEndsTheSessionAlsoWhenTheDeviceLeftTheList) {
    auto gone = makeDevice("Gone", 3, 1);
    QvDeviceManager::sharedInstance().addDevice(gone);
    tile->startLive(gone, 1);
    tile->renderShow(kRed, 64, 48);
    log->calls.clear();
    QvDeviceManager::sharedInstance().removeDevice(gone);
    tile->stopLive();
    EXPECT_EQ(tile->state(), 0);
    EXPECT_EQ(tile->deviceId(), -1);
    EXPECT_EQ(tile->channel(), 1);  // a stop keeps the channel
    EXPECT_FALSE(tile->isFirstgetFrame());
    EXPECT_EQ(log->calls, (std::vector<std::string>{"stop"}));
    EXPECT_EQ(title(), "");
    // An idle tile tells nobody.
    tile->stopLive();
    EXPECT_EQ(log->count("stop"), 1);
    const uint64_t clears = tile->glView()->clearCount();
    driver.advance(0.35);
    EXPECT_EQ(tile->glView()->clearCount(), clears + 1);
}

TEST_F(ChannelViewControllerHDTest, FirstPictureNamesTheChannelAndIsDrawnInTheTile) {
    gate->isOnLine = false;
    tile->startLive(gate, 0);
    tile->renderShow(kRed, 64, 48);
    EXPECT_EQ(title(), "Gate ch01");
    EXPECT_FALSE(tile->spinner()->isAnimating());
    EXPECT_TRUE(gate->isOnLine.load());
    EXPECT_TRUE(tile->isFirstgetFrame());
    EXPECT_EQ(log->calls, (std::vector<std::string>{"reload"}));
    ASSERT_TRUE(driver.waitUntil([&] { return tile->glView()->hasPicture() && tile->glView()->presentedCount() > 0; }));
    driver.settle();
    const uint32_t px = driver.pixel(192, 144);
    EXPECT_GT(px >> 24, 200u) << std::hex << px;
    EXPECT_LT((px >> 16) & 0xFF, 60u) << std::hex << px;
    // The frame is blue while not selected, green when selected.
    const uint32_t edge = driver.pixel(100, 0);
    EXPECT_GT((edge >> 8) & 0xFF, 120u) << std::hex << edge;
    tile->setSelected(true);
    driver.settle();
    const uint32_t green = driver.pixel(100, 0);
    EXPECT_GT((green >> 16) & 0xFF, 200u) << std::hex << green;
    if (const char* out = std::getenv("LUMORA_SCREENSHOT_DIR")) driver.saveScreenshot(std::string(out) + "/tile.png");
}

TEST_F(ChannelViewControllerHDTest, FailureStopsTheTileAndShowsItsTextLater) {
    tile->startLive(gate, 1);
    fromSession([&] { tile->renderFailed("Wrong user name or password."); });
    EXPECT_EQ(tile->state(), 1);  // the state belongs to the main thread
    driver.settle();
    EXPECT_EQ(tile->state(), 0);
    EXPECT_EQ(tile->deviceId(), -1);
    EXPECT_EQ(log->calls, (std::vector<std::string>{"failed " + std::to_string(gate->deviceId) + " 1"}));
    driver.advance(0.25);
    EXPECT_EQ(title(), "Wrong user name or password.");
    // An idle tile ignores failures.
    log->calls.clear();
    fromSession([&] { tile->renderFailed("late"); });
    driver.advance(0.5);
    EXPECT_TRUE(log->calls.empty());
}

TEST_F(ChannelViewControllerHDTest, RecordingShowsASteadyLabelAndABlinkingIcon) {
    tile->startRecord();  // idle
    EXPECT_EQ(tile->state(), 0);
    showing();
    tile->stopRecord();  // not recording
    EXPECT_EQ(tile->state(), 1);
    tile->startRecord();
    tile->startRecord();
    EXPECT_EQ(tile->state(), 2);
    std::vector<bool> icon;
    for (int i = 0; i < 4; ++i) {
        driver.advance(0.7);
        icon.push_back(tile->recordIcon()->isHidden());
        EXPECT_FALSE(tile->recLabel()->isHidden());
    }
    EXPECT_NE(icon[0], icon[1]);
    EXPECT_NE(icon[1], icon[2]);
    tile->stopRecord();
    EXPECT_EQ(tile->state(), 1);
    driver.advance(1.4);
    EXPECT_TRUE(tile->recordIcon()->isHidden());
    EXPECT_TRUE(tile->recLabel()->isHidden());
}

TEST_F(ChannelViewControllerHDTest, PanTiltCaptionsNeedALiveTileWithoutSpinner) {
    tile->ptzControl(9);
    EXPECT_EQ(title(), "");
    tile->startLive(gate, 0);
    tile->ptzControl(9);  // still connecting
    EXPECT_EQ(title(), "[Gate ch01]" + Localization::string("CONNECTING_STATUS"));
    tile->renderShow(kRed, 64, 48);
    const std::pair<int, const char*> table[] = {{5, "IDS_ZOOMIN"},  {6, "IDS_ZOOMOUT"}, {7, "IDS_FOCUSOUT"},
                                                 {8, "IDS_FOCUSIN"}, {9, "IDS_UP"},      {10, "IDS_DOWN"},
                                                 {11, "IDS_LEFT"},   {12, "IDS_RIGHT"},  {13, "IDS_OPTICALOUT"},
                                                 {14, "IDS_OPTICALIN"}};
    for (auto [code, key] : table) {
        tile->ptzControl(code);
        EXPECT_EQ(title(), Localization::string(key)) << code;
    }
    tile->ptzControl(0);
    EXPECT_EQ(title(), "Gate ch01");
    for (int other : {1, 4, 15, 99}) {
        tile->ptzControl(other);
        EXPECT_EQ(title(), "Gate ch01") << other;
    }
}

TEST_F(ChannelViewControllerHDTest, TalkBlinksChecksOnceAndShowsOneRefusalAlertAtATime) {
    showing();
    tile->startTalk();
    EXPECT_TRUE(tile->isTalkBlinking());
    driver.advance(0.8);
    EXPECT_TRUE(tile->isTalkIndicatorShown());
    driver.advance(0.8);
    EXPECT_FALSE(tile->isTalkIndicatorShown());
    driver.advance(0.4);
    tile->startTalk();  // the first request's check must not fire at 3.2 s
    driver.advance(1.5);
    EXPECT_EQ(log->count("talk failed"), 0);
    driver.advance(1.8);
    EXPECT_EQ(log->count("talk failed"), 1);
    EXPECT_FALSE(tile->isTalkBlinking());
    // Talk stopped by the user within 3.2 s still reports the failure then.
    tile->startTalk();
    tile->stopTalk();
    driver.advance(3.3);
    EXPECT_EQ(log->count("talk failed"), 2);
    // Granted: steady indicator.
    tile->startTalk();
    fromSession([&] { tile->renderTalkGetRsp(true); });
    driver.settle();
    EXPECT_TRUE(tile->isStartTalk());
    driver.advance(4);
    EXPECT_TRUE(tile->isTalkIndicatorShown());
    EXPECT_EQ(log->count("talk failed"), 2);
    tile->stopTalk();
    // Refused twice: one alert until its button is pressed.
    for (int i = 0; i < 2; ++i) {
        tile->startTalk();
        fromSession([&] { tile->renderTalkGetRsp(false); });
        driver.settle();
    }
    EXPECT_EQ(log->count("talk failed"), 4);
    int alerts = 0;
    for (UIView* o : driver.window()->overlays())
        if (auto* a = dynamic_cast<UIAlertView*>(o); a && a->isVisible()) ++alerts;
    EXPECT_EQ(alerts, 1);
    ASSERT_TRUE(driver.tapAlertButton(0));
    EXPECT_FALSE(tile->canalert());
    tile->startTalk();
    fromSession([&] { tile->renderTalkGetRsp(false); });
    driver.settle();
    EXPECT_TRUE(tile->canalert());
    ASSERT_TRUE(driver.tapAlertButton(0));
    // A stop ends the pending check too.
    tile->startTalk();
    tile->stopLive();
    const int failed = log->count("talk failed");
    driver.advance(4);
    EXPECT_EQ(log->count("talk failed"), failed);
}

TEST_F(ChannelViewControllerHDTest, SnapshotOfADeviceWhoseNameIsNotAFolderNameWritesNothing) {
    for (const char* name : {"../../escape", "a/b", ".."}) {
        auto odd = makeDevice(name, 4, 1);
        QvDeviceManager::sharedInstance().addDevice(odd);
        tile->startLive(odd, 0);
        tile->renderShow(kRed, 64, 48);
        tile->snapshot();
        driver.advance(1);
        tile->renderShow(kRed, 64, 48);
        driver.waitUntil([] { return false; }, 0.3);
        EXPECT_EQ(tile->glView()->glView()->pendingSnapshotCount(), 0u) << name;
        tile->stopLive();
        QvDeviceManager::sharedInstance().removeDevice(odd);
    }
    size_t pngs = 0;
    for (auto& e : fs::recursive_directory_iterator(dir.path()))
        if (e.path().extension() == ".png") ++pngs;
    EXPECT_EQ(pngs, 0u);
    EXPECT_FALSE(fs::exists(fs::path(dir.path()).parent_path() / "escape"));
    // A plain name is written.
    showing();
    tile->snapshot();
    driver.advance(0.6);
    ASSERT_TRUE(driver.waitUntil([&] {
        tile->renderShow(kRed, 64, 48);
        for (auto& e : fs::recursive_directory_iterator(dir.path()))
            if (e.path().extension() == ".png") return true;
        return false;
    }));
}

TEST_F(ChannelViewControllerHDTest, DoubleTapGoesToTheGridAndZoomOnlyWhileFull) {
    showing();
    driver.doubleTapAt(CGPoint{192, 144});
    EXPECT_EQ(log->count("double"), 1);
    tile->updateScroviewContentFrame(true);
    EXPECT_EQ(tile->scrollView()->maximumZoomScale(), 10);
    tile->updateScroviewContentFrame(false);
    EXPECT_EQ(tile->scrollView()->maximumZoomScale(), 1);
    tile->scrollViewDidEndZooming(tile->scrollView(), tile->glView(), 2);
    EXPECT_TRUE(tile->scrollView()->isScrollEnabled());
    tile->scrollViewDidEndZooming(tile->scrollView(), tile->glView(), 1);
    EXPECT_FALSE(tile->scrollView()->isScrollEnabled());
}

}  // namespace
