#include "ui/tablet/ChannelMgmtControllerHD.h"

#include <gtest/gtest.h>

#include "app/core/Device.h"
#include "app/core/FileManager.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "platform/Config.h"
#include "platform/text/Localization.h"
#include "support/TempDir.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

class Holder : public UIViewController {
public:
    void loadView() override { setView(new UIView(UIScreen::mainScreen().bounds())); }
};

struct GridLog : ChannelMgmtControllerDelegate {
    int begins = 0, ends = 0;
    ChannelViewControllerHD* lastEnd = nullptr;
    void channelMgmtControllerTouchesBegin(ChannelMgmtControllerHD*, const UITouchSet&) override { ++begins; }
    void channelMgmtControllerTouchesEnd(ChannelMgmtControllerHD*, ChannelViewControllerHD* t, const UITouchSet&) override {
        ++ends;
        lastEnd = t;
    }
};

std::vector<uint8_t> grey(int w, int h) { return std::vector<uint8_t>(static_cast<size_t>(w) * h * 3 / 2, 128); }

// The grid at 700x500 points (odd thirds and halves) in a tablet window,
// its tiles on a scripted session that never connects.
class ChannelMgmtControllerHDTest : public ::testing::Test {
protected:
    ChannelMgmtControllerHDTest() : driver(KitTestDriver::Options{.profile = ScreenProfile::Tablet}) {}
    void SetUp() override {
        Config::shared().dataRoot = dir.path();
        FileManager::sharedInstance().setDefaultPaths();
        gate = std::make_shared<Device>();
        gate->name = std::string("Gate");
        gate->address = std::string("127.0.0.1");
        gate->mediaPort = 1;
        gate->deviceConType = 1;
        gate->channelNum = 16;
        QvDeviceManager::sharedInstance().addDevice(gate);
        holder = std::make_shared<Holder>();
        driver.setRoot(holder);
        grid = std::make_shared<ChannelMgmtControllerHD>();
        grid->createAllChannelViewControllers();
        for (int i = 0; i < grid->numberOfChannelViewControllerHDs(); ++i)
            grid->ChannelViewControllerHDAtIndex(i)->setSessionStarter([](const std::shared_ptr<Device>&, int) {});
        holder->view()->addSubview(grid->view());
        grid->setDelegate(log);
        grid->setViewFrame(CGRect{{0, 0}, {700, 500}});
    }
    void TearDown() override {
        grid->stopAllLive();
        driver.advance(1);
        QvDeviceManager::sharedInstance().removeDevice(gate);
    }
    // A tile showing pictures (live, spinner stopped).
    void live(ChannelViewControllerHD* t, int channel) {
        t->startLive(gate, channel);
        t->renderShow(grey(32, 24), 32, 24);
    }
    CGRect frameAt(int position) { return grid->tileAtPosition(position)->view()->frame(); }
    CGPoint centreAt(int position) {
        CGRect f = frameAt(position);
        return CGPoint{f.origin.x + f.size.width / 2, f.origin.y + f.size.height / 2};
    }

    test::TempDir dir;
    KitTestDriver driver;
    std::shared_ptr<Device> gate;
    std::shared_ptr<Holder> holder;
    std::shared_ptr<ChannelMgmtControllerHD> grid;
    std::shared_ptr<GridLog> log = std::make_shared<GridLog>();
};

void expectRect(const CGRect& r, double x, double y, double w, double h, const std::string& what) {
    EXPECT_DOUBLE_EQ(r.origin.x, x) << what;
    EXPECT_DOUBLE_EQ(r.origin.y, y) << what;
    EXPECT_DOUBLE_EQ(r.size.width, w) << what;
    EXPECT_DOUBLE_EQ(r.size.height, h) << what;
}

