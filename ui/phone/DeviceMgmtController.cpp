#include "ui/phone/DeviceMgmtController.h"

#include "app/core/ConnectModes.h"
#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "platform/InterfaceIdiom.h"
#include "platform/text/Localization.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UINavigationBar.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UINavigationItem.h"
#include "ui/phone/QueryRemoteRecordSetting.h"

namespace lumora {

DeviceMgmtController::RecordSearchFactory& DeviceMgmtController::recordSearchFactory() {
    static RecordSearchFactory factory = [](int32_t deviceId) -> std::shared_ptr<UIViewController> {
        auto form = std::make_shared<QueryRemoteRecordSetting>();
        form->setDevice(deviceId);
        return form;
    };
    return factory;
}

DeviceMgmtController::DeviceMgmtController(int mgmtType) : mgmtType_(mgmtType) {}

namespace {

// The tablet's look: the settings' dark background, a centred column of
// rows with white names.
constexpr CGFloat kPadColumnWidth = 720;
constexpr CGFloat kPadRowHeight = 64;
UIColor padRowColour() { return UIColor::colorWithRed(0.22, 0.23, 0.27, 1); }

}  // namespace

CGFloat DeviceMgmtController::heightForRowAtIndexPath(UITableView*, const NSIndexPath&) {
    return InterfaceIdiom::isPad() ? kPadRowHeight : 50;
}

void DeviceMgmtController::loadView() {
    auto* root = new UIView(CGRectMake(0, 0, 320, 480));
    setViewName(root, "deviceMgmtView");
    auto* bar = new UINavigationBar(CGRectMake(0, 0, 320, 44));
    bar->setBarStyle(UIBarStyle::Black);
    bar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    setViewName(bar, "navBar");
    root->addSubview(bar);
    navBar_ = bar;
    auto* table = new UITableView(CGRectMake(0, 44, 320, 436));
    table->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    setViewName(table, "devicesTable");
    root->addSubview(table);
    devicesTable_ = table;

    std::weak_ptr<UIViewController> weak = weak_from_this();
    auto self = [weak] { return std::dynamic_pointer_cast<DeviceMgmtController>(weak.lock()); };
    navigationItem().setLeftBarButtonItem(
        UIBarButtonItem::withTitle(Localization::string("CLose_BTN"), UIBarButtonItemStyle::Bordered, [self](UIBarButtonItem&) {
            if (auto s = self()) s->closeButtonTapped();
        }));
    navigationItem().setRightBarButtonItem(
        UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::Add, [self](UIBarButtonItem&) {
            if (auto s = self()) s->addButtonTapped();
        }));
    setView(root);
}

void DeviceMgmtController::viewDidLoad() {
    if (InterfaceIdiom::isPad() && devicesTable_) {
        UIView* root = view();
        root->setBackgroundColor(UIColor::colorWithPatternImage(UIImage::imageNamed("ltoolbarbg.png")));
        const CGFloat w = root->bounds().size.width;
        devicesTable_->setFrame(CGRectMake((w - kPadColumnWidth) / 2, 44 + 20, kPadColumnWidth,
                                           root->bounds().size.height - 44 - 20));
        devicesTable_->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
                                           UIViewAutoresizingFlexibleHeight);
        devicesTable_->setBackgroundColor(UIColor::clearColor());
        devicesTable_->separatorColor = UIColor::colorWithWhite(0.35, 1);
    }
    if (mgmtType_ == 1) navigationItem().setRightBarButtonItem(nullptr);
    navigationItem().setTitle(Localization::string("Device"));
    if (navBar_) navBar_->showItems(&navigationItem(), nullptr);
    if (devicesTable_) {
        devicesTable_->dataSource = this;
        devicesTable_->setDelegate(this);
        devicesTable_->reloadData();
    }
}

void DeviceMgmtController::viewWillAppear(bool) {
    UIApplication::sharedApplication().setStatusBarHidden(true);
}

void DeviceMgmtController::addButtonTapped() {
    if (delegate) delegate->deviceMgmtControllerAddDevice(this);
}

