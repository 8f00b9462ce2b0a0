#include "ui/tablet/DeviceMgmtControllerHD.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/core/Device.h"
#include "app/core/FileManager.h"
#include "app/core/PushKeyCipher.h"
#include "app/core/QvDeviceManager.h"
#include "platform/AlertPresenter.h"
#include "platform/storage/UserDefaults.h"
#include "platform/text/Localization.h"
#include "support/LoopbackHttpServer.h"
#include "ui/kit/KitAlertPresenter.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UISwitch.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UITextField.h"
#include "ui/kit/UIWindow.h"
#include "ui/tablet/SectionHeaderViewHD.h"
#include "ui/tablet/TabletLiveFixture.h"

using namespace lumora;

namespace {

std::string L(const std::string& key) { return Localization::string(key); }

// ---------------------------------------------------------------- the section header alone

struct HeaderEvents : SectionHeaderViewDelegate {
    std::vector<std::string> events;
    void sectionHeaderViewSectionClosed(SectionHeaderViewHD*, int s) override { events.push_back("closed " + std::to_string(s)); }
    void sectionHeaderViewSectionOpened(SectionHeaderViewHD*, int s) override { events.push_back("opened " + std::to_string(s)); }
    void sectionHeaderViewSectionClicked(SectionHeaderViewHD*, int s) override { events.push_back("clicked " + std::to_string(s)); }
};

class SectionHeaderViewHDTest : public ::testing::Test {
protected:
    SectionHeaderViewHD* place(bool opened, SectionHeaderViewDelegate* d) {
        auto host = std::make_shared<UIViewController>();
        driver.setRoot(host);
        auto* h = new SectionHeaderViewHD(CGRect{{0, 0}, {240, 35}}, "[Gate] 127.0.0.1", 3, opened, d);
        setViewName(h, "header");
        host->view()->addSubview(h);
        driver.settle();
        return h;
    }
    KitTestDriver driver{KitTestDriver::Options{.profile = ScreenProfile::Tablet}};
};

TEST_F(SectionHeaderViewHDTest, TheBarTogglesTheArrowAndTheRightButtonOnlyReportsTheClick) {
    HeaderEvents events;
    SectionHeaderViewHD* h = place(true, &events);
    EXPECT_TRUE(h->disclosureButton()->isSelected()) << "built open: the open arrow";
    EXPECT_EQ(h->disclosureButton()->currentImage(), UIImage::imageNamed("sarrow2.png"));
    ASSERT_TRUE(driver.tap("header"));
    EXPECT_FALSE(h->disclosureButton()->isSelected());
    ASSERT_TRUE(driver.tap("header"));
    ASSERT_TRUE(driver.tap("sectionView")) << driver.lastError();
    EXPECT_EQ(events.events, (std::vector<std::string>{"closed 3", "opened 3", "clicked 3"}));
    EXPECT_TRUE(h->disclosureButton()->isSelected()) << "the right-hand button leaves the arrow";
    h->setIsOnLine(true);
    EXPECT_EQ(h->titleLabel()->textColor(), UIColor::greenColor());
    h->setIsOnLine(false);
    EXPECT_EQ(h->titleLabel()->textColor(), UIColor::whiteColor());
}

TEST_F(SectionHeaderViewHDTest, ADelegateThatListensToNothingGetsNothing) {
    SectionHeaderViewDelegate nothing;
    SectionHeaderViewHD* h = place(false, &nothing);
    ASSERT_TRUE(driver.tap("header"));
    ASSERT_TRUE(driver.tap("sectionView"));
    EXPECT_TRUE(h->disclosureButton()->isSelected());
    h->delegate = nullptr;
    ASSERT_TRUE(driver.tap("header"));
    EXPECT_FALSE(h->disclosureButton()->isSelected());
}

// ---------------------------------------------------------------- the panel in the live screen

// Records what the panel asks of the live screen besides the channel calls.
struct PickerCalls : DeviceMgmtControllerHDDelegate {
    std::vector<std::string> calls;
    void popUpCameraForScanningTDCode(void*) override { calls.push_back("scan"); }
    void popUpDeviceSearchingView(void*) override { calls.push_back("search"); }
};

class DeviceMgmtControllerHDTest : public test::TabletLiveFixture {
protected:
    void TearDown() override {
        DeviceAlarmRegistration::pushTokenProvider() = nullptr;
        server.reset();
        TabletLiveFixture::TearDown();
    }
    void launchPanel() {
        launch();
        AlertPresenter::install(std::make_shared<KitAlertPresenter>());
        yard = QvDeviceManager::sharedInstance().deviceWithName("Yard");
        ASSERT_TRUE(yard);
    }
    int sectionOf(const std::shared_ptr<Device>& d) {
        return static_cast<int>(QvDeviceManager::sharedInstance().indexOfDevice(d));
    }
    UIAlertView* alert() const { return UIAlertView::topmost(driver->window()); }
    // "title / message" of the topmost alert ("" without one), which it closes.
    std::string takeAlert() {
        UIAlertView* a = alert();
        if (!a) return {};
        std::string text = a->title() + " / " + a->message();
        driver->tapAlertButton(0);
        driver->settle();
        return text;
    }
    void type(const std::string& field, const std::string& text) {
        auto* f = driver->find<UITextField>(field);
        ASSERT_NE(f, nullptr) << field;
        ASSERT_TRUE(driver->tapView(f)) << driver->lastError();
        ASSERT_TRUE(driver->typeText(text));
        driver->settle();
    }
    void clear(const std::string& field) {
        auto* f = driver->find<UITextField>(field);
        ASSERT_NE(f, nullptr) << field;
        ASSERT_TRUE(driver->tapView(f)) << driver->lastError();
        f->lineEdit()->selectAll();
        f->lineEdit()->del();
        driver->settle();
    }
    // The add form by typing: the add button, the picker's typing row, OK.
    void openTypedAdd() {
        ASSERT_TRUE(tap("addDeviceBtn")) << driver->lastError();
        ASSERT_TRUE(screen->popover()->isPopoverVisible());
        ASSERT_TRUE(driver->pickPickerRow("addModePicker", 0, 1)) << driver->lastError();
        screen->confirmPickView();
        driver->settle();
        ASSERT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kAdd);
        ASSERT_TRUE(driver->isTappable(driver->find("segmentedControl"))) << "typing offers the UID/IP choice";
    }
    // Done; the alert it raised ("" for none), closed.
    std::string done() {
        EXPECT_TRUE(tap("doneDeviceEditBtn")) << driver->lastError();
        return takeAlert();
    }
    void openView(const std::shared_ptr<Device>& d) {
        const int s = sectionOf(d);
        auto* header = driver->find<SectionHeaderViewHD>("sectionHeader" + std::to_string(s));
        ASSERT_NE(header, nullptr);
        ASSERT_TRUE(driver->tapView(header->rightButton())) << driver->lastError();
        driver->settle();
        ASSERT_EQ(panel().curSeletedDeviceIdx(), s);
    }
    std::string shown(const std::string& topicKey) {
        auto* l = driver->find<UILabel>("value" + topicKey);
        return l ? l->text() : "(none)";
    }
    bool anyVisibleText(const std::string& text) {
        for (const auto& t : driver->visibleTexts())
            if (t.find(text) != std::string::npos) return true;
        return false;
    }