TEST_F(ChannelMgmtControllerHDTest, FiveLayoutsWithTheirRoundingAndTheSavedStyle) {
    const float third = static_cast<float>(167.0 + 0.3);  // nine tiles: whole third plus 0.3, single precision
    struct Case {
        int mode, shown, position;
        double x, y, w, h;
    } cases[] = {
        {0, 1, 0, 0, 0, 700, 500},
        {1, 4, 3, 350, 250, 350, 250},
        {2, 6, 0, 0, 0, 467, 333},
        {2, 6, 2, 467, 167, 234, 167},
        {2, 6, 4, 234, 332, 234, 167},  // two points above the big tile's edge
        {3, 9, 8, 466, double(2 * third), 233, double(third)},
        {4, 16, 15, 525, 375, 175, 125},
    };
    for (const Case& c : cases) {
        grid->setLayoutMode(c.mode);
        const std::string what = "mode " + std::to_string(c.mode) + " position " + std::to_string(c.position);
        EXPECT_EQ(grid->curViewNum(), c.shown) << what;
        EXPECT_EQ(static_cast<int>(grid->curShowingViewIds().size()), c.shown) << what;
        EXPECT_EQ(QvApplicationPreference::sharedInstance().layoutStyle(), c.mode) << what;
        expectRect(frameAt(c.position), c.x, c.y, c.w, c.h, what);
        int visible = 0;
        for (int i = 0; i < 16; ++i) visible += grid->ChannelViewControllerHDAtIndex(i)->view()->isHidden() ? 0 : 1;
        EXPECT_EQ(visible, c.shown) << what;
    }
    grid->setLayoutMode(7);
    EXPECT_TRUE(grid->curShowingViewIds().empty());
    EXPECT_EQ(grid->layoutMode(), 7);
    EXPECT_EQ(grid->curMode(), 4);
    EXPECT_EQ(QvApplicationPreference::sharedInstance().layoutStyle(), 0);
    driver.settle();
    if (const char* out = std::getenv("LUMORA_SCREENSHOT_DIR")) driver.saveScreenshot(std::string(out) + "/grid16.png");
}

TEST_F(ChannelMgmtControllerHDTest, DraggingATileOntoAnotherSwapsTheirPositionsButNeverWithAHiddenOne) {
    grid->setLayoutMode(1);
    ChannelViewControllerHD* first = grid->tileAtPosition(0);
    ChannelViewControllerHD* second = grid->tileAtPosition(1);
    driver.drag(centreAt(0), centreAt(1), 10);
    driver.advance(0.5);
    EXPECT_EQ(grid->tileAtPosition(1), first);
    EXPECT_EQ(grid->tileAtPosition(0), second);
    EXPECT_EQ(first->channelView()->layoutTag(), 1);
    EXPECT_EQ(second->channelView()->layoutTag(), 0);
    expectRect(first->view()->frame(), 350, 0, 350, 250, "dragged home");
    expectRect(second->view()->frame(), 0, 0, 350, 250, "other moved");
    EXPECT_EQ(grid->selectedChannelViewIndex(), grid->indexOfChannelViewControllerHD(first));
    EXPECT_TRUE(first->channelView()->selected());
    EXPECT_EQ(log->begins, 1);
    EXPECT_EQ(log->ends, 1);
    EXPECT_EQ(log->lastEnd, first);
    // Hidden tiles (positions 4..15) keep their places whatever lies under the finger.
    grid->setLayoutMode(0);
    driver.drag(CGPoint{100, 100}, CGPoint{600, 400}, 10);
    driver.advance(0.5);
    for (int p = 0; p < 16; ++p) EXPECT_EQ(grid->ChannelViewControllerHDAtIndex(grid->locationQueue(p))->channelView()->layoutTag(), p);
    EXPECT_EQ(grid->tileAtPosition(0), second);
}

TEST_F(ChannelMgmtControllerHDTest, DoubleTapFillsTheGridAndBackIntoTheExactCell) {
    grid->setLayoutMode(3);
    ChannelViewControllerHD* t = grid->tileAtPosition(4);
    driver.doubleTapAt(centreAt(4));
    EXPECT_TRUE(grid->fullMode());
    driver.advance(0.6);
    expectRect(t->view()->frame(), 0, 0, 700, 500, "full");
    EXPECT_TRUE(t->channelView()->fullScreen());
    EXPECT_EQ(t->scrollView()->maximumZoomScale(), 10);
    // Re-applying the mode keeps the full tile's frame.
    grid->setLayoutMode(3);
    expectRect(t->view()->frame(), 0, 0, 700, 500, "full after re-layout");
    driver.doubleTapAt(CGPoint{350, 250});
    driver.advance(0.8);
    EXPECT_FALSE(grid->fullMode());
    EXPECT_FALSE(t->channelView()->fullScreen());
    expectRect(t->view()->frame(), 700.0 / 3, 500.0 / 3, 700.0 / 3, 500.0 / 3, "back");
    EXPECT_EQ(t->scrollView()->maximumZoomScale(), 1);
    // A double tap after a finger moved does nothing.
    driver.press(centreAt(4));
    driver.moveTo(CGPoint{centreAt(4).x + 3, centreAt(4).y});
    grid->setDoubleTappedSubview(t, true);
    EXPECT_FALSE(grid->fullMode());
    driver.release(CGPoint{centreAt(4).x + 3, centreAt(4).y});
}

