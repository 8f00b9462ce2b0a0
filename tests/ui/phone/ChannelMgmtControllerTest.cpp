#include "ui/phone/ChannelMgmtController.h"

#include <gtest/gtest.h>

#include <any>
#include <vector>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "platform/Config.h"
#include "platform/dispatch/NotificationCenter.h"
#include "platform/text/Localization.h"
#include "support/TempDir.h"
#include "ui/kit/NSNotificationQueue.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/phone/ChannelViewController.h"

using namespace lumora;

namespace {

class Holder : public UIViewController {
public:
    void loadView() override { setView(new UIView(UIScreen::mainScreen().bounds())); }
};

// The grid alone in a window at the phone's live-screen size; the panes'
// sessions are scripted (their starts go nowhere).
class ChannelMgmtControllerTest : public ::testing::Test {
protected:
    void SetUp() override { Config::shared().dataRoot = dir.path(); }
    void TearDown() override {
        for (auto id : observers) NotificationCenter::defaultCenter().removeObserver(id);
        if (gate) QvDeviceManager::sharedInstance().removeDevice(gate);
    }
    void make(ScreenProfile profile = ScreenProfile::Phone480) {
        driver = std::make_unique<KitTestDriver>(KitTestDriver::Options{profile, 1, true});
        holder = std::make_shared<Holder>();
        driver->setRoot(holder);
        grid = std::make_shared<ChannelMgmtController>();
        const CGFloat h = UIScreen::mainScreen().bounds().size.height - 127;
        grid->view()->setFrame(CGRect{{0, 0}, {320, h}});
        holder->view()->addSubview(grid->view());
        holder->addChildViewController(grid);
        grid->setIsLandscapeLayout(false);
        for (int i = 0; i < 4; ++i) grid->channelViewControllerAtIndex(i)->setSessionStarter([](auto&, int) {});
        gate = std::make_shared<Device>();
        gate->name = std::string("Gate");
        QvDeviceManager::sharedInstance().addDevice(gate);
        observers.push_back(NotificationCenter::defaultCenter().addObserver(
            ChannelSessionAutoCloseNotification, nullptr, [this](const Notification& n) {
                auto c = std::any_cast<ChannelSessionAutoClose>(n.userInfo);
                closed.emplace_back(c.DeviceId, c.Channel);
            }));
        observers.push_back(NotificationCenter::defaultCenter().addObserver(
            ChannelViewSelectionChangeNotification, nullptr,
            [this](const Notification& n) { selections.push_back(std::any_cast<int>(n.userInfo)); }));
    }
    ChannelViewController* pane(int i) { return grid->channelViewControllerAtIndex(i); }
    CGRect frame(int i) { return pane(i)->view()->frame(); }