    void shot(const std::string& name) { driver->saveScreenshot(::testing::TempDir() + name); }

    std::shared_ptr<Device> yard;
    std::unique_ptr<test::LoopbackHttpServer> server;
};

TEST_F(DeviceMgmtControllerHDTest, SectionsOpenAndCloseAndTitleTheDevices) {
    launchPanel();
    auto* table = panel().deviceTable();
    ASSERT_EQ(table->numberOfSections(), 2);
    auto* gateHeader = driver->find<SectionHeaderViewHD>("sectionHeader" + std::to_string(sectionOf(gate)));
    ASSERT_NE(gateHeader, nullptr);
    EXPECT_EQ(gateHeader->titleLabel()->text(), "[Gate] " + gate->address.value()) << "no UID: the address";
    EXPECT_EQ(driver->find<SectionHeaderViewHD>("sectionHeader" + std::to_string(sectionOf(yard)))->titleLabel()->text(),
              "[Yard] " + yard->udid.value());
    const int s = sectionOf(gate);
    EXPECT_EQ(table->numberOfRowsInSection(s), 0);
    openSection(s);
    EXPECT_EQ(table->numberOfRowsInSection(s), 4);
    shot("tablet_device_list.png");
    EXPECT_TRUE(driver->find<SectionHeaderViewHD>("sectionHeader" + std::to_string(s))->disclosureButton()->isSelected());
    ASSERT_TRUE(tap("sectionHeader" + std::to_string(s)));
    EXPECT_FALSE(panel().isSectionOpen(s));
    EXPECT_EQ(table->numberOfRowsInSection(s), 0);
    // An automatic channel count shows one row; a reported count replaces it.
    gate->channelNum = 0;
    openSection(s);
    EXPECT_EQ(table->numberOfRowsInSection(s), 1);
    panel().reloadDeviceChannels(gate->deviceId, 4);
    EXPECT_EQ(gate->channelNum.load(), 4);
    EXPECT_EQ(table->numberOfRowsInSection(s), 4);
    // Out of range and already open: nothing.
    panel().openSesionHeadView(7, 0);
    panel().openSesionHeadView(-1, 0);
    panel().reloadDeviceTable(true);
    EXPECT_FALSE(panel().isSectionOpen(s)) << "a rebuild closes every section";
}