TEST_F(ChannelMgmtControllerHDTest, SwipeOnTheFullTileSteersOncePer300Milliseconds) {
    grid->setLayoutMode(1);
    ChannelViewControllerHD* t = grid->tileAtPosition(0);
    live(t, 0);
    driver.doubleTapAt(centreAt(0));
    driver.advance(0.6);
    ASSERT_TRUE(t->channelView()->fullScreen());
    driver.advance(0.4);
    driver.press(CGPoint{300, 300});
    driver.advance(0.35);
    driver.moveTo(CGPoint{351, 300});  // more than 50 points right
    EXPECT_EQ(t->titleLabel()->text(), Localization::string("IDS_LEFT"));
    driver.moveTo(CGPoint{351, 200});  // within 300 ms: ignored
    EXPECT_EQ(t->titleLabel()->text(), Localization::string("IDS_LEFT"));
    driver.advance(0.31);
    driver.moveTo(CGPoint{300, 240});  // up by exactly 60 but sideways 0
    EXPECT_EQ(t->titleLabel()->text(), Localization::string("IDS_DOWN"));
    driver.advance(0.31);
    driver.moveTo(CGPoint{250, 250});  // exactly 50 each way: nothing
    EXPECT_EQ(t->titleLabel()->text(), Localization::string("IDS_DOWN"));
    driver.release(CGPoint{250, 250});
    EXPECT_EQ(t->titleLabel()->text(), "Gate ch01");  // the stop restores the caption
}

TEST_F(ChannelMgmtControllerHDTest, TileChoiceForANewViewAlsoAfterSwapsAndAfterTheViewWasUnloaded) {
    grid->setLayoutMode(4);
    // Swap positions 0 and 9, then show four tiles.
    driver.drag(centreAt(0), centreAt(9), 12);
    driver.advance(0.5);
    grid->setLayoutMode(1);
    // The selected tile now stands at hidden position 9: a new view goes to a shown one.
    ChannelViewControllerHD* selected = grid->ChannelViewControllerHDAtIndex(grid->selectedChannelViewIndex());
    ASSERT_EQ(selected->channelView()->layoutTag(), 9);
    ChannelViewControllerHD* next = grid->findAvailableChannelViewControllerHD();
    EXPECT_EQ(next, grid->tileAtPosition(0));
    live(next, 0);
    next = grid->findAvailableChannelViewControllerHD();
    EXPECT_EQ(next, grid->tileAtPosition(1));
    // By device and channel first.
    EXPECT_EQ(grid->findAvailableChannelViewControllerHD(gate->deviceId, 0), grid->tileAtPosition(0));
    // Unloaded: no tile selected; the first free shown tile, else position 0.
    grid->viewDidUnload();
    EXPECT_EQ(grid->selectedChannelViewIndex(), -1);
    EXPECT_EQ(grid->numberOfChannelViewControllerHDs(), 17);
    next = grid->findAvailableChannelViewControllerHD();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next, grid->tileAtPosition(1));
    live(next, 1);
    EXPECT_EQ(grid->findAvailableChannelViewControllerHD(), grid->tileAtPosition(2));
    for (int p = 2; p < 4; ++p) live(grid->tileAtPosition(p), p);
    EXPECT_EQ(grid->findAvailableChannelViewControllerHD(), grid->tileAtPosition(0));
    grid->setViewFrame(CGRect{{0, 0}, {700, 500}});  // no selected tile: nothing to do for it
    EXPECT_EQ(grid->stopAllLive(), 4);
}

TEST_F(ChannelMgmtControllerHDTest, TwoFingersNeitherDragNorSwapAndTheirEndActsAsACancel) {
    grid->setLayoutMode(1);
    ChannelViewControllerHD* t = grid->tileAtPosition(3);
    const CGRect home = t->view()->frame();
    const CGPoint a = centreAt(3), b{centreAt(3).x + 40, centreAt(3).y};
    driver.touchesBegin({a, b});
    driver.touchesMove({CGPoint{a.x - 350, a.y - 250}, CGPoint{b.x - 350, b.y - 250}});
    driver.touchesEnd({CGPoint{a.x - 350, a.y - 250}, CGPoint{b.x - 350, b.y - 250}});
    driver.advance(0.5);
    expectRect(t->view()->frame(), home.origin.x, home.origin.y, home.size.width, home.size.height, "not dragged");
    EXPECT_EQ(grid->tileAtPosition(3), t);
    EXPECT_EQ(log->ends, 0);
    // The cancel cleared the moved flag: a double tap now fills the grid.
    grid->setDoubleTappedSubview(t, true);
    EXPECT_TRUE(grid->fullMode());
}

}  // namespace