void DeviceMgmtController::closeButtonTapped() {
    if (delegate) delegate->deviceMgmtControllerDidClose(this);
}

int DeviceMgmtController::numberOfRowsInSection(UITableView*, int) {
    return static_cast<int>(QvDeviceManager::sharedInstance().countOfDevices());
}

UITableViewCell* DeviceMgmtController::cellForRowAtIndexPath(UITableView*, const NSIndexPath& path) {
    auto* cell = new UITableViewCell(UITableViewCellStyle::Subtitle, "DeviceCell");
    auto d = QvDeviceManager::sharedInstance().objectInDevicesAtIndex(static_cast<uint32_t>(path.row));
    if (!d) return cell;
    cell->setAccessoryType(UITableViewCellAccessoryType::DetailDisclosureButton);
    cell->textLabel()->setText(d->name.value());
    if (auto* detail = cell->detailTextLabel()) {
        // A device reached through the relay may have no address of its own:
        // its identifier says which it is.
        const std::string address = d->address.value();
        detail->setText(d->deviceConType.load() != devicecon::kByUid && !address.empty()
                            ? address + ":" + std::to_string(d->mediaPort.load())
                            : d->udid.value());
        detail->setFont(UIFont::fontWithName("Verdana", 10));
    }
    if (auto* image = cell->imageView()) image->setImage(UIImage::imageNamed("dvr.png"));
    if (InterfaceIdiom::isPad()) {
        cell->setBackgroundColor(padRowColour());
        cell->textLabel()->setTextColor(UIColor::whiteColor());
        cell->textLabel()->setFont(UIFont::boldSystemFontOfSize(20));
        if (auto* detail = cell->detailTextLabel()) {
            detail->setTextColor(UIColor::colorWithWhite(0.8, 1));
            detail->setFont(UIFont::systemFontOfSize(15));
        }
    }
    // Indented one level: the picture sits left of the texts.
    setViewName(cell, "deviceRow" + std::to_string(path.row));
    return cell;
}

void DeviceMgmtController::accessoryButtonTappedForRowWithIndexPath(UITableView*, const NSIndexPath& path) {
    auto d = QvDeviceManager::sharedInstance().objectInDevicesAtIndex(static_cast<uint32_t>(path.row));
    if (!d) return;
    if (mgmtType_ == 1) {
        auto& factory = recordSearchFactory();
        if (!factory) return;
        auto form = factory(d->deviceId);
        if (!form) return;
        auto nav = std::make_shared<UINavigationController>(form);
        nav->navigationBar()->setBarStyle(UIBarStyle::Black);
        presentViewController(nav, true);
        return;
    }
    editor_ = std::make_shared<DeviceDetailViewController>();
    editor_->delegate = this;
    editor_->setOperation(DeviceDetailViewController::kView);
    auto nav = std::make_shared<UINavigationController>(editor_);
    presentViewController(nav, true);
    editor_->setDeviceId(d->deviceId);
}

void DeviceMgmtController::closeEditor() {
    if (presentedViewController()) dismissViewControllerAnimated(true);
}

void DeviceMgmtController::deviceDetailViewControllerDidCancel(DeviceDetailViewController*) {
    closeEditor();
}

void DeviceMgmtController::deviceDetailViewControllerDidAddDevice(DeviceDetailViewController*,
                                                                  const std::shared_ptr<Device>& device) {
    if (device) device->startPreConnection();
    closeEditor();
    if (devicesTable_) devicesTable_->reloadData();
}

void DeviceMgmtController::deviceDetailViewControllerDidEditDevice(DeviceDetailViewController*,
                                                                   const std::shared_ptr<Device>&) {
    closeEditor();
    if (devicesTable_) devicesTable_->reloadData();
}

void DeviceMgmtController::deviceDetailViewControllerDidDeleteDevice(DeviceDetailViewController*, int32_t) {
    closeEditor();
    if (devicesTable_) devicesTable_->reloadData();
}

}  // namespace lumora