TEST_F(DeviceMgmtControllerHDTest, TitlesBlinkForTwentySecondsThenFollowTheOnlineState) {
    launchPanel();
    auto title = [&](const std::shared_ptr<Device>& d) {
        return driver->find<SectionHeaderViewHD>("sectionHeader" + std::to_string(sectionOf(d)))->titleLabel()->textColor();
    };
    ASSERT_TRUE(panel().isBlinking());
    driver->advance(0.75);
    const UIColor first = title(gate);
    driver->advance(0.7);
    EXPECT_NE(title(gate), first) << "every 0.7 s the title changes colour";
    driver->advance(20);
    EXPECT_FALSE(panel().isBlinking());
    EXPECT_TRUE(panel().closeShan());
    ASSERT_TRUE(driver->waitUntil([&] { return gate->isOnLine.load(); }));
    driver->advance(0.1);
    panel().reloadDeviceTable(false);
    EXPECT_EQ(title(gate), UIColor::greenColor()) << "the device answers: online";
    // The device goes down: the next poll finds it offline.
    world.emulator(0).stop();
    driver->advance(61);
    ASSERT_TRUE(driver->waitUntil([&] { return !gate->isOnLine.load(); }, 15));
    panel().reloadDeviceTable(false);
    EXPECT_EQ(title(gate), UIColor::whiteColor());
    // And up again.
    std::string error;
    ASSERT_TRUE(world.emulator(0).start(error)) << error;
    if (world.emulator(0).tcpPort() == gate->mediaPort.load()) {
        driver->advance(61);
        ASSERT_TRUE(driver->waitUntil([&] { return gate->isOnLine.load(); }, 15));
        panel().reloadDeviceTable(false);
        EXPECT_EQ(title(gate), UIColor::greenColor());
    }
}

