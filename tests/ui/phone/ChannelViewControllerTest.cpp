// The phone pane's own cases; what it shares with the tablet's tile is in
// tests/ui/common/ChannelViewPaneTest.cpp.

#include "ui/phone/ChannelViewController.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/common/PaneFixture.h"

using namespace lumora;

namespace {

class ChannelViewControllerTest : public test::PaneFixture<test::PhonePane> {};

TEST_F(ChannelViewControllerTest, WhileRenderingIsOffPicturesAreDropped) {
    pane->startLive(gate, 0);
    pane->renderShow(kRed, 64, 48);
    ASSERT_TRUE(driver.waitUntil([&] { return pane->glView()->hasPicture() && pane->glView()->presentedCount() > 0; }));
    driver.settle();
    pane->setStopRenderingFrame(true);
    const uint64_t before = pane->glView()->presentedCount();
    pane->renderShow(test::solidPicture(64, 48, 145, 54, 34), 64, 48);
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
        pane->renderShow(kRed, 64, 48);
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

// The device's answer ends the pane's 3.2 s check: nothing is reported later.
TEST_F(ChannelViewControllerTest, AnAnswerToTalkEndsItsCheck) {
    showing();
    for (int i = 0; i < 2; ++i) {
        pane->startTalk();
        fromSession([&] { pane->renderTalkGetRsp(false); });
        driver.settle();
    }
    EXPECT_EQ(log->count("talk failed"), 2);
    ASSERT_TRUE(driver.tapAlertButton(0));
    driver.advance(5);
    EXPECT_EQ(log->count("talk failed"), 2);
    pane->startTalk();
    fromSession([&] { pane->renderTalkGetRsp(true); });
    driver.settle();
    driver.advance(5);
    EXPECT_EQ(log->count("talk failed"), 2);
    EXPECT_TRUE(pane->isTalkIndicatorShown());
}

}  // namespace
