// The tablet tile's own cases; what it shares with the phone's pane is in
// tests/ui/common/ChannelViewPaneTest.cpp.

#include "ui/tablet/ChannelViewControllerHD.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ui/common/PaneFixture.h"

using namespace lumora;

namespace {

class ChannelViewControllerHDTest : public test::PaneFixture<test::TabletPane> {};

TEST_F(ChannelViewControllerHDTest, AnIdleTileTellsNobodyOfAStopAndClearsItsPictureOnceLater) {
    showing(1);
    pane->stopLive();
    EXPECT_EQ(log->calls, (std::vector<std::string>{"stop"}));
    // An idle tile tells nobody.
    pane->stopLive();
    EXPECT_EQ(log->count("stop"), 1);
    const uint64_t clears = pane->glView()->clearCount();
    driver.advance(0.35);
    EXPECT_EQ(pane->glView()->clearCount(), clears + 1);
}

TEST_F(ChannelViewControllerHDTest, TheFrameIsBlueWhileNotSelectedAndGreenWhenSelected) {
    showing();
    ASSERT_TRUE(driver.waitUntil([&] { return pane->glView()->hasPicture() && pane->glView()->presentedCount() > 0; }));
    driver.settle();
    const uint32_t edge = driver.pixel(100, 0);
    EXPECT_GT((edge >> 8) & 0xFF, 120u) << std::hex << edge;
    pane->setSelected(true);
    driver.settle();
    const uint32_t green = driver.pixel(100, 0);
    EXPECT_GT((green >> 16) & 0xFF, 200u) << std::hex << green;
    if (const char* out = std::getenv("LUMORA_SCREENSHOT_DIR")) driver.saveScreenshot(std::string(out) + "/tile.png");
}

TEST_F(ChannelViewControllerHDTest, RecordingShowsASteadyLabelAndABlinkingIcon) {
    pane->startRecord();  // idle
    EXPECT_EQ(pane->state(), 0);
    showing();
    pane->stopRecord();  // not recording
    EXPECT_EQ(pane->state(), 1);
    pane->startRecord();
    pane->startRecord();
    EXPECT_EQ(pane->state(), 2);
    std::vector<bool> icon;
    for (int i = 0; i < 4; ++i) {
        driver.advance(0.7);
        icon.push_back(pane->recordIcon()->isHidden());
        EXPECT_FALSE(pane->recLabel()->isHidden());
    }
    EXPECT_NE(icon[0], icon[1]);
    EXPECT_NE(icon[1], icon[2]);
    pane->stopRecord();
    EXPECT_EQ(pane->state(), 1);
    driver.advance(1.4);
    EXPECT_TRUE(pane->recordIcon()->isHidden());
    EXPECT_TRUE(pane->recLabel()->isHidden());
}

// The tile's 3.2 s check runs to its end: talk stopped by the user within
// it still reports the failure then.
TEST_F(ChannelViewControllerHDTest, TalkStoppedWithinTheCheckIsReportedAsFailedThen) {
    showing();
    pane->startTalk();
    pane->stopTalk();
    driver.advance(3.1);
    EXPECT_EQ(log->count("talk failed"), 0);
    driver.advance(0.2);
    EXPECT_EQ(log->count("talk failed"), 1);
}

TEST_F(ChannelViewControllerHDTest, DoubleTapGoesToTheGridAndZoomOnlyWhileFull) {
    showing();
    driver.doubleTapAt(CGPoint{192, 144});
    EXPECT_EQ(log->count("double"), 1);
    pane->updateScroviewContentFrame(true);
    EXPECT_EQ(pane->scrollView()->maximumZoomScale(), 10);
    pane->updateScroviewContentFrame(false);
    EXPECT_EQ(pane->scrollView()->maximumZoomScale(), 1);
    pane->scrollViewDidEndZooming(pane->scrollView(), pane->glView(), 2);
    EXPECT_TRUE(pane->scrollView()->isScrollEnabled());
    pane->scrollViewDidEndZooming(pane->scrollView(), pane->glView(), 1);
    EXPECT_FALSE(pane->scrollView()->isScrollEnabled());
}

}  // namespace