TEST_F(DeviceMgmtControllerHDTest, ChannelRowsStartAndStopTiles) {
    launchPanel();
    const int s = sectionOf(gate);
    toggle(s, 2);
    EXPECT_TRUE(tile(0)->isBusy());
    EXPECT_EQ(tile(0)->channel(), 2);
    EXPECT_TRUE(signal(s, 2)->isSelected());
    EXPECT_FALSE(signal(s, 1)->isSelected());
    toggle(s, 2);
    EXPECT_FALSE(tile(0)->isBusy());
    EXPECT_FALSE(signal(s, 2)->isSelected());
    // Outside the list state the rows do nothing.
    toggle(s, 1);
    ASSERT_TRUE(tile(0)->isBusy());
    screen->stopAll();
    driver->settle();
    openView(gate);
    // The list, out of the panel while the view is up, keeps its rows.
    auto* row = dynamic_cast<UIButton*>(panel().deviceTable()->viewWithName("panelChannel" + std::to_string(s) + "_1"));
    ASSERT_NE(row, nullptr);
    panel().dvcChnlClicked(row);
    driver->advance(0.15);
    EXPECT_FALSE(tile(0)->isBusy());
    EXPECT_FALSE(row->viewWithTag(100)->isHidden());
    EXPECT_FALSE(static_cast<UIButton*>(row->viewWithTag(100))->isSelected());
}

TEST_F(DeviceMgmtControllerHDTest, AddingByTypingValidatesEveryField) {
    launchPanel();
    openTypedAdd();
    EXPECT_EQ(done(), " / " + L("NAME_NULL"));
    type("fieldName", " ");  // one blank is a name
    EXPECT_EQ(done(), " / " + L("UID_NULL"));
    ASSERT_TRUE(driver->pickSegment("segmentedControl", 1));
    driver->settle();
    EXPECT_EQ(panel().mode(), 1);
    EXPECT_EQ(driver->find("fieldUID"), nullptr) << "IP mode shows no UID row";
    EXPECT_EQ(done(), " / " + L("ADDR_NULL"));
    type("fieldAddress", "127.0.0.9");
    for (const char* port : {"0", "65536", "abc"}) {
        clear("fieldPort");
        type("fieldPort", port);
        EXPECT_EQ(done(), " / " + L("ERROR_PORT")) << port;
    }
    // A duplicate of Gate's address and port is refused and the form stays.
    clear("fieldPort");
    type("fieldPort", std::to_string(gate->mediaPort.load()));
    clear("fieldAddress");
    type("fieldAddress", gate->address.value());
    EXPECT_EQ(done(), L("Device_ADD_ERROR") + " / " + L("DEVICE_Name_Duplicate"));
    EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kAdd);
    EXPECT_EQ(panel().attribute(DeviceMgmtControllerHD::kAddress), gate->address.value());
    // Cancel: back to the list, nothing added.
    ASSERT_TRUE(tap("cancelDeviceEditBtn"));
    EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kList);
    EXPECT_EQ(QvDeviceManager::sharedInstance().countOfDevices(), 2u);
}

TEST_F(DeviceMgmtControllerHDTest, AnAddedDeviceGetsItsSectionFourChannelsAndNoStrayUid) {
    launchPanel();
    auto& devices = QvDeviceManager::sharedInstance();
    struct Case {
        int mode;
        const char* name;
        const char* port;
        std::string password;
        std::string storedPassword;
        int choice;  // channel choice picked, -1 for the preset
        int channels;
    } cases[] = {{0, "Porch", "", "   ", "", -1, 4},
                 {1, "Shed", "1", "se cret", "se cret", 2, 8},
                 {1, "Barn", "65535", "x", "x", 5, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        openTypedAdd();
        type("fieldName", c.name);
        type("fieldUID", std::string("UID-") + c.name);  // typed, then the mode may change
        if (c.mode == 1) {
            ASSERT_TRUE(driver->pickSegment("segmentedControl", 1));
            type("fieldAddress", "127.0.0.1");
            type("fieldPort", c.port);
        }
        type("fieldPassword", c.password);
        if (c.choice >= 0) {
            ASSERT_TRUE(driver->pickSegment("channelNumSegmentCtrl", c.choice)) << driver->lastError();
        }
        EXPECT_EQ(done(), "");
        EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kList);
        auto d = devices.deviceWithName(c.name);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->channelNum.load(), c.channels) << "preset: 4 channels; Auto: 0";
        EXPECT_EQ(d->password.value(), c.storedPassword);
        EXPECT_EQ(d->deviceConType.load(), c.mode);
        EXPECT_EQ(d->udid.value(), c.mode == 1 ? "" : std::string("UID-") + c.name) << "an IP device has no UID";
        EXPECT_EQ(panel().sectionCount(), static_cast<int>(devices.countOfDevices()));
        EXPECT_NE(driver->find("sectionHeader" + std::to_string(sectionOf(d))), nullptr);
    }
}

