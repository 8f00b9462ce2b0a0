#include "ui/phone/DeviceDetailViewController.h"


#include "app/core/ConnectModes.h"
#include "app/core/Device.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "app/core/QvUtility.h"
#include "platform/Log.h"
#include "platform/text/Localization.h"
#include "ui/common/MBProgressHUD.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UINavigationBar.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UINavigationItem.h"
#include "ui/phone/TextInputTableCell.h"

namespace lumora {

namespace {

// The form: the device's fields over the delete button.
constexpr CGRect kRootFrame{{0, 0}, {320, 436}};
constexpr CGRect kTableFrame{{0, 0}, {320, 376}};
constexpr CGRect kDeleteButtonFrame{{20, 384}, {280, 44}};
// The title bar's choice between a UID and an address.
constexpr CGRect kModeSegmentFrame{{0, 0}, {160, 30}};
// The channel count row: its caption over the segments.
constexpr CGFloat kChannelRowWidth = 240;

constexpr const char* kName = "Name:";
constexpr const char* kAddress = "Address:";
constexpr const char* kPort = "Port:";
constexpr const char* kUser = "User:";
constexpr const char* kPassword = "Password:";
constexpr const char* kUDID = "UDID:";
// Keyboards of the rows that choose one.
constexpr int kKeyboardDefault = 0;
constexpr int kKeyboardURL = 3;
constexpr int kKeyboardNumberPad = 4;

}  // namespace

DeviceDetailViewController::DeviceDetailViewController() {
    for (const char* key : {kName, kAddress, kPort, kUser, kPassword, kUDID}) attributes_[key] = "";
    auto* segment = new UISegmentedControl({"1", "4", "8", "16", "32", "auto"});
    setViewName(segment, "channelNumberSegment");
    channelNumberSegment_ = segment;
}

DeviceDetailViewController::~DeviceDetailViewController() {
    if (channelNumberSegment_ && !channelNumberSegment_->superview()) delete channelNumberSegment_.data();
    if (seg_ && !seg_->superview()) delete seg_.data();
}

void DeviceDetailViewController::loadView() {
    auto* root = new UIView(kRootFrame);
    setViewName(root, "deviceDetailView");
    auto* table = new UITableView(kTableFrame, UITableViewStyle::Grouped);
    setViewName(table, "infotableview");
    root->addSubview(table);
    infotableview_ = table;
    auto* del = new UIButton(kDeleteButtonFrame);
    del->setTitle(Localization::string("DELETE_DEVICE"));
    setViewName(del, "deleteButton");
    del->addTarget(this, [this](UIControl*, UIEvent*) { deleteButtonTapped(); }, UIControlEventTouchUpInside);
    root->addSubview(del);
    deleteButton_ = del;
    setView(root);
}

void DeviceDetailViewController::viewDidLoad() {
    view()->setBackgroundColor(UIColor::groupTableViewBackgroundColor());
    if (infotableview_) {
        infotableview_->dataSource = this;
        infotableview_->setDelegate(this);
    }
    if (deleteButton_) {
        if (auto red = UIImage::imageNamed("redbutton.png"))
            deleteButton_->setBackgroundImage(red->stretchableImageWithLeftCapWidth(10, 0), UIControlStateNormal);
        if (auto gray = UIImage::imageNamed("grayButton.png"))
            deleteButton_->setBackgroundImage(gray->stretchableImageWithLeftCapWidth(10, 0), UIControlStateHighlighted);
        deleteButton_->setHidden(operation_ != kEdit);
    }
    if (deviceId_ < 0 && channelNumberSegment_) channelNumberSegment_->setSelectedSegmentIndex(1);
    if (auto* nav = navigationController()) nav->navigationBar()->setBarStyle(UIBarStyle::Black);
    std::weak_ptr<UIViewController> weak = weak_from_this();
    navigationItem().setLeftBarButtonItem(
        UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::Cancel, [weak](UIBarButtonItem&) {
            if (auto s = std::dynamic_pointer_cast<DeviceDetailViewController>(weak.lock())) s->cancelButtonTapped();
        }));
    auto* seg = new UISegmentedControl({Localization::string("UIDTYPE"), Localization::string("IPTYPE")});
    seg->setFrame(kModeSegmentFrame);
    seg->setSelectedSegmentIndex(mode_ == 1 ? 1 : 0);
    setViewName(seg, "seg");
    seg->addTarget(this, [this](UIControl*, UIEvent*) { modeTypeDidChange(); }, UIControlEventValueChanged);
    seg_ = seg;
    if (operation_ == kAdd) {
        navigationItem().setTitleView(seg);
        mode_ = 0;
    }
    setOperation(operation_);
}

void DeviceDetailViewController::viewWillAppear(bool) {
    UIApplication::sharedApplication().setStatusBarHidden(true);
}

