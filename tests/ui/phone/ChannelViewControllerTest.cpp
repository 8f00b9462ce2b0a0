#include "ui/phone/ChannelViewController.h"

#include <gtest/gtest.h>

#include <atomic>
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

// What the pane tells its delegate.
struct PaneLog : ChannelViewControllerDelegate {
    std::vector<std::string> calls;
    void channelViewControllerSessionFailedForDevice(ChannelViewController*, int d, int c) override {
        calls.push_back("failed " + std::to_string(d) + " " + std::to_string(c));
    }
    void channelViewControllerDidFailedTalk(ChannelViewController*, bool failed) override {
        calls.push_back(failed ? "talk failed" : "talk granted");
    }
    void channelViewControllerDidStop(ChannelViewController*, bool s) override {
        calls.push_back(s ? "stop" : "stop NO");
    }
    void channelViewControllerShouldReloadButton(ChannelViewController*, bool r) override {
        calls.push_back(r ? "reload YES" : "reload NO");
    }
    int count(const std::string& c) const { return static_cast<int>(std::count(calls.begin(), calls.end(), c)); }
};

class Holder : public UIViewController {
public:
    void loadView() override { setView(new UIView(UIScreen::mainScreen().bounds())); }
};

// A solid YUV 4:2:0 picture.
std::vector<uint8_t> solid(int w, int h, uint8_t y, uint8_t u, uint8_t v) {
    std::vector<uint8_t> p(static_cast<size_t>(w) * h * 3 / 2, y);
    std::fill(p.begin() + w * h, p.begin() + w * h + w * h / 4, u);
    std::fill(p.begin() + w * h + w * h / 4, p.end(), v);
    return p;
}

// One pane in a window with a scripted session: the session's start is
// recorded instead of connecting, and the test plays the session's part by
// calling the pane's render callbacks (from other threads where the session
// would).
class ChannelViewControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config::shared().dataRoot = dir.path();
        gate = std::make_shared<Device>();
        gate->name = std::string("Gate");
        gate->address = std::string("127.0.0.1");
        gate->mediaPort = 1;
        gate->deviceConType = 1;
        gate->channelNum = 4;
        QvDeviceManager::sharedInstance().addDevice(gate);
        holder = std::make_shared<Holder>();
        driver.setRoot(holder);
        pane = ChannelViewController::create();
        // Held by the starter too: a start may still run on the global queue after the test.
        pane->setSessionStarter([session = session](const std::shared_ptr<Device>& d, int ch) {
            std::lock_guard<std::mutex> g(session->lock);
            session->starts.emplace_back(d ? d->deviceId : -1, ch);
        });
        holder->view()->addSubview(pane->view());
        pane->updateChannelViewFrame(CGRect{{0, 0}, {320, 260}});
        pane->setDelegate(log);
    }
    void TearDown() override {
        pane->stopLive();
        driver.advance(1);
        QvDeviceManager::sharedInstance().removeDevice(gate);
    }
    size_t startCount() {
        std::lock_guard<std::mutex> g(session->lock);
        return session->starts.size();
    }
    // From another thread, as the session does.
    template <class F>
    void fromSession(F f) {
        std::thread t(f);
        t.join();
    }
    std::string title() const { return pane->titleLabel()->text(); }

    test::TempDir dir;
    KitTestDriver driver;
    std::shared_ptr<Device> gate;
    std::shared_ptr<Holder> holder;
    std::shared_ptr<ChannelViewController> pane;
    std::shared_ptr<PaneLog> log = std::make_shared<PaneLog>();
    struct ScriptedSession {
        std::mutex lock;
        std::vector<std::pair<int, int>> starts;
    };
    std::shared_ptr<ScriptedSession> session = std::make_shared<ScriptedSession>();
};