TEST_F(DeviceMgmtControllerHDTest, ViewingAndEditingNeverShowOrReplaceThePassword) {
    launchPanel();
    gate->password = "s3cret-pass-longer-than-13";
    openView(gate);
    EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kViewIp);
    EXPECT_EQ(shown("Name"), "Gate");
    EXPECT_EQ(shown("Address"), gate->address.value());
    EXPECT_EQ(shown("Password"), "*************");
    EXPECT_EQ(shown("ChannelNum"), L("4 channels"));
    EXPECT_FALSE(anyVisibleText("s3cret")) << "the plain password is never shown";
    shot("tablet_device_view.png");

    ASSERT_TRUE(tap("editDeviceBtn")) << driver->lastError();
    EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kEditIp);
    auto* pw = driver->find<UITextField>("fieldPassword");
    ASSERT_NE(pw, nullptr);
    EXPECT_TRUE(pw->isSecureTextEntry());
    EXPECT_FALSE(anyVisibleText("s3cret"));
    // Touching the password field and editing another field keeps the password.
    ASSERT_TRUE(driver->tapView(pw));
    const std::string user = gate->userName.value();
    type("fieldUser", "x");
    EXPECT_EQ(done(), "");
    EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kViewIp);
    EXPECT_EQ(gate->password.value(), "s3cret-pass-longer-than-13");
    EXPECT_EQ(gate->userName.value(), user + "x");
    // A new password is what was typed.
    ASSERT_TRUE(tap("editDeviceBtn"));
    clear("fieldPassword");
    type("fieldPassword", "n3w");
    EXPECT_EQ(done(), "");
    EXPECT_EQ(gate->password.value(), "n3w");
    EXPECT_EQ(shown("Password"), "***");
    ASSERT_TRUE(tap("returnToDeviceListBtn"));
    EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kList);
}

TEST_F(DeviceMgmtControllerHDTest, EditsValidateRestoreDuplicatesAndRenameTheMediaFolders) {
    launchPanel();
    auto& files = FileManager::sharedInstance();
    ASSERT_TRUE(files.getPhotoPath("Gate", 1, true));
    namespace fs = std::filesystem;
    const fs::path photos = files.photoPath();
    // In use: no edit.
    toggle(sectionOf(gate), 0);
    // The tile starts its view after its start delay.
    ASSERT_TRUE(driver->waitUntil([&] { return gate->numberOfConnections() > 0; }));
    openView(gate);
    ASSERT_TRUE(tap("editDeviceBtn"));
    EXPECT_EQ(done(), " / " + L("CLOSE_DEVICE_FIRST"));
    ASSERT_TRUE(tap("cancelDeviceEditBtn"));
    EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kViewIp);
    ASSERT_TRUE(tap("returnToDeviceListBtn"));
    screen->stopAll();
    ASSERT_TRUE(driver->waitUntil([&] { return gate->numberOfConnections() == 0; }));

    // A name taken by another device: refused, the device as it was.
    openView(gate);
    ASSERT_TRUE(tap("editDeviceBtn"));
    clear("fieldName");
    type("fieldName", "Yard");
    clear("fieldPort");
    type("fieldPort", "1");
    EXPECT_EQ(done(), L("Device_EDIT_ERROR") + " / " + L("DEVICE_Name_Duplicate"));
    EXPECT_EQ(gate->name.value(), "Gate");
    EXPECT_NE(gate->mediaPort.load(), 1u);
    EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kEditIp) << "the form stays open";

    // A rename moves the media folder; a name that would leave the media
    // folders moves nothing.
    clear("fieldName");
    type("fieldName", "Gate North");
    clear("fieldPort");
    type("fieldPort", std::to_string(world.emulator(0).tcpPort()));
    EXPECT_EQ(done(), "");
    EXPECT_TRUE(fs::exists(photos / "Gate North" / "1"));
    EXPECT_FALSE(fs::exists(photos / "Gate"));
    ASSERT_TRUE(tap("editDeviceBtn"));
    clear("fieldName");
    type("fieldName", "..");
    EXPECT_EQ(done(), "");
    EXPECT_TRUE(fs::exists(photos / "Gate North" / "1")) << "no folder moved out of the media folders";

    // Editing a UID device into IP mode clears its UID; in UID mode the
    // address and port stay.
    ASSERT_TRUE(tap("returnToDeviceListBtn"));
    const std::string yardAddress = yard->address.value();
    const uint32_t yardPort = yard->mediaPort.load();
    openView(yard);
    EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kViewUid);
    ASSERT_TRUE(tap("editDeviceBtn"));
    type("fieldUser", "2");
    EXPECT_EQ(done(), "");
    EXPECT_EQ(yard->address.value(), yardAddress);
    EXPECT_EQ(yard->mediaPort.load(), yardPort);
}