void DeviceDetailViewController::reload() {
    if (infotableview_) {
        infotableview_->reloadData();
        infotableview_->setContentSize(CGSizeMake(infotableview_->bounds().size.width,
                                                  infotableview_->contentSize().height + 40));
    }
}

void DeviceDetailViewController::setOperation(int operation) {
    operation_ = operation;
    std::weak_ptr<UIViewController> weak = weak_from_this();
    auto self = [weak] { return std::dynamic_pointer_cast<DeviceDetailViewController>(weak.lock()); };
    auto done = [self] {
        return UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::Done, [self](UIBarButtonItem&) {
            if (auto s = self()) s->doneButtonTapped();
        });
    };
    switch (operation) {
    case kAdd:
        navigationItem().setTitle(Localization::string("ADD_DEVICE"));
        navigationItem().setRightBarButtonItem(done());
        if (deleteButton_) deleteButton_->setHidden(true);
        reload();
        break;
    case kEdit:
        navigationItem().setRightBarButtonItem(done());
        if (deleteButton_) deleteButton_->setHidden(false);
        reload();
        break;
    case kView:
        navigationItem().setRightBarButtonItem(
            UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::Edit, [self](UIBarButtonItem&) {
                if (auto s = self()) s->editButtonTapped();
            }));
        if (deleteButton_) deleteButton_->setHidden(true);
        break;
    default:
        navigationItem().setTitle("");
        navigationItem().setRightBarButtonItem(nullptr);
        if (deleteButton_) deleteButton_->setHidden(true);
        operation_ = kView;
        break;
    }
}

void DeviceDetailViewController::setDeviceId(int32_t deviceId) {
    deviceId_ = deviceId;
    auto d = QvDeviceManager::sharedInstance().deviceWithId(deviceId);
    if (!d) return;
    attributes_[kName] = d->name.value();
    attributes_[kAddress] = d->address.value();
    attributes_[kPort] = std::to_string(d->mediaPort.load());
    attributes_[kUser] = d->userName.value();
    attributes_[kPassword] = d->password.value();
    attributes_[kUDID] = d->udid.value();
    isAlarm_ = d->alarmOnGuard.load();
    if (channelNumberSegment_) channelNumberSegment_->setSelectedSegmentIndex(segmentForChannelNum(d->channelNum.load()));
    navigationItem().setTitle(d->name.value());
    mode_ = d->deviceConType.load() == devicecon::kByAddress ? 1 : 0;
    if (seg_) {
        seg_->setSelectedSegmentIndex(mode_);
        seg_->setHidden(true);
    }
    reload();
}

void DeviceDetailViewController::setDeviceUID(const std::string& uid) {
    attributes_[kUDID] = uid;
    reload();
}

void DeviceDetailViewController::modeTypeDidChange() {
    mode_ = seg_ && seg_->selectedSegmentIndex() == 1 ? 1 : 0;
    reload();
}

CGFloat DeviceDetailViewController::heightForRowAtIndexPath(UITableView*, const NSIndexPath& path) {
    return path.row == numberOfRowsInSection(nullptr, 0) - 1 ? 80 : 50;
}

void DeviceDetailViewController::addTextRow(UITableViewCell* cell, const std::string& labelKey, const std::string& entry,
                                            bool secure, int keyboard, const std::string& shown) {
    auto* row = dynamic_cast<TextInputTableCell*>(cell);
    if (!row || !row->label() || !row->field()) return;
    row->label()->setText(Localization::string(labelKey));
    UITextField* field = row->field();
    field->setTextAlignment(UITextAlignment::Center);
    field->delegate = this;
    field->setEnabled(operation_ == kAdd || operation_ == kEdit);
    field->setText(shown);
    field->setSecureTextEntry(secure);
    field->keyboardType = keyboard;
    setViewName(field, entry);
    field->addTarget(this, [this, entry, field](UIControl*, UIEvent*) { attributes_[entry] = field->text(); },
                     UIControlEventEditingChanged);
}