TEST_F(ChannelViewControllerTest, StartIgnoresAMissingDeviceABadChannelAndWhatIsAlreadyShown) {
    pane->startLive(nullptr, 0);
    pane->startLive(gate, 33);
    pane->startLive(gate, -1);
    EXPECT_EQ(pane->state(), 0);
    EXPECT_EQ(pane->deviceId(), -1);
    pane->startLive(gate, 32);
    EXPECT_EQ(pane->state(), 1);
    pane->startLive(gate, 32);  // the same device and channel
    driver.advance(0.2);
    ASSERT_TRUE(driver.waitUntil([&] { return startCount() == 1; }));
    EXPECT_EQ(session->starts[0], (std::pair<int, int>{gate->deviceId, 32}));
    EXPECT_TRUE(log->calls.empty());
}

TEST_F(ChannelViewControllerTest, StartShowsConnectingAndReachesTheSessionOffTheMainThreadAfterADelay) {
    pane->startLive(gate, 0);
    EXPECT_EQ(title(), Localization::string("MSG_Con"));
    EXPECT_TRUE(pane->spinner()->isAnimating());
    EXPECT_FALSE(pane->stopRenderingFrame());
    driver.advance(0.05);
    EXPECT_EQ(startCount(), 0u);
    // A stop inside the delay voids the start.
    pane->stopLive();
    driver.advance(0.2);
    driver.waitUntil([] { return false; }, 0.1);
    EXPECT_EQ(startCount(), 0u);
    pane->startLive(gate, 1);
    driver.advance(0.11);
    ASSERT_TRUE(driver.waitUntil([&] { return startCount() == 1; }));
}

TEST_F(ChannelViewControllerTest, FirstPictureNamesTheChannelAndAsksForAButtonReload) {
    gate->isOnLine = false;
    pane->startLive(gate, 0);
    pane->renderShow(solid(64, 48, 81, 90, 240), 64, 48);  // red
    EXPECT_EQ(title(), "Gate ch01");
    EXPECT_FALSE(pane->spinner()->isAnimating());
    EXPECT_TRUE(gate->isOnLine.load());
    EXPECT_TRUE(pane->isFirstgetFrame());
    EXPECT_EQ(log->calls, (std::vector<std::string>{"reload NO"}));
    ASSERT_TRUE(driver.waitUntil([&] { return pane->glView()->hasPicture() && pane->glView()->presentedCount() > 0; }));
    driver.settle();
    const uint32_t px = driver.pixel(160, 130);
    EXPECT_GT(px >> 24, 200u) << std::hex << px;  // red
    EXPECT_LT((px >> 16) & 0xFF, 60u) << std::hex << px;
    // While rendering is off, pictures are dropped.
    pane->setStopRenderingFrame(true);
    const uint64_t before = pane->glView()->presentedCount();
    pane->renderShow(solid(64, 48, 145, 54, 34), 64, 48);
    driver.waitUntil([] { return false; }, 0.2);
    EXPECT_EQ(pane->glView()->presentedCount(), before);
}

TEST_F(ChannelViewControllerTest, StopClearsAtOnceAndAgainLaterAnErrorStopOnlyOnce) {
    struct Case {
        void (ChannelViewController::*stop)();
        uint64_t clears;
        std::string title;
    };
    for (Case c : {Case{&ChannelViewController::stopLive, 2, ""}, Case{&ChannelViewController::stopwitherr, 1, ""},
                   Case{&ChannelViewController::stopwithotherStart, 1, Localization::string("MSG_Con")}}) {
        pane->startLive(gate, 2);
        pane->renderShow(solid(64, 48, 81, 90, 240), 64, 48);
        log->calls.clear();
        const uint64_t clears = pane->glView()->clearCount();
        (pane.get()->*c.stop)();
        EXPECT_EQ(pane->state(), 0);
        EXPECT_EQ(pane->deviceId(), -1);
        EXPECT_EQ(pane->channel(), 2);  // a stop keeps the channel
        EXPECT_TRUE(pane->stopRenderingFrame());
        EXPECT_FALSE(pane->isFirstgetFrame());
        EXPECT_EQ(title(), c.title);
        EXPECT_EQ(log->calls, (std::vector<std::string>{"stop"}));
        driver.advance(0.5);
        EXPECT_EQ(pane->glView()->clearCount() - clears, c.clears);
    }
}

