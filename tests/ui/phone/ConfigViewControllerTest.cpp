#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/core/ConnectionRecord.h"
#include "app/core/FileManager.h"
#include "app/core/QvApplicationPreference.h"
#include "platform/Config.h"
#include "platform/InterfaceIdiom.h"
#include "support/TempDir.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/phone/ConfigViewController.h"

using namespace lumora;

namespace {

class Calls : public ConfigViewControllerDelegate {
public:
    void configViewControllerDidClose(UIViewController*) override { log.push_back("close"); }
    void configViewControllerDidCommit(UIViewController*) override { log.push_back("commit"); }
    std::vector<std::string> log;
};

class ConfigViewControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config::shared().dataRoot = dir.path();
        InterfaceIdiom::setCurrent(UserInterfaceIdiom::Phone);
    }
    void TearDown() override { InterfaceIdiom::setCurrent(UserInterfaceIdiom::Unspecified); }

    // Stores settings the screen has no control for, and a history.
    void storeStartingSettings(int layout) {
        QvApplicationPreference& p = QvApplicationPreference::sharedInstance();
        p.setLayoutStyle(layout);
        p.setLivePreference(0);
        p.setIsFullScreen(false);
        p.setModePreference(3);
        p.setAutoPlay(true);
        p.setIsInnerGetMain(true);
        p.setSkipHomePage(true);
        p.setDevicecount(7);
        if (!p.connectionHistory().empty()) p.connectionHistory()[0] = ConnectionRecord{12, 2};
        ASSERT_TRUE(p.saveApplicationPreference());
    }

    // The stored file read into a fresh preferences object.
    static std::unique_ptr<QvApplicationPreference> reload() {
        auto p = std::make_unique<QvApplicationPreference>();
        EXPECT_TRUE(p->loadApplicationPreference());
        return p;
    }

    void open() {
        screen = std::make_shared<ConfigViewController>();
        screen->delegate = &calls;
        driver.setRoot(std::make_shared<UINavigationController>(screen));
        driver.settle();
    }

    test::TempDir dir;
    KitTestDriver driver;
    Calls calls;
    std::shared_ptr<ConfigViewController> screen;
};

TEST_F(ConfigViewControllerTest, ShowsTheStoredChoicesInThreeRows) {
    storeStartingSettings(1);
    QvApplicationPreference::sharedInstance().setLivePreference(1);
    open();
    EXPECT_EQ(screen->layoutSegment()->selectedSegmentIndex(), 1) << "four panes";
    EXPECT_EQ(screen->preferenceSegment()->selectedSegmentIndex(), 1);
    EXPECT_EQ(screen->fullSegment()->selectedSegmentIndex(), 0);
    EXPECT_EQ(screen->tableView()->numberOfRowsInSection(0), 3);
    // The main-stream control is made but never shown.
    EXPECT_EQ(driver.find("innergetMainSegment"), nullptr);
    const auto texts = driver.visibleTexts();
    for (const char* want : {"Settings", "Views", "Live preference", "Picture"})
        EXPECT_NE(std::find(texts.begin(), texts.end(), want), texts.end()) << want;
    EXPECT_EQ(screen->layoutSegment()->titleForSegmentAtIndex(1), "4");
    EXPECT_EQ(screen->preferenceSegment()->titleForSegmentAtIndex(0), "Real time");
    EXPECT_EQ(screen->fullSegment()->titleForSegmentAtIndex(1), "Fill");
    driver.saveScreenshot(::testing::TempDir() + "config.png");
}

TEST_F(ConfigViewControllerTest, DoneStoresTheShownChoicesAndNothingElse) {
    storeStartingSettings(1);
    open();
    ASSERT_TRUE(driver.pickSegment("layoutSegment", 0)) << driver.lastError();
    ASSERT_TRUE(driver.pickSegment("preferenceSegment", 1)) << driver.lastError();
    ASSERT_TRUE(driver.pickSegment("fullSegment", 1)) << driver.lastError();
    ASSERT_TRUE(driver.tap("navRight")) << driver.lastError();
    EXPECT_EQ(calls.log, std::vector<std::string>{"commit"});

    auto stored = reload();
    EXPECT_EQ(stored->layoutStyle(), 0);
    EXPECT_EQ(stored->livePreference(), 1);
    EXPECT_TRUE(stored->isFullScreen());
    // Settings without a control on this screen are kept.
    EXPECT_EQ(stored->modePreference(), 3);
    EXPECT_TRUE(stored->autoPlay());
    EXPECT_TRUE(stored->isInnerGetMain());
    EXPECT_TRUE(stored->skipHomePage());
    EXPECT_EQ(stored->devicecount(), 7);
    ASSERT_EQ(stored->connectionHistory().size(), 1u);
    EXPECT_EQ(stored->connectionHistory()[0].deviceId, 12);
}

TEST_F(ConfigViewControllerTest, DoneWithoutChangesKeepsFourPanesAndTheHistory) {
    storeStartingSettings(1);
    QvApplicationPreference::sharedInstance().connectionHistory()[3] = ConnectionRecord{5, 1};
    QvApplicationPreference::sharedInstance().saveApplicationPreference();
    open();
    ASSERT_TRUE(driver.tap("navRight")) << driver.lastError();
    auto stored = reload();
    EXPECT_EQ(stored->layoutStyle(), 1);
    ASSERT_EQ(stored->connectionHistory().size(), 4u);
    EXPECT_EQ(stored->connectionHistory()[0].deviceId, 12);
    EXPECT_EQ(stored->connectionHistory()[3].deviceId, 5);
}

TEST_F(ConfigViewControllerTest, CancelWritesNothing) {
    storeStartingSettings(1);
    const std::string path = QvApplicationPreference::sharedInstance().storePath();
    std::string before;
    {
        std::ifstream in(path, std::ios::binary);
        before.assign(std::istreambuf_iterator<char>(in), {});
    }
    open();
    ASSERT_TRUE(driver.pickSegment("layoutSegment", 0));
    ASSERT_TRUE(driver.pickSegment("fullSegment", 1));
    ASSERT_TRUE(driver.tap("navLeft")) << driver.lastError();
    EXPECT_EQ(calls.log, std::vector<std::string>{"close"});
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
    EXPECT_EQ(QvApplicationPreference::sharedInstance().layoutStyle(), 1);
    EXPECT_FALSE(QvApplicationPreference::sharedInstance().isFullScreen());
}

TEST_F(ConfigViewControllerTest, NoDelegateIsFine) {
    storeStartingSettings(0);
    open();
    screen->delegate = nullptr;
    ASSERT_TRUE(driver.tap("navLeft"));
    ASSERT_TRUE(driver.tap("navRight"));
    EXPECT_EQ(reload()->layoutStyle(), 0);
}

}  // namespace