UITableViewCell* DeviceDetailViewController::cellForRowAtIndexPath(UITableView* table, const NSIndexPath& path) {
    const int rows = numberOfRowsInSection(table, 0);
    if (path.row == rows - 1) {
        auto* cell = new UITableViewCell(UITableViewCellStyle::Default, "SegCell");
        const CGFloat x = (table ? table->bounds().size.width : 320) / 2 - 130;
        auto* label = new UILabel(CGRectMake(x, 10, kChannelRowWidth, 20));
        label->setFont(UIFont::fontWithName("Verdana", 12));
        label->setTextAlignment(UITextAlignment::Center);
        label->setText(Localization::string("ChannelNum"));
        cell->contentView()->addSubview(label);
        if (channelNumberSegment_) {
            channelNumberSegment_->setFrame(CGRectMake(x, 40, kChannelRowWidth, 30));
            static_cast<UIControl*>(channelNumberSegment_.data())->setEnabled(operation_ == kAdd || operation_ == kEdit);
            cell->contentView()->addSubview(channelNumberSegment_);
        }
        setViewName(cell, "channelRow");
        cell->selectionStyle = UITableViewCellSelectionStyle::None;
        return cell;
    }
    auto* cell = new TextInputTableCell();
    auto stored = QvDeviceManager::sharedInstance().deviceWithId(deviceId_);
    if (path.row == 0) {
        addTextRow(cell, "Name", kName, false, kKeyboardDefault, attributes_[kName]);
    } else if (mode_ == 0) {
        switch (path.row) {
        case 1:
            addTextRow(cell, "UID", kUDID, false, kKeyboardDefault,
                       stored && stored->deviceConType.load() == devicecon::kByAddress ? std::string() : attributes_[kUDID]);
            break;
        case 2: addTextRow(cell, "User", kUser, false, kKeyboardDefault, attributes_[kUser]); break;
        case 3: addTextRow(cell, "Password", kPassword, true, kKeyboardDefault, attributes_[kPassword]); break;
        default: break;
        }
    } else {
        switch (path.row) {
        case 1:
            addTextRow(cell, "Address", kAddress, false, kKeyboardURL,
                       stored && stored->deviceConType.load() != devicecon::kByAddress ? std::string() : attributes_[kAddress]);
            break;
        case 2: addTextRow(cell, "Port", kPort, false, kKeyboardNumberPad, attributes_[kPort]); break;
        case 3: addTextRow(cell, "User", kUser, false, kKeyboardDefault, attributes_[kUser]); break;
        case 4: addTextRow(cell, "Password", kPassword, true, kKeyboardDefault, attributes_[kPassword]); break;
        default: break;
        }
    }
    setViewName(cell, "row" + std::to_string(path.row));
    // A tap on a row's label is no choice of the row: nothing turns blue.
    cell->selectionStyle = UITableViewCellSelectionStyle::None;
    return cell;
}

void DeviceDetailViewController::textFieldDidBeginEditing(UITextField* field) {
    // No keyboard slides over the form on this platform: the form moves
    // only when the field being edited is out of sight.
    if (!infotableview_ || !field) return;
    const CGPoint shown = field->convertPointToView(CGPoint{0, 0}, infotableview_);
    const CGPoint offset = infotableview_->contentOffset();
    infotableview_->scrollRectToVisible(CGRect{{shown.x + offset.x, shown.y + offset.y}, field->bounds().size}, true);
}

bool DeviceDetailViewController::textFieldShouldReturn(UITextField* field) {
    if (field) field->resignFirstResponder();
    return true;
}

void DeviceDetailViewController::cancelButtonTapped() {
    setOperation(kView);
    setDeviceId(-1);
    if (delegate) delegate->deviceDetailViewControllerDidCancel(this);
}

void DeviceDetailViewController::editButtonTapped() {
    auto d = QvDeviceManager::sharedInstance().deviceWithId(deviceId_);
    if (d && d->numberOfConnections() > 0) {
        QvUtility::showAlert("", Localization::string("CLOSE_DEVICE_FIRST"));
        return;
    }
    setOperation(kEdit);
}

void DeviceDetailViewController::doneButtonTapped() {
    if (UITextField* editing = UITextField::editingField()) editing->resignFirstResponder();
    DeviceForm form;
    form.mode = mode_;
    form.name = attributes_[kName];
    form.address = attributes_[kAddress];
    form.port = attributes_[kPort];
    form.user = attributes_[kUser];
    form.password = attributes_[kPassword];
    form.uid = attributes_[kUDID];
    form.alarm = isAlarm_;
    if (const std::string refusal = form.validationError(); !refusal.empty())
        return QvUtility::showAlert("", Localization::string(refusal));
    form.channelNum = channelNumForSegment(channelNumberSegment_ ? channelNumberSegment_->selectedSegmentIndex() : 5);
    QvDeviceManager& manager = QvDeviceManager::sharedInstance();

    if (operation_ == kEdit) {
        auto d = manager.deviceWithId(deviceId_);
        if (!d) return;
        if (d->numberOfConnections() > 0) return QvUtility::showAlert("", Localization::string("CLOSE_DEVICE_FIRST"));
        if (form.applyTo(d, manager)) {
            manager.saveDeviceList();
            if (delegate) delegate->deviceDetailViewControllerDidEditDevice(this, d);
            return;
        }
        QvUtility::showAlert(Localization::string("Device_EDIT_ERROR"),
                             Localization::string(DeviceForm::duplicateMessageKey(*d)));
        return;
    }
    if (operation_ == kAdd) {
        auto d = form.makeDevice();
        if (manager.addDevice(d)) {
            manager.saveDeviceList();
            QvApplicationPreference& prefs = QvApplicationPreference::sharedInstance();
            prefs.setDevicecount(prefs.devicecount() + 1);
            prefs.saveApplicationPreference();
            if (delegate) delegate->deviceDetailViewControllerDidAddDevice(this, d);
        } else {
            QvUtility::showAlert(Localization::string("Device_ADD_ERROR"),
                                 Localization::string(DeviceForm::duplicateMessageKey(*d)));
        }
    }
}

