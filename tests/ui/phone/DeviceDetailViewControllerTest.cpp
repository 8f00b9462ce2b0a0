#include <gtest/gtest.h>

#include <filesystem>

#include "app/core/QvApplicationPreference.h"
#include "ui/common/ButtonLook.h"
#include "ui/common/DeviceScreensFixture.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UITextField.h"
#include "ui/phone/DeviceMgmtController.h"
#include "ui/phone/QueryRemoteRecordSetting.h"

using namespace lumora;
using namespace lumora::test;

namespace {

class ListOpener : public DeviceMgmtControllerDelegate {
public:
    void deviceMgmtControllerDidClose(DeviceMgmtController*) override { ++closes; }
    void deviceMgmtControllerAddDevice(DeviceMgmtController*) override { ++adds; }
    int closes = 0, adds = 0;
};

class DeviceDetailViewControllerTest : public DeviceScreensFixture {
protected:
    // The add form, opened as the live view opens it.
    DeviceDetailViewController& openAdd() {
        openOpener();
        opener->openEditor("");
        driver.advance(0.5);
        return *opener->editor;
    }
    void type(const std::string& field, const std::string& text) {
        auto* f = driver.find<UITextField>(field);
        ASSERT_NE(f, nullptr) << field;
        ASSERT_TRUE(driver.tapView(f)) << driver.lastError();
        ASSERT_TRUE(driver.typeText(text));
    }
    // Done; answers the alert's "title / message" and closes it.
    std::string done() {
        EXPECT_TRUE(driver.tap("navRight")) << driver.lastError();
        driver.advance(0.5);
        std::string text = alertText();
        if (alert()) driver.tapAlertButton(0);
        driver.advance(0.5);
        return text;
    }
    // The device list with the editor opened on row `row`.
    DeviceDetailViewController& openStored(int row) {
        list = std::make_shared<DeviceMgmtController>(0);
        list->delegate = &listOpener;
        driver.setRoot(list);
        driver.settle();
        // The row's detail button, as the user taps it.
        driver.tapAt(CGPointMake(295, 44 + 50 * row + 25));
        driver.advance(0.5);
        EXPECT_NE(list->editor(), nullptr);
        return *list->editor();
    }
    std::shared_ptr<DeviceMgmtController> list;
    ListOpener listOpener;
};

TEST_F(DeviceDetailViewControllerTest, EveryValidationTextOfTheAddForm) {
    storeUidDevice("Taken", "UID-TAKEN");
    struct Case {
        const char* what;
        int mode;
        const char* name;
        const char* address;
        const char* port;
        const char* uid;
        std::string expected;  // "title / message"; "" = added
    };
    const std::vector<Case> cases = {
        {"empty name", 0, "", "", "", "UID-1", " / " + L("NAME_NULL")},
        {"empty UID", 0, "Cam", "", "", "", " / " + L("UID_NULL")},
        {"empty address", 1, "Cam", "", "80", "", " / " + L("ADDR_NULL")},
        {"port 0", 1, "Cam", "10.0.0.1", "0", "", " / " + L("ERROR_PORT")},
        {"port 65536", 1, "Cam", "10.0.0.1", "65536", "", " / " + L("ERROR_PORT")},
        {"port letters", 1, "Cam", "10.0.0.1", "abc", "", " / " + L("ERROR_PORT")},
        {"duplicate UID", 0, "Other", "", "", "UID-TAKEN", L("Device_ADD_ERROR") + " / " + L("DEVICE_EDIT_NAMEERR")},
        {"duplicate name", 1, "Taken", "10.0.0.9", "80", "", L("Device_ADD_ERROR") + " / " + L("DEVICE_Name_Duplicate")},
        {"port 1", 1, "Low", "10.0.0.1", "1", "", ""},
        {"port 65535", 1, "High", "10.0.0.2", "65535", "", ""},
        {"blank name", 0, "   ", "", "", "UID-2", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto& editor = openAdd();
        if (c.mode == 1) {
            ASSERT_TRUE(driver.pickSegment("seg", 1)) << driver.lastError();
        }
        type("Name:", c.name);
        if (c.mode == 1) {
            type("Address:", c.address);
            type("Port:", c.port);
        } else {
            type("UDID:", c.uid);
        }
        const uint32_t before = QvDeviceManager::sharedInstance().countOfDevices();
        EXPECT_EQ(done(), c.expected);
        EXPECT_EQ(QvDeviceManager::sharedInstance().countOfDevices(), before + (c.expected.empty() ? 1 : 0));
        if (c.expected.empty()) {
            EXPECT_EQ(opener->presentedViewController(), nullptr);
        } else {
            EXPECT_EQ(editor.deviceAttributes().at("Name:"), c.name) << "the form is kept";
        }
        if (std::string(c.what) == "empty address") shot("device_editor_alert.png");
    }
    auto high = QvDeviceManager::sharedInstance().deviceWithName("High");
    ASSERT_NE(high, nullptr);
    EXPECT_EQ(high->mediaPort.load(), 65535u);
    EXPECT_EQ(high->deviceConType.load(), 1);
    EXPECT_EQ(high->udid.value(), "");
    EXPECT_EQ(high->channelNum.load(), 4) << "a new device starts with 4 channels";
    EXPECT_EQ(QvApplicationPreference::sharedInstance().devicecount(), 3);
}

TEST_F(DeviceDetailViewControllerTest, PasswordsOfBlanksAreStoredEmptyAndTheModeKeepsEachEntry) {
    auto& editor = openAdd();
    type("Name:", "Cam");
    type("UDID:", "UID-9");
    ASSERT_TRUE(driver.pickSegment("seg", 1));
    type("Address:", "10.1.1.1");
    ASSERT_TRUE(driver.pickSegment("seg", 0));
    EXPECT_EQ(driver.find<UITextField>("UDID:")->text(), "UID-9");
    EXPECT_EQ(editor.deviceAttributes().at("Address:"), "10.1.1.1");
    type("Password:", "   ");
    // No keyboard covers the form here: a field in sight leaves it where it is.
    EXPECT_EQ(editor.infotableview()->contentOffset().y, 0);
    // A tap on a row's label marks no row.
    int tapped = 0;
    for (int row = 0; row < editor.infotableview()->numberOfRowsInSection(0); ++row) {
        auto* cell = editor.infotableview()->cellForRowAtIndexPath(NSIndexPath{0, row});
        if (!cell || !cell->isVisible()) continue;  // out of sight
        const CGPoint label = cell->pointInWindow(CGPoint{24, cell->bounds().size.height / 2});
        if (label.y > driver.window()->bounds().size.height - 10) continue;
        driver.tapAt(label);
        ++tapped;
        const double blue = test::shareOf(test::lookOf(driver, cell), [](QRgb p) {
            return qRed(p) < 60 && qGreen(p) > 110 && qGreen(p) < 170 && qBlue(p) > 210;
        });
        EXPECT_LT(blue, 0.05) << "row " << row << " drawn as selected";
    }
    EXPECT_GE(tapped, 3);
    ASSERT_TRUE(driver.pickSegment("channelNumberSegment", 5));
    EXPECT_EQ(done(), "");
    auto d = QvDeviceManager::sharedInstance().deviceWithUID(std::string("UID-9"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->password.value(), "");
    EXPECT_EQ(d->channelNum.load(), 0) << "auto";
    EXPECT_EQ(d->deviceConType.load(), 0);
}

TEST_F(DeviceDetailViewControllerTest, ViewEditAndDeleteFromTheDeviceList) {
    auto a = storeAddressDevice("Gate", "10.0.0.5", 8000);
    a->channelNum = 2;
    auto b = storeUidDevice("Yard", "UID-YARD");
    auto& editor = openStored(0);
    EXPECT_EQ(editor.operation(), DeviceDetailViewController::kView);
    EXPECT_EQ(editor.mode(), 1);
    EXPECT_EQ(editor.channelNumberSegment()->selectedSegmentIndex(), 5) << "2 channels shows as auto";
    EXPECT_FALSE(driver.find<UITextField>("Name:")->isEnabled()) << "viewing";
    EXPECT_EQ(driver.find<UITextField>("Port:")->text(), "8000");
    shot("device_editor_view.png");

    ASSERT_TRUE(driver.tap("navRight")) << driver.lastError();  // Edit
    EXPECT_EQ(editor.operation(), DeviceDetailViewController::kEdit);
    EXPECT_FALSE(editor.deleteButton()->isHidden());
    type("Name:", " North");
    EXPECT_EQ(done(), "");
    EXPECT_EQ(a->name.value(), "Gate North");
    EXPECT_EQ(a->channelNum.load(), 0) << "saved with auto";
    EXPECT_EQ(a->udid.value(), "") << "an address device has no UID";
    EXPECT_EQ(list->devicesTable()->cellForRowAtIndexPath({0, 0})->textLabel()->text(), "Gate North");
    EXPECT_EQ(list->devicesTable()->cellForRowAtIndexPath({0, 0})->detailTextLabel()->text(), "10.0.0.5:8000");
    EXPECT_EQ(list->devicesTable()->cellForRowAtIndexPath({0, 1})->detailTextLabel()->text(), "UID-YARD");
    shot("device_list.png");

    // An edit that collides with another device changes nothing.
    auto& again = openStored(1);
    ASSERT_TRUE(driver.tap("navRight"));
    auto* name = driver.find<UITextField>("Name:");
    ASSERT_TRUE(driver.tapView(name));
    name->setText("");
    (void)again;
    driver.typeText("Gate North");
    // the change handler wrote what the user typed
    EXPECT_EQ(done(), L("Device_EDIT_ERROR") + " / " + L("DEVICE_EDIT_NAMEERR"));
    EXPECT_EQ(b->name.value(), "Yard");
    EXPECT_EQ(b->udid.value(), "UID-YARD");

    // Delete: the second button does nothing, the first removes.
    ASSERT_TRUE(driver.tap("deleteButton")) << driver.lastError();
    ASSERT_NE(alert(), nullptr);
    EXPECT_EQ(alert()->message(), L("MKSU_Delete"));
    EXPECT_EQ(alert()->buttonTitleAtIndex(0), L("DELETE_BUTTON")) << "the confirming button says what it does";
    ASSERT_TRUE(driver.tapAlertButton(1));
    driver.advance(0.5);
    EXPECT_EQ(QvDeviceManager::sharedInstance().countOfDevices(), 2u);
    ASSERT_TRUE(driver.tap("deleteButton"));
    ASSERT_TRUE(driver.tapAlertButton(0));
    driver.advance(0.5);
    EXPECT_EQ(QvDeviceManager::sharedInstance().countOfDevices(), 1u);
    EXPECT_EQ(list->devicesTable()->numberOfRowsInSection(0), 1);
    EXPECT_EQ(list->presentedViewController(), nullptr);
}

TEST_F(DeviceDetailViewControllerTest, ADeviceWithOpenLiveViewsIsNeitherEditedNorDeleted) {
    auto d = storeUidDevice("Busy", "UID-BUSY");
    d->connectNum = 1;
    auto& editor = openStored(0);
    ASSERT_TRUE(driver.tap("navRight"));  // Edit
    EXPECT_EQ(alertText(), " / " + L("CLOSE_DEVICE_FIRST"));
    driver.tapAlertButton(0);
    EXPECT_EQ(editor.operation(), DeviceDetailViewController::kView);

    // Live views opened while the form is in edit.
    d->connectNum = 0;
    ASSERT_TRUE(driver.tap("navRight"));
    d->connectNum = 2;
    type("Name:", "X");
    EXPECT_EQ(done(), " / " + L("CLOSE_DEVICE_FIRST"));
    EXPECT_EQ(d->name.value(), "Busy");
    // Refused before the question is asked: the one alert says why.
    ASSERT_TRUE(driver.tap("deleteButton"));
    driver.advance(0.5);
    EXPECT_EQ(alertText(), " / " + L("CLOSE_DEVICE_FIRST"));
    ASSERT_TRUE(driver.tapAlertButton(0));
    driver.advance(0.5);
    EXPECT_EQ(alert(), nullptr);
    EXPECT_EQ(QvDeviceManager::sharedInstance().countOfDevices(), 1u);
    // Live views opened while the question is up: refused at the answer.
    d->connectNum = 0;
    ASSERT_TRUE(driver.tap("deleteButton"));
    EXPECT_EQ(alert()->message(), L("MKSU_Delete"));
    d->connectNum = 1;
    ASSERT_TRUE(driver.tapAlertButton(0));
    driver.advance(0.5);
    EXPECT_EQ(alertText(), " / " + L("CLOSE_DEVICE_FIRST"));
    driver.tapAlertButton(0);
    EXPECT_EQ(QvDeviceManager::sharedInstance().countOfDevices(), 1u);

    // With the alarm registered it is not deleted either.
    d->connectNum = 0;
    d->alarmOnGuard = true;
    ASSERT_TRUE(driver.tap("deleteButton"));
    driver.advance(0.5);
    EXPECT_EQ(alertText(), " / " + L("CLOSE_DEVICE_Alarm"));
    EXPECT_EQ(QvDeviceManager::sharedInstance().countOfDevices(), 1u);
}

TEST_F(DeviceDetailViewControllerTest, NamesWithPathPartsNeverTouchFoldersOutsideTheMediaFolders) {
    namespace fs = std::filesystem;
    auto& editor = openAdd();
    (void)editor;
    type("Name:", "../../escape");
    type("UDID:", "UID-PATH");
    EXPECT_EQ(done(), "");
    auto d = QvDeviceManager::sharedInstance().deviceWithUID(std::string("UID-PATH"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->name.value(), "../../escape") << "the name itself is kept as typed";
    // Delete it again from the list.
    auto& stored = openStored(0);
    (void)stored;
    ASSERT_TRUE(driver.tap("navRight"));
    ASSERT_TRUE(driver.tap("deleteButton"));
    ASSERT_TRUE(driver.tapAlertButton(0));
    driver.advance(0.5);
    EXPECT_EQ(QvDeviceManager::sharedInstance().countOfDevices(), 0u);
    const fs::path root(dir.path());
    EXPECT_FALSE(fs::exists(root.parent_path() / "escape"));
    EXPECT_FALSE(fs::exists(root.parent_path().parent_path() / "escape"));
}

TEST_F(DeviceDetailViewControllerTest, TheListWithoutDevicesStillAddsAndTheSearchPurposeHasNoAddButton) {
    list = std::make_shared<DeviceMgmtController>(0);
    list->delegate = &listOpener;
    driver.setRoot(list);
    driver.settle();
    EXPECT_EQ(list->devicesTable()->numberOfRowsInSection(0), 0);
    ASSERT_TRUE(driver.tap("navRight")) << driver.lastError();
    EXPECT_EQ(listOpener.adds, 1);
    ASSERT_TRUE(driver.tap("navLeft")) << driver.lastError();
    EXPECT_EQ(listOpener.closes, 1);

    storeUidDevice("Yard", "UID-YARD");
    int opened = -1;
    const auto keep = DeviceMgmtController::recordSearchFactory();
    DeviceMgmtController::recordSearchFactory() = [&](int32_t id) {
        opened = id;
        return std::make_shared<UIViewController>();
    };
    auto search = std::make_shared<DeviceMgmtController>(1);
    driver.setRoot(search);
    driver.settle();
    EXPECT_EQ(driver.find("navRight"), nullptr);
    search->accessoryButtonTappedForRowWithIndexPath(search->devicesTable(), {0, 0});
    driver.advance(0.5);
    EXPECT_EQ(opened, QvDeviceManager::sharedInstance().objectInDevicesAtIndex(0)->deviceId);
    search->accessoryButtonTappedForRowWithIndexPath(search->devicesTable(), {0, 5});  // no such row
    DeviceMgmtController::recordSearchFactory() = nullptr;
    DeviceMgmtController::recordSearchFactory() = keep;
}

// Out of the box a row's detail button in the recordings list opens the
// search form for that row's device, in a navigation controller.
TEST_F(DeviceDetailViewControllerTest, TheRecordingsListOpensTheSearchFormOfTheTappedDevice) {
    storeUidDevice("Yard", "UID-YARD");
    auto gate = storeAddressDevice("Gate", "10.0.0.5", 8000);
    gate->channelNum = 4;
    auto search = std::make_shared<DeviceMgmtController>(1);
    driver.setRoot(search);
    driver.settle();
    driver.tapAt(CGPointMake(295, 44 + 50 * 1 + 25));  // Gate's detail button
    driver.advance(0.5);
    auto* nav = dynamic_cast<UINavigationController*>(search->presentedViewController());
    ASSERT_NE(nav, nullptr);
    auto* form = dynamic_cast<QueryRemoteRecordSetting*>(nav->topViewController());
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->m_nChannels, 15u) << "every channel of the 4-channel device";
    auto* table = driver.find<UITableView>("searchTable");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->cellForRowAtIndexPath(NSIndexPath{0, 0})->detailTextLabel()->text(), L("All"));
    shot("recordings_search_form.png");
}

// A device reached through the relay has no address of its own: its row
// names its identifier, never ":0".
TEST_F(DeviceDetailViewControllerTest, ARelayedDeviceRowShowsItsIdentifierWhereItHasNoAddress) {
    auto relayed = storeUidDevice("Yard", "UID-YARD");
    relayed->deviceConType = 2;
    relayed->mediaPort = 0;
    auto byAddress = storeAddressDevice("Gate", "10.0.0.5", 8000);
    for (int purpose : {0, 1}) {
        auto screen = std::make_shared<DeviceMgmtController>(purpose);
        driver.setRoot(screen);
        driver.settle();
        EXPECT_EQ(screen->devicesTable()->cellForRowAtIndexPath({0, 0})->detailTextLabel()->text(), "UID-YARD")
            << purpose;
        EXPECT_EQ(screen->devicesTable()->cellForRowAtIndexPath({0, 1})->detailTextLabel()->text(), "10.0.0.5:8000")
            << purpose;
    }
}

}  // namespace