TEST_F(ChannelViewControllerTest, FailureTextStopsThePaneAndShowsAfterTheStopUnlessAlreadyStopped) {
    pane->startLive(gate, 1);
    fromSession([&] { pane->renderFailed("Wrong user name or password."); });
    // The state belongs to the main thread: nothing changed yet.
    EXPECT_EQ(pane->state(), 1);
    driver.settle();
    EXPECT_EQ(pane->state(), 0);
    EXPECT_EQ(log->calls, (std::vector<std::string>{"failed " + std::to_string(gate->deviceId) + " 1", "stop"}));
    EXPECT_EQ(title(), "");
    driver.advance(0.25);
    EXPECT_EQ(title(), "Wrong user name or password.");
    // A failure text after the stop is not shown.
    log->calls.clear();
    pane->startLive(gate, 1);
    pane->stopLive();
    fromSession([&] { pane->renderFailed("late"); });
    driver.advance(0.5);
    EXPECT_EQ(title(), "");
    EXPECT_EQ(log->count("failed " + std::to_string(gate->deviceId) + " 1"), 0);
}

TEST_F(ChannelViewControllerTest, RefusedTalkShowsOneAlertUntilItsButtonIsPressed) {
    pane->startLive(gate, 0);
    pane->renderShow(solid(64, 48, 81, 90, 240), 64, 48);
    log->calls.clear();
    pane->startTalk();
    fromSession([&] { pane->renderTalkGetRsp(false); });
    driver.settle();
    pane->startTalk();
    fromSession([&] { pane->renderTalkGetRsp(false); });
    driver.settle();
    EXPECT_EQ(log->count("talk failed"), 2);
    int alerts = 0;
    for (UIView* o : driver.window()->overlays())
        if (auto* a = dynamic_cast<UIAlertView*>(o); a && a->isVisible()) ++alerts;
    EXPECT_EQ(alerts, 1);
    EXPECT_TRUE(pane->canalert());
    UIAlertView* alert = UIAlertView::topmost(driver.window());
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->message(), Localization::string("NOTSUPPORTTALK"));
    ASSERT_TRUE(driver.tapAlertButton(0));
    EXPECT_FALSE(pane->canalert());
    // Nothing is reported later by a stale check.
    driver.advance(5);
    EXPECT_EQ(log->count("talk failed"), 2);
}

TEST_F(ChannelViewControllerTest, ASecondTalkRequestOwnsTheCheckTimerAndTheBlink) {
    pane->startLive(gate, 0);
    pane->renderShow(solid(64, 48, 81, 90, 240), 64, 48);
    log->calls.clear();
    pane->startTalk();
    EXPECT_TRUE(pane->isTalkBlinking());
    driver.advance(0.8);
    EXPECT_TRUE(pane->isTalkIndicatorShown());
    driver.advance(0.8);
    EXPECT_FALSE(pane->isTalkIndicatorShown());
    driver.advance(0.4);  // 2.0 s
    pane->startTalk();
    driver.advance(1.5);  // 3.5 s: the first request's check would have fired here
    EXPECT_EQ(log->count("talk failed"), 0);
    EXPECT_TRUE(pane->isTalkBlinking());
    driver.advance(1.8);  // 5.3 s: the second request's check
    EXPECT_EQ(log->count("talk failed"), 1);
    EXPECT_FALSE(pane->isTalkBlinking());
    EXPECT_FALSE(pane->isTalkIndicatorShown());
    // A grant keeps the indicator shown.
    pane->startTalk();
    fromSession([&] { pane->renderTalkGetRsp(true); });
    driver.settle();
    EXPECT_EQ(log->count("talk granted"), 1);
    EXPECT_TRUE(pane->isStartTalk());
    EXPECT_TRUE(pane->isTalkIndicatorShown());
    driver.advance(5);
    EXPECT_TRUE(pane->isTalkIndicatorShown());
    EXPECT_EQ(log->count("talk failed"), 1);
    // A stop ends the blink and the check too.
    pane->stopTalk();
    pane->startTalk();
    pane->stopLive();
    driver.advance(5);
    EXPECT_EQ(log->count("talk failed"), 1);
}

