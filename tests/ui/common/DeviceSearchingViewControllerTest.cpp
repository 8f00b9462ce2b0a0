#include <gtest/gtest.h>

#include <algorithm>

#include <fstream>
#include <sstream>

#include "base/link/DataController.h"
#include "platform/runloop/RunLoop.h"
#include "tools/relay-emulator/LanSearchResponder.h"
#include "ui/common/DeviceScreensFixture.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UITextField.h"
#include "ui/common/SearchesDone.h"

using namespace lumora;
using namespace lumora::test;

namespace {

// Stands in for the search group: a unicast loopback address.
const char* const kLanAddr = "127.0.0.31";

class DeviceSearchingViewControllerTest : public DeviceScreensFixture {
protected:
    void SetUp() override {
        DeviceScreensFixture::SetUp();
        // The search listens 20 windows of 1 s; scaled to 50 ms each.
        Config::shared().timeScale = 0.05;
        Config::shared().lanGroup = kLanAddr;
        lan = std::make_unique<relayemu::LanSearchResponder>(kLanAddr, 0);
        ASSERT_TRUE(lan->ok());
        Config::shared().lanPort = lan->port();
        // The same device answers twice.
        lan->addDevice({"LUMORA-LAN-A", 0xFFFF, 8000, "192.168.1.20"});
        lan->addDevice({"LUMORA-LAN-B", 7000, 8001, "192.168.1.21"});
        lan->addDevice({"LUMORA-LAN-A", 0xFFFF, 8000, "192.168.1.20"});
    }
    void TearDown() override {
        // A search still listening reads the scale and the group.
        EXPECT_TRUE(waitForSearches());
        lan.reset();
        Config::shared().timeScale = 1.0;
        DeviceScreensFixture::TearDown();
    }

    // Opens the search the way the phone does (chooser, LAN search).
    DeviceSearchingViewController& openSearch() {
        openOpener();
        opener->openChooser();
        driver.settle();
        EXPECT_TRUE(driver.tapSheetButton(2)) << driver.lastError();
        driver.advance(0.5);
        return *opener->search;
    }
    std::string status() { return opener->search->status()->text(); }
    bool listed(size_t n) {
        return driver.waitUntil([&] { return opener->search->devicesDiscovered().size() >= n; }, 10);
    }