void DeviceDetailViewController::deleteButtonTapped() {
    // What stands in the way is said before the question, not after it.
    if (auto d = QvDeviceManager::sharedInstance().deviceWithId(deviceId_)) {
        if (d->numberOfConnections() > 0) return QvUtility::showAlert("", Localization::string("CLOSE_DEVICE_FIRST"));
        if (d->alarmOnGuard.load()) return QvUtility::showAlert("", Localization::string("CLOSE_DEVICE_Alarm"));
    }
    auto* alert = new UIAlertView("", Localization::string("MKSU_Delete"), this, Localization::string("DELETE_BUTTON"),
                                  {Localization::string("CANCEL_BUTTON")});
    alert->setTag(kDeleteAlertTag);
    setViewName(alert, "deleteConfirmation");
    alert->show();
}

void DeviceDetailViewController::alertViewDidDismissWithButtonIndex(UIAlertView* alert, int buttonIndex) {
    if (!alert || alert->tag() != kDeleteAlertTag || buttonIndex != 0) return;
    QvDeviceManager& manager = QvDeviceManager::sharedInstance();
    auto d = manager.deviceWithId(deviceId_);
    if (!d) return;
    if (d->numberOfConnections() > 0) return QvUtility::showAlert("", Localization::string("CLOSE_DEVICE_FIRST"));
    if (d->alarmOnGuard.load()) return QvUtility::showAlert("", Localization::string("CLOSE_DEVICE_Alarm"));
    d->stopPreConnection();
    const int32_t id = deviceId_;
    manager.removeDeviceWithId(id);
    manager.saveDeviceList();
    if (delegate) delegate->deviceDetailViewControllerDidDeleteDevice(this, id);
}

// ---- alarm registration

void DeviceDetailViewController::switchAction(bool on) {
    alarmBefore_ = isAlarm_;
    isAlarm_ = on;
    mBRegisterToServer_ = on;
    MBProgressHUD::showHUDAddedTo(view(), true, Localization::string(on ? "AlarmRegisting" : "Alarmclosing"));
    registerToServer();
}

bool DeviceDetailViewController::registerToServer() {
    const std::string uid = attributes_[kUDID];
    const std::string name = attributes_[kName];
    if (uid.empty() || name.empty()) {
        // Nothing is sent: the overlay goes, the flag stays as it was.
        MBProgressHUD::hideHUDForView(viewIfLoaded(), true);
        isAlarm_ = alarmBefore_;
        if (mode_ == 0) {
            auto* alert = new UIAlertView(Localization::string("MSG_TITLE"),
                                          Localization::string(uid.empty() ? "UID_NULL" : "NAME_NULL"), nullptr,
                                          Localization::string("OK_BUTTON"), {});
            alert->show();
            return false;
        }
        // Devices reached only by address are not offered the registration.
        Log::info("alarm", "no alarm registration for a device reached by address");
        return false;
    }
    std::weak_ptr<UIViewController> weak = weak_from_this();
    registration_.start(uid, name, mBRegisterToServer_, [weak](std::optional<int> code) {
        if (auto s = std::dynamic_pointer_cast<DeviceDetailViewController>(weak.lock())) s->finishRegistration(code);
    });
    return true;
}

void DeviceDetailViewController::finishRegistration(std::optional<int> code) {
    MBProgressHUD::hideHUDForView(viewIfLoaded(), true);
    auto d = QvDeviceManager::sharedInstance().deviceWithUID(attributes_[kUDID]);
    if (!code) {
        // The service's state is unknown: the flag stays what it was.
        isAlarm_ = alarmBefore_;
        QvUtility::showAlert("", Localization::string("Err_communication"));
        return;
    }
    const bool before = d ? d->alarmOnGuard.load() : alarmBefore_;
    const auto result = DeviceAlarmRegistration::outcome(*code, mBRegisterToServer_, before);
    isAlarm_ = result.flag;
    if (d) d->alarmOnGuard = result.flag;
    QvDeviceManager::sharedInstance().saveDeviceList();
    reload();
    if (!result.messageKey.empty()) {
        auto* alert = new UIAlertView("", Localization::string(result.messageKey), nullptr,
                                      Localization::string("OK_BUTTON"), {});
        alert->show();
    }
}

}  // namespace lumora
