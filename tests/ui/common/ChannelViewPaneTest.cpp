// What the phone's video pane and the tablet's video tile do alike, run
// against both: the start rules and the delayed start, the first picture,
// stops, failures, restarts on another channel, pan/tilt captions, talk and
// snapshots. Each family's own cases stay in its own folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/utilities/QvGLView.h"
#include "ui/common/PaneFixture.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIWindow.h"

using namespace lumora;
using test::PaneFixture;
using test::PhonePane;
using test::TabletPane;
namespace fs = std::filesystem;

namespace {

template <class Family>
class ChannelViewPaneTest : public PaneFixture<Family> {};

struct FamilyNames {
    template <class T>
    static std::string GetName(int) {
        return std::is_same_v<T, PhonePane> ? "Phone" : "Tablet";
    }
};

using Families = ::testing::Types<PhonePane, TabletPane>;
TYPED_TEST_SUITE(ChannelViewPaneTest, Families, FamilyNames);

TYPED_TEST(ChannelViewPaneTest, StartRulesConnectingCaptionAndTheDelayedStart) {
    auto& pane = this->pane;
    auto& driver = this->driver;
    auto& gate = this->gate;
    pane->startLive(nullptr, 0);
    pane->startLive(gate, 33);
    pane->startLive(gate, -1);
    EXPECT_EQ(pane->state(), 0);
    EXPECT_EQ(pane->deviceId(), -1);
    EXPECT_EQ(pane->channel(), -1);
    pane->startLive(gate, 32);
    EXPECT_EQ(pane->state(), 1);
    EXPECT_EQ(this->title(), TypeParam::connecting("Gate", 32));
    EXPECT_TRUE(pane->spinner()->isAnimating());
    EXPECT_FALSE(pane->stopRenderingFrame());
    TypeParam::expectStarting(*pane);
    pane->startLive(gate, 32);  // the same device and channel: already shown
    driver.advance(0.05);
    EXPECT_EQ(this->startCount(), 0u);
    driver.advance(0.06);
    ASSERT_TRUE(driver.waitUntil([&] { return this->startCount() == 1; }));
    EXPECT_EQ(this->lastStart(), (std::pair<int, int>{gate->deviceId, 32}));
    EXPECT_TRUE(this->log->calls.empty());
    // A stop within the delay voids the start.
    pane->stopLive();
    pane->startLive(gate, 1);
    driver.advance(0.05);
    EXPECT_EQ(this->startCount(), 1u);
    pane->stopLive();
    driver.advance(0.3);
    driver.waitUntil([] { return false; }, 0.1);
    EXPECT_EQ(this->startCount(), 1u);
    // The session is reached off the main thread after the delay.
    pane->startLive(gate, 1);
    driver.advance(0.11);
    ASSERT_TRUE(driver.waitUntil([&] { return this->startCount() == 2; }));
    EXPECT_EQ(this->lastStart(), (std::pair<int, int>{gate->deviceId, 1}));
}

TYPED_TEST(ChannelViewPaneTest, FirstPictureNamesTheChannelIsDrawnAndAsksForAButtonReload) {
    auto& pane = this->pane;
    auto& driver = this->driver;
    this->gate->isOnLine = false;
    pane->startLive(this->gate, 0);
    pane->renderShow(this->kRed, 64, 48);
    EXPECT_EQ(this->title(), "Gate ch01");
    EXPECT_FALSE(pane->spinner()->isAnimating());
    EXPECT_TRUE(this->gate->isOnLine.load());
    EXPECT_TRUE(pane->isFirstgetFrame());
    EXPECT_EQ(pane->paneState(), PaneState::Playing);
    EXPECT_EQ(this->log->calls, (std::vector<std::string>{TypeParam::kFirstPictureCall}));
    ASSERT_TRUE(driver.waitUntil([&] { return pane->glView()->hasPicture() && pane->glView()->presentedCount() > 0; }));
    driver.settle();
    const CGPoint c = this->centre();
    const uint32_t px = driver.pixel(static_cast<int>(c.x), static_cast<int>(c.y));
    EXPECT_GT(px >> 24, 200u) << std::hex << px;  // red
    EXPECT_LT((px >> 16) & 0xFF, 60u) << std::hex << px;
}

TYPED_TEST(ChannelViewPaneTest, StopEndsTheSessionAlsoWhenTheDeviceLeftTheList) {
    auto& pane = this->pane;
    auto gone = test::makePaneDevice("Gone", 3, 1);
    QvDeviceManager::sharedInstance().addDevice(gone);
    pane->startLive(gone, 1);
    pane->renderShow(this->kRed, 64, 48);
    this->log->calls.clear();
    QvDeviceManager::sharedInstance().removeDevice(gone);
    pane->stopLive();
    EXPECT_EQ(pane->state(), 0);
    EXPECT_EQ(pane->paneState(), PaneState::Idle);
    EXPECT_EQ(pane->deviceId(), -1);
    EXPECT_EQ(pane->channel(), 1);  // a stop keeps the channel
    EXPECT_TRUE(pane->stopRenderingFrame());
    EXPECT_FALSE(pane->isFirstgetFrame());
    EXPECT_EQ(this->log->calls, (std::vector<std::string>{"stop"}));
    EXPECT_EQ(this->title(), "");
}

TYPED_TEST(ChannelViewPaneTest, FailureStopsThePaneShowsItsTextLaterAndIsIgnoredOnceStopped) {
    auto& pane = this->pane;
    auto& driver = this->driver;
    auto& log = this->log;
    const int gateId = this->gate->deviceId;
    pane->startLive(this->gate, 1);
    this->fromSession([&] { pane->renderFailed("Wrong user name or password."); });
    // The state belongs to the main thread: nothing changed yet.
    EXPECT_EQ(pane->state(), 1);
    driver.settle();
    EXPECT_EQ(pane->state(), 0);
    EXPECT_EQ(pane->deviceId(), -1);
    EXPECT_EQ(pane->paneState(), PaneState::Failed);
    EXPECT_EQ(pane->failedDeviceId(), gateId);
    EXPECT_EQ(log->calls, TypeParam::failureCalls(gateId, 1));
    EXPECT_EQ(this->title(), "");
    driver.advance(0.25);
    EXPECT_EQ(this->title(), "Wrong user name or password.");
    // An idle pane ignores failures.
    log->calls.clear();
    this->fromSession([&] { pane->renderFailed("late"); });
    driver.advance(0.5);
    EXPECT_TRUE(log->calls.empty());
    // A failure text after a stop is not shown.
    pane->startLive(this->gate, 1);
    pane->stopLive();
    this->fromSession([&] { pane->renderFailed("late"); });
    driver.advance(0.5);
    EXPECT_EQ(this->title(), "");
    EXPECT_EQ(log->count("failed " + std::to_string(gateId) + " 1"), 0);
}

TYPED_TEST(ChannelViewPaneTest, ARunningPaneRestartedOnAnotherChannelIsLiveAgainForEveryKindOfDevice) {
    auto& pane = this->pane;
    auto& driver = this->driver;
    auto& gate = this->gate;
    auto& log = this->log;
    auto yard = test::makePaneDevice("Yard", 2, 0);  // reached by identifier
    QvDeviceManager::sharedInstance().addDevice(yard);
    for (bool recording : {false, true}) {
        this->showing(0);
        if (recording) {
            pane->startRecord();
            EXPECT_FALSE(pane->recLabel()->isHidden());
        }
        EXPECT_EQ(pane->state(), recording ? 2 : 1);
        const size_t before = this->startCount();
        pane->startLive(gate, 2);  // by address
        EXPECT_EQ(pane->state(), 1);
        EXPECT_EQ(pane->channel(), 2);
        TypeParam::expectRestarted(*pane);
        EXPECT_TRUE(pane->recLabel()->isHidden());
        EXPECT_EQ(log->calls, (std::vector<std::string>{"stop"}));
        EXPECT_EQ(this->title(), TypeParam::connecting("Gate", 2));
        driver.advance(0.15);
        ASSERT_TRUE(driver.waitUntil([&] { return this->startCount() == before + 1; }));
        EXPECT_EQ(this->lastStart(), (std::pair<int, int>{gate->deviceId, 2}));
        pane->renderShow(this->kRed, 64, 48);
        pane->startLive(yard, 1);
        driver.advance(0.15);
        ASSERT_TRUE(driver.waitUntil([&] { return this->startCount() == before + 2; }));
        EXPECT_EQ(this->lastStart(), (std::pair<int, int>{yard->deviceId, 1}));
        // Once the new view shows, the pane can be steered again.
        pane->renderShow(this->kRed, 64, 48);
        pane->startRecord();
        EXPECT_EQ(pane->state(), 2);
        pane->ptzControl(9);
        EXPECT_EQ(this->title(), Localization::string("IDS_UP"));
        pane->stopLive();
        driver.advance(0.5);
        log->calls.clear();
    }
    QvDeviceManager::sharedInstance().removeDevice(yard);
}

TYPED_TEST(ChannelViewPaneTest, PanTiltCaptionsNeedALivePaneWithoutSpinner) {
    auto& pane = this->pane;
    pane->ptzControl(9);  // idle: ignored
    EXPECT_EQ(this->title(), "");
    pane->startLive(this->gate, 0);
    pane->ptzControl(9);  // still connecting: ignored
    EXPECT_EQ(this->title(), TypeParam::connecting("Gate", 0));
    pane->renderShow(this->kRed, 64, 48);
    const std::pair<int, const char*> table[] = {{5, "IDS_ZOOMIN"},  {6, "IDS_ZOOMOUT"}, {7, "IDS_FOCUSOUT"},
                                                 {8, "IDS_FOCUSIN"}, {9, "IDS_UP"},      {10, "IDS_DOWN"},
                                                 {11, "IDS_LEFT"},   {12, "IDS_RIGHT"},  {13, "IDS_OPTICALOUT"},
                                                 {14, "IDS_OPTICALIN"}};
    for (auto [code, key] : table) {
        pane->ptzControl(code);
        EXPECT_EQ(this->title(), Localization::string(key)) << code;
    }
    pane->ptzControl(0);
    EXPECT_EQ(this->title(), "Gate ch01");
    for (int other : {1, 4, 15, 99}) {
        pane->ptzControl(other);
        EXPECT_EQ(this->title(), "Gate ch01") << other;
    }
}

TYPED_TEST(ChannelViewPaneTest, ASecondTalkRequestOwnsTheCheckTimerAndTheBlink) {
    auto& pane = this->pane;
    auto& driver = this->driver;
    auto& log = this->log;
    this->showing();
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
}

TYPED_TEST(ChannelViewPaneTest, AGrantKeepsTheIndicatorPastTheCheckAndAStopEndsThePendingCheck) {
    auto& pane = this->pane;
    auto& driver = this->driver;
    auto& log = this->log;
    this->showing();
    pane->startTalk();
    this->fromSession([&] { pane->renderTalkGetRsp(true); });
    driver.settle();
    EXPECT_EQ(log->count(TypeParam::kGrantCall), TypeParam::kGrantCalls);
    EXPECT_TRUE(pane->isStartTalk());
    EXPECT_TRUE(pane->isTalkIndicatorShown());
    driver.advance(5);
    EXPECT_TRUE(pane->isTalkIndicatorShown());
    EXPECT_EQ(log->count("talk failed"), 0);
    // A stop ends the blink and the check too.
    pane->stopTalk();
    pane->startTalk();
    pane->stopLive();
    driver.advance(5);
    EXPECT_EQ(log->count("talk failed"), 0);
    EXPECT_FALSE(pane->isTalkBlinking());
}

TYPED_TEST(ChannelViewPaneTest, RefusedTalkShowsOneAlertUntilItsButtonIsPressed) {
    auto& pane = this->pane;
    auto& driver = this->driver;
    auto& log = this->log;
    this->showing();
    for (int i = 0; i < 2; ++i) {
        pane->startTalk();
        this->fromSession([&] { pane->renderTalkGetRsp(false); });
        driver.settle();
    }
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
    // The next refusal shows the alert again.
    pane->startTalk();
    this->fromSession([&] { pane->renderTalkGetRsp(false); });
    driver.settle();
    EXPECT_TRUE(pane->canalert());
    ASSERT_TRUE(driver.tapAlertButton(0));
}

TYPED_TEST(ChannelViewPaneTest, SnapshotOfADeviceWhoseNameIsNotAFolderNameWritesNothing) {
    auto& pane = this->pane;
    auto& driver = this->driver;
    for (const char* name : {"../../escape", "a/b", ".."}) {
        auto odd = test::makePaneDevice(name, 4, 1);
        QvDeviceManager::sharedInstance().addDevice(odd);
        pane->startLive(odd, 0);
        pane->renderShow(this->kRed, 64, 48);
        pane->snapshot();
        driver.advance(1);
        pane->renderShow(this->kRed, 64, 48);
        driver.waitUntil([] { return false; }, 0.3);
        EXPECT_EQ(pane->glView()->glView()->pendingSnapshotCount(), 0u) << name;
        pane->stopLive();
        QvDeviceManager::sharedInstance().removeDevice(odd);
    }
    // Nothing was written under the data root, and no folder appeared beside it.
    auto pngs = [&] {
        size_t n = 0;
        for (auto& e : fs::recursive_directory_iterator(this->dir.path()))
            if (e.path().extension() == ".png") ++n;
        return n;
    };
    EXPECT_EQ(pngs(), 0u);
    const fs::path root(this->dir.path());
    EXPECT_FALSE(fs::exists(root.parent_path() / "escape"));
    EXPECT_FALSE(fs::exists(root / "escape"));
    // A plain name is written.
    this->showing();
    pane->snapshot();
    driver.advance(0.6);
    ASSERT_TRUE(driver.waitUntil([&] {
        pane->renderShow(this->kRed, 64, 48);
        return pngs() > 0;
    }));
}

}  // namespace