    std::unique_ptr<relayemu::LanSearchResponder> lan;
};

TEST_F(DeviceSearchingViewControllerTest, AnswersAreListedOncePerUidAndTheWaitEndsAfterSixSeconds) {
    storeUidDevice("Known", "LUMORA-LAN-B");
    auto& screen = openSearch();
    EXPECT_TRUE(screen.isSearching());
    EXPECT_EQ(screen.bitem()->title, L("stopSearch"));
    EXPECT_FALSE(screen.selectAllBtn()->enabled);
    ASSERT_TRUE(listed(2));
    driver.waitUntil([] { return false; }, 0.3);  // the repeated answer arrives too
    ASSERT_EQ(screen.devicesDiscovered().size(), 2u);
    EXPECT_EQ(screen.devicesDiscovered()[0]->udid.value(), "LUMORA-LAN-A");
    EXPECT_EQ(screen.tableView()->numberOfRowsInSection(0), 2);
    EXPECT_EQ(status(), L("SearChing") + " (2)");
    {
        auto texts = driver.visibleTexts();
        EXPECT_NE(std::find(texts.begin(), texts.end(), L("SelectAll")), texts.end()) << "offered once found";
    }
    auto* row0 = driver.find<UILabel>("deviceRowLabel0");
    auto* row1 = driver.find<UILabel>("deviceRowLabel1");
    ASSERT_TRUE(row0 && row1);
    EXPECT_EQ(row0->text(), L("UID") + " LUMORA-LAN-A");
    EXPECT_TRUE(row0->textColor() == UIColor::whiteColor());
    EXPECT_TRUE(row1->textColor() == UIColor::colorWithRed(1, 1, 0, 1)) << "already listed";
    shot("lan_search_running.png");

    // The search started once the screen appeared, up to 0.6 s before openSearch returned.
    driver.advance(5.2);
    EXPECT_TRUE(screen.isSearching()) << status();
    driver.advance(0.5);
    EXPECT_FALSE(screen.isSearching());
    EXPECT_EQ(status(), L("PLS_CHOOSEDEVICE") + " (0 / 2)");
    EXPECT_EQ(screen.bitem()->title, L("CANCEL_BUTTON"));
    EXPECT_FALSE(screen.selectAllBtn()->enabled) << "the time-out does not enable selection";
    EXPECT_EQ(screen.dataControl(), nullptr);

    screen.selectRev();
    EXPECT_EQ(status(), L("选择添加的设备") + " (2 / 2)");
    EXPECT_EQ(screen.bitem()->title, L("完成"));
    screen.selectRev();
    EXPECT_EQ(status(), L("选择添加的设备") + " (0 / 2)");
    shot("lan_search_done.png");

    // Closing with devices listed tells the opener.
    screen.stopSearching();
    driver.advance(0.5);
    EXPECT_TRUE(opener->called("multi"));
    EXPECT_EQ(opener->presentedViewController(), nullptr);
}

TEST_F(DeviceSearchingViewControllerTest, APickedDeviceIsAddedAndSaved) {
    auto& screen = openSearch();
    ASSERT_TRUE(listed(2));
    ASSERT_TRUE(driver.pickRow("tableView", 0, 1)) << driver.lastError();
    EXPECT_FALSE(screen.isSearching()) << "a pick stops the search";
    EXPECT_TRUE(screen.isAdding);
    driver.advance(0.5);
    EXPECT_TRUE(opener->called("picked LUMORA-LAN-B"));
    ASSERT_NE(opener->editor, nullptr);
    EXPECT_EQ(driver.find<UITextField>("UDID:")->text(), "LUMORA-LAN-B");
    ASSERT_TRUE(driver.tap("Name:")) << driver.lastError();
    ASSERT_TRUE(driver.typeText("Porch"));
    ASSERT_TRUE(driver.tap("navRight")) << driver.lastError();
    driver.advance(0.5);
    EXPECT_TRUE(opener->called("added Porch"));
    auto d = QvDeviceManager::sharedInstance().deviceWithUID(std::string("LUMORA-LAN-B"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->name.value(), "Porch");
    std::ifstream in(QvDeviceManager::sharedInstance().storePath());
    std::stringstream stored;
    stored << in.rdbuf();
    EXPECT_NE(stored.str().find("LUMORA-LAN-B"), std::string::npos) << "saved";
}

TEST_F(DeviceSearchingViewControllerTest, ASecondSearchAfterAStopIsNotCutShort) {
    auto& screen = openSearch();
    ASSERT_TRUE(listed(2));  // selection is offered only with something found
    driver.advance(2.0);
    screen.stopSearching();
    EXPECT_FALSE(screen.isSearching());
    EXPECT_TRUE(screen.selectAllBtn()->enabled) << "stopping by the button enables selection";
    screen.addDeviceWithLANScanning();
    EXPECT_TRUE(screen.isSearching());
    EXPECT_TRUE(screen.devicesDiscovered().empty()) << "a new search starts with an empty list";
    driver.advance(4.2);  // the first search's time-out would have fired here
    EXPECT_TRUE(screen.isSearching());
    EXPECT_EQ(screen.bitem()->title, L("stopSearch"));
    driver.advance(1.9);
    EXPECT_FALSE(screen.isSearching());
}

TEST_F(DeviceSearchingViewControllerTest, NoAnswerEndsInNoDeviceAndTheButtonClosesQuietly) {
    lan.reset();
    lan = std::make_unique<relayemu::LanSearchResponder>(kLanAddr, 0, relayemu::LanSearchResponder::Script{true, -1});
    Config::shared().lanPort = lan->port();
    auto& screen = openSearch();
    // Searching with nothing found yet: no count of nothing, nothing to select.
    EXPECT_EQ(status(), L("SearChing") + "\u2026");
    auto texts = driver.visibleTexts();
    for (const std::string& absent : {L("SelectAll"), L("SelectRev")})
        EXPECT_EQ(std::find(texts.begin(), texts.end(), absent), texts.end()) << absent;
    driver.advance(6.0);
    EXPECT_EQ(status(), L("NoDevice"));
    texts = driver.visibleTexts();
    for (const std::string& absent : {L("SelectAll"), L("SelectRev")})
        EXPECT_EQ(std::find(texts.begin(), texts.end(), absent), texts.end()) << absent;
    shot("lan_search_nothing.png");
    screen.stopSearching();
    driver.advance(0.5);
    EXPECT_FALSE(opener->called("multi"));
    EXPECT_EQ(opener->presentedViewController(), nullptr);
}

}  // namespace