TEST_F(ChannelViewControllerTest, PanTiltCaptionsAndTheirStateRules) {
    pane->ptzControl(9);  // idle: ignored
    EXPECT_EQ(title(), "");
    pane->startLive(gate, 0);
    pane->ptzControl(9);  // still connecting: ignored
    EXPECT_EQ(title(), Localization::string("MSG_Con"));
    pane->renderShow(solid(64, 48, 81, 90, 240), 64, 48);
    const std::pair<int, const char*> table[] = {{5, "IDS_ZOOMIN"},   {6, "IDS_ZOOMOUT"},  {7, "IDS_FOCUSOUT"},
                                                 {8, "IDS_FOCUSIN"},  {9, "IDS_UP"},       {10, "IDS_DOWN"},
                                                 {11, "IDS_LEFT"},    {12, "IDS_RIGHT"},   {13, "IDS_OPTICALOUT"},
                                                 {14, "IDS_OPTICALIN"}};
    for (auto [code, key] : table) {
        pane->ptzControl(code);
        EXPECT_EQ(title(), Localization::string(key)) << code;
    }
    pane->ptzControl(0);
    EXPECT_EQ(title(), "Gate ch01");
    pane->ptzControl(99);
    EXPECT_EQ(title(), "Gate ch01");
}

TEST_F(ChannelViewControllerTest, RecordingPaneRestartedOnAnotherChannelStopsAndConnectsAgain) {
    pane->startLive(gate, 0);
    pane->renderShow(solid(64, 48, 81, 90, 240), 64, 48);
    pane->startRecord();
    EXPECT_EQ(pane->state(), 2);
    EXPECT_FALSE(pane->recLabel()->isHidden());
    log->calls.clear();
    pane->startLive(gate, 3);
    EXPECT_EQ(pane->state(), 1);
    EXPECT_EQ(pane->channel(), 3);
    EXPECT_TRUE(pane->recLabel()->isHidden());
    EXPECT_EQ(log->calls, (std::vector<std::string>{"stop"}));
    EXPECT_EQ(title(), Localization::string("MSG_Con"));
}

TEST_F(ChannelViewControllerTest, SnapshotOfADeviceWhoseNameIsNotAFolderNameWritesNothing) {
    for (const char* name : {"../../escape", "a/b", ".."}) {
        auto odd = std::make_shared<Device>();
        odd->name = std::string(name);
        odd->address = std::string("127.0.0.1");
        odd->mediaPort = 2;
        odd->deviceConType = 1;
        QvDeviceManager::sharedInstance().addDevice(odd);
        pane->startLive(odd, 0);
        pane->renderShow(solid(64, 48, 81, 90, 240), 64, 48);
        pane->snapshot();
        driver.advance(1);
        pane->renderShow(solid(64, 48, 81, 90, 240), 64, 48);
        driver.waitUntil([] { return false; }, 0.3);
        EXPECT_EQ(pane->glView()->glView()->pendingSnapshotCount(), 0u);
        pane->stopLive();
        QvDeviceManager::sharedInstance().removeDevice(odd);
    }
    // Nothing was written under the data root, and no folder appeared beside it.
    size_t pngs = 0;
    for (auto& e : fs::recursive_directory_iterator(dir.path()))
        if (e.path().extension() == ".png") ++pngs;
    EXPECT_EQ(pngs, 0u);
    const fs::path root(dir.path());
    EXPECT_FALSE(fs::exists(root.parent_path() / "escape"));
    EXPECT_FALSE(fs::exists(root / "escape"));
}

}  // namespace