TEST_F(DeviceMgmtControllerHDTest, DeletingAsksFirstAndRespectsLiveViewsAndAlarms) {
    launchPanel();
    auto& devices = QvDeviceManager::sharedInstance();
    toggle(sectionOf(gate), 0);
    ASSERT_TRUE(tap("editListBtn")) << driver->lastError();
    EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kListEditing);
    auto remove = [&](const std::shared_ptr<Device>& d) {
        const int row = sectionOf(d);
        auto* table = panel().deviceTable();
        panel().commitEditingStyle(table, UITableViewCellEditingStyle::Delete, NSIndexPath{0, row});
        driver->settle();
    };
    // The second button does nothing.
    remove(yard);
    ASSERT_NE(alert(), nullptr);
    EXPECT_EQ(alert()->message(), L("MKSU_Delete"));
    EXPECT_EQ(alert()->buttonTitleAtIndex(0), L("DELETE_BUTTON")) << "the confirming button says what it does";
    driver->tapAlertButton(1);
    driver->settle();
    EXPECT_EQ(devices.countOfDevices(), 2u);
    // In use: refused before the question is asked.
    remove(gate);
    EXPECT_EQ(takeAlert(), " / " + L("CLOSE_DEVICE_FIRST"));
    EXPECT_EQ(alert(), nullptr);
    EXPECT_EQ(devices.countOfDevices(), 2u);
    // Alarm on: refused.
    yard->alarmOnGuard = true;
    remove(yard);
    EXPECT_EQ(takeAlert(), " / " + L("CLOSE_DEVICE_Alarm"));
    EXPECT_EQ(alert(), nullptr);
    // Alarm switched on while the question is up: refused at the answer.
    yard->alarmOnGuard = false;
    remove(yard);
    EXPECT_EQ(alert()->message(), L("MKSU_Delete"));
    yard->alarmOnGuard = true;
    driver->tapAlertButton(0);
    driver->settle();
    EXPECT_EQ(takeAlert(), " / " + L("CLOSE_DEVICE_Alarm"));
    EXPECT_EQ(devices.countOfDevices(), 2u);
    yard->alarmOnGuard = false;
    remove(yard);
    driver->tapAlertButton(0);
    driver->settle();
    EXPECT_EQ(alert(), nullptr);
    EXPECT_EQ(devices.countOfDevices(), 1u);
    EXPECT_EQ(panel().sectionCount(), 1);
    EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kListEditing) << "the list stays in editing";
    ASSERT_TRUE(tap("cancelListEditBtn"));
    EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kList);
    EXPECT_EQ(panel().deviceTable()->numberOfSections(), 1);
}

