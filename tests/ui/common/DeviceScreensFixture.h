#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "platform/AlertPresenter.h"
#include "platform/Config.h"
#include "platform/InterfaceIdiom.h"
#include "platform/text/Localization.h"
#include "support/TempDir.h"
#include "ui/common/DeviceSearchingViewController.h"
#include "ui/common/UIDeviceAddViewController.h"
#include "ui/common/ZBarReaderViewController.h"
#include "ui/kit/KitAlertPresenter.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UIWindow.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/phone/DeviceDetailViewController.h"

namespace lumora::test {

// Stands in for the phone live view: opens the reader, the LAN search and
// the device editor the way the live view does, and records the calls.
class PhoneOpener : public UIViewController,
                    public UIDeviceAddViewControllerDelegate,
                    public DeviceSearchingViewControllerDelegate,
                    public DeviceDetailViewControllerDelegate {
public:
    std::vector<std::string> calls;
    bool handlesTyping = true;
    std::shared_ptr<UIDeviceAddViewController> chooser;
    std::shared_ptr<DeviceSearchingViewController> search;
    std::shared_ptr<DeviceDetailViewController> editor;

    void openChooser() {
        chooser = std::make_shared<UIDeviceAddViewController>();
        chooser->delegate = std::static_pointer_cast<PhoneOpener>(shared_from_this());
        view()->addSubview(chooser->view());
        chooser->showView();
    }
    void openEditor(const std::string& uid) {
        editor = std::make_shared<DeviceDetailViewController>();
        editor->delegate = this;
        if (!uid.empty()) editor->setDeviceUID(uid);
        editor->setOperation(DeviceDetailViewController::kAdd);
        presentViewController(std::make_shared<UINavigationController>(editor), true);
    }

    bool addDeviceFromTyping() override {
        calls.push_back("typing");
        if (!handlesTyping) return false;
        openEditor("");
        return true;
    }
    bool addDeviceFromUID(const std::string& uid, const std::string& name) override {
        calls.push_back("uid " + uid + " name '" + name + "'");
        openEditor(uid);
        return true;
    }
    bool presentZBarReaderWindow(const std::shared_ptr<ZBarReaderViewController>& reader) override {
        calls.push_back("reader");
        presentViewController(reader, true);
        return true;
    }
    bool addDeviceWithLANScanning() override {
        calls.push_back("lan");
        search = std::make_shared<DeviceSearchingViewController>();
        search->delegate = std::static_pointer_cast<PhoneOpener>(shared_from_this());
        search->isAdding = false;
        presentViewController(search, true);
        return true;
    }
    void changeCanRotate(bool can) override { calls.push_back(can ? "rotate yes" : "rotate no"); }
    void addMultiDevicesFromMulticaseSearching() override { calls.push_back("multi"); }
    void addDeviceItemFromLanSearch(const std::string& uid) override {
        calls.push_back("picked " + uid);
        openEditor(uid);
    }
    void deviceDetailViewControllerDidCancel(DeviceDetailViewController*) override {
        calls.push_back("cancel");
        dismissViewControllerAnimated(true);
    }
    void deviceDetailViewControllerDidAddDevice(DeviceDetailViewController*, const std::shared_ptr<Device>& d) override {
        calls.push_back("added " + d->name.value());
        dismissViewControllerAnimated(true);
    }
    void deviceDetailViewControllerDidEditDevice(DeviceDetailViewController*, const std::shared_ptr<Device>& d) override {
        calls.push_back("edited " + d->name.value());
        dismissViewControllerAnimated(true);
    }
    void deviceDetailViewControllerDidDeleteDevice(DeviceDetailViewController*, int32_t id) override {
        calls.push_back("deleted " + std::to_string(id));
        dismissViewControllerAnimated(true);
    }
    bool called(const std::string& what) const {
        for (const auto& c : calls)
            if (c == what) return true;
        return false;
    }
};

class DeviceScreensFixture : public ::testing::Test {
protected:
    void SetUp() override {
        Config::shared().dataRoot = dir.path();
        InterfaceIdiom::setCurrent(UserInterfaceIdiom::Phone);
        AlertPresenter::install(std::make_shared<KitAlertPresenter>());
        QvDeviceManager& m = QvDeviceManager::sharedInstance();
        while (m.countOfDevices() > 0) m.removeObjectFromDevicesAtIndex(0);
    }
    void TearDown() override {
        QvDeviceManager& m = QvDeviceManager::sharedInstance();
        while (m.countOfDevices() > 0) m.removeObjectFromDevicesAtIndex(0);
        InterfaceIdiom::setCurrent(UserInterfaceIdiom::Unspecified);
    }

    std::shared_ptr<PhoneOpener> openOpener() {
        opener = std::make_shared<PhoneOpener>();
        driver.setRoot(opener);
        driver.settle();
        return opener;
    }
    UIAlertView* alert() const { return UIAlertView::topmost(driver.window()); }
    // "title / message" of the topmost alert ("" without one).
    std::string alertText() const {
        UIAlertView* a = alert();
        return a ? a->title() + " / " + a->message() : std::string();
    }
    static std::string L(const std::string& key) { return Localization::string(key); }
    std::shared_ptr<Device> storeUidDevice(const std::string& name, const std::string& uid) {
        auto d = std::make_shared<Device>();
        d->name = name;
        d->udid = uid;
        d->deviceConType = 0;
        EXPECT_TRUE(QvDeviceManager::sharedInstance().addDevice(d));
        return d;
    }
    std::shared_ptr<Device> storeAddressDevice(const std::string& name, const std::string& address, uint32_t port) {
        auto d = std::make_shared<Device>();
        d->name = name;
        d->address = address;
        d->mediaPort = port;
        d->udid = "";
        d->deviceConType = 1;
        EXPECT_TRUE(QvDeviceManager::sharedInstance().addDevice(d));
        return d;
    }
    void shot(const std::string& name) { driver.saveScreenshot(::testing::TempDir() + name); }

    TempDir dir;
    KitTestDriver driver;
    std::shared_ptr<PhoneOpener> opener;
};

}  // namespace lumora::test