    test::TempDir dir;
    std::unique_ptr<KitTestDriver> driver;
    std::shared_ptr<Holder> holder;
    std::shared_ptr<ChannelMgmtController> grid;
    std::shared_ptr<Device> gate;
    std::vector<NotificationCenter::ObserverId> observers;
    std::vector<std::pair<int, int>> closed;
    std::vector<int> selections;
};

TEST_F(ChannelMgmtControllerTest, FourToOneClosesEveryHiddenPaneThroughTheQueueAndSelectsTheFirst) {
    make();
    pane(1)->startLive(gate, 2);
    grid->setChannelViewNumber(1);
    // Enqueued, posted at the next turn; the idle panes too.
    EXPECT_TRUE(closed.empty());
    driver->settle();
    EXPECT_EQ(closed, (std::vector<std::pair<int, int>>{{gate->deviceId, 2}, {-1, -1}, {-1, -1}}));
    EXPECT_EQ(pane(1)->state(), 0);
    EXPECT_TRUE(pane(1)->view()->isHidden());
    EXPECT_EQ(grid->selectedChannelViewController(), pane(0));
    EXPECT_TRUE(pane(0)->isSelected());
    EXPECT_EQ(frame(0), (CGRect{{0, 0}, {320, 350}}));
    EXPECT_EQ(grid->channelViewControllerAtIndex(-1), nullptr);
    EXPECT_EQ(grid->channelViewControllerAtIndex(4), nullptr);
}

TEST_F(ChannelMgmtControllerTest, FourInchArrangementsPortraitAndLandscape) {
    make(ScreenProfile::Phone568);
    EXPECT_EQ(frame(0), (CGRect{{0, 0}, {320, 260}}));
    EXPECT_EQ(frame(1), (CGRect{{0, 260}, {320 * 2 / 3.0, 181}}));
    EXPECT_EQ(frame(2), (CGRect{{320 * 2 / 3.0, 260}, {320 / 3.0, 90.5}}));
    EXPECT_EQ(frame(3), (CGRect{{320 * 2 / 3.0, 350.5}, {320 / 3.0, 90.5}}));
    grid->view()->setFrame(CGRect{{0, 0}, {568, 320}});
    grid->setIsLandscapeLayout(true);
    EXPECT_EQ(frame(0), (CGRect{{0, 0}, {375, 320}}));
    EXPECT_EQ(frame(1), (CGRect{{375, 0}, {193, 320 * 2 / 3.0}}));
    EXPECT_EQ(frame(3), (CGRect{{375 + 96.5, 320 * 2 / 3.0}, {96.5, 320 / 3.0}}));
    EXPECT_TRUE(pane(1)->hasSmallView());
    EXPECT_FALSE(pane(0)->hasSmallView());
}

TEST_F(ChannelMgmtControllerTest, PaneChoiceAndLookUps) {
    make();
    EXPECT_EQ(grid->findAvailableChannelViewController(), pane(0));
    pane(0)->startLive(gate, 0);
    EXPECT_EQ(grid->findAvailableChannelViewController(), pane(1));
    for (int i = 1; i < 4; ++i) pane(i)->startLive(gate, i);
    // All busy: the selected pane although it is busy.
    EXPECT_EQ(grid->findAvailableChannelViewController(), pane(0));
    EXPECT_EQ(grid->findWorkingChannelViewControllerForDevice(gate->deviceId, 2), pane(2));
    EXPECT_EQ(grid->findWorkingChannelViewControllerForDevice(gate->deviceId, 7), nullptr);
    EXPECT_EQ(grid->findAudioPlayingViewController(), nullptr);
    EXPECT_EQ(grid->findTalkingViewController(), nullptr);
    grid->enableChannelViewRendering(false);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(pane(i)->stopRenderingFrame());
    grid->stopAllLive();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(pane(i)->state(), 0);
}

TEST_F(ChannelMgmtControllerTest, TouchesSelectAndNotifyTwoFingersNeitherDragNorSteer) {
    make();
    driver->tapAt(CGPoint{160, 302});  // pane 2 (small)
    EXPECT_EQ(grid->selectedChannelViewController(), pane(2));
    EXPECT_EQ(selections, (std::vector<int>{-1}));
    driver->tapAt(CGPoint{160, 302});  // the selected pane again: still notified
    EXPECT_EQ(selections.size(), 2u);
    const CGRect before = frame(1);
    driver->touchesBegin({CGPoint{50, 300}, CGPoint{60, 310}});
    driver->touchesMove({CGPoint{150, 100}, CGPoint{160, 110}});
    driver->touchesEnd({CGPoint{150, 100}, CGPoint{160, 110}});
    driver->advance(0.5);
    EXPECT_EQ(frame(1), before);
    EXPECT_EQ(grid->controllerForDraggingView(), nullptr);
}

TEST_F(ChannelMgmtControllerTest, SwipeStepsNeedFiftyPointsAndAHundredFiftyMilliseconds) {
    make();
    pane(0)->startLive(gate, 0);
    pane(0)->renderShow(std::vector<uint8_t>(64 * 48 * 3 / 2, 128), 64, 48);
    auto caption = [&] { return pane(0)->titleLabel()->text(); };
    driver->press(CGPoint{100, 100});
    driver->advance(0.2);
    driver->moveTo(CGPoint{140, 100});  // 40 points: nothing
    EXPECT_EQ(caption(), "Gate ch01");
    driver->advance(0.2);
    driver->moveTo(CGPoint{40, 100});  // 60 points left: code 12
    EXPECT_EQ(caption(), Localization::string("IDS_RIGHT"));
    const std::string right = caption();
    driver->advance(0.1);
    driver->moveTo(CGPoint{100, 170});  // too soon
    EXPECT_EQ(caption(), right);
    driver->release(CGPoint{100, 170});
    EXPECT_EQ(caption(), "Gate ch01");  // the release stops
}

}  // namespace