TEST_F(DeviceMgmtControllerHDTest, PickerRowsAndScannedTexts) {
    launchPanel();
    PickerCalls calls;
    panel().setDelegate(&calls);
    panel().addDeviceItemClicked();  // no picker from this delegate: only the row counts
    panel().didSelectRow(nullptr, 0, 0);
    panel().popoverControllerDidDismissPopover(nullptr);
    panel().didSelectRow(nullptr, 2, 0);
    panel().popoverControllerDidDismissPopover(nullptr);
    EXPECT_EQ(calls.calls, (std::vector<std::string>{"scan", "search"}));
    panel().setDelegate(screen.get());

    // Web addresses and Wi-Fi logins (as scanned or as rebuilt) are not UIDs.
    for (const char* text : {"http://x.example/a", "ssid:Home;pass:pw", "ssid: Home \n password:pw"}) {
        panel().addDeviceItemFromTwoDimensionalCode(text);
        EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kList) << text;
    }
    panel().addDeviceItemFromTwoDimensionalCode("QRUID0001");
    driver->settle();
    EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kAdd);
    EXPECT_EQ(driver->find<UITextField>("fieldUID")->text(), "QRUID0001");
    EXPECT_EQ(panel().segmentedControl()->superview(), nullptr) << "no UID/IP choice for a scanned UID";
    ASSERT_TRUE(tap("cancelDeviceEditBtn"));
    panel().addDeviceItemFromLanSearch("");
    EXPECT_EQ(panel().curStatus(), DeviceMgmtControllerHD::kList);
}

TEST_F(DeviceMgmtControllerHDTest, TheAlarmSwitchRegistersWithThePushServiceAndKeepsTheFlagOnFailure) {
    launchPanel();
    DeviceAlarmRegistration::pushTokenProvider() = [] { return std::optional<std::string>("TOKEN42"); };
    UserDefaults::standardUserDefaults().setStringArray(UserDefaults::kAppleLanguages, {"en"});
    std::string reply = "ok\r\n" + PushKeyCipher::base64_rc4_encode("result=1|");
    int status = 200;
    server = std::make_unique<test::LoopbackHttpServer>([&](const test::LoopbackHttpServer::Request&) {
        test::LoopbackHttpServer::Reply r;
        r.status = status;
        r.parts = {reply};
        return r;
    });
    Config::shared().pushAlarmUidHost = server->hostAndPort();
    openView(yard);
    ASSERT_TRUE(tap("editDeviceBtn"));
    auto flip = [&] {
        ASSERT_TRUE(tap("alarmSwitch")) << driver->lastError();
        ASSERT_TRUE(driver->waitUntil([&] { return !panel().isRegistering(); }));
        driver->settle();
    };
    flip();
    ASSERT_EQ(server->requests().size(), 1u);
    EXPECT_EQ(server->requests()[0].target,
              "/pd.php?c=" + PushKeyCipher::base64_rc4_encode("Tolvex|" + yard->udid.value() + "|Yard|TOKEN42|1|2|1"));
    EXPECT_TRUE(yard->alarmOnGuard.load()) << "the reply finds the device by the UID sent";
    EXPECT_EQ(takeAlert(), " / " + L("AlarmRegistion_Success"));
    EXPECT_TRUE(driver->find<UISwitch>("alarmSwitch")->isOn());
    // A failed unregistration keeps the flag.
    status = 500;
    flip();
    EXPECT_TRUE(yard->alarmOnGuard.load());
    EXPECT_EQ(takeAlert(), " / " + L("Err_communication"));
    reply = "ok\r\n" + PushKeyCipher::base64_rc4_encode("result=5|");
    status = 200;
    flip();
    EXPECT_TRUE(yard->alarmOnGuard.load());
    EXPECT_EQ(takeAlert(), " / " + L("LOGOUT_Failed"));
    reply = "ok\r\n" + PushKeyCipher::base64_rc4_encode("result=1|");
    flip();
    EXPECT_FALSE(yard->alarmOnGuard.load());
    EXPECT_EQ(takeAlert(), " / " + L("LOGOUT_Success"));
}

}  // namespace
