#include "ui/phone/DeviceDetailViewController.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "app/core/Device.h"
#include "app/core/PushKeyCipher.h"
#include "app/core/PushRegistration.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "app/core/QvUtility.h"
#include "platform/Config.h"
#include "platform/Log.h"
#include "platform/net/HttpRequest.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/UserDefaults.h"
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

constexpr const char* kName = "Name:";
constexpr const char* kAddress = "Address:";
constexpr const char* kPort = "Port:";
constexpr const char* kUser = "User:";
constexpr const char* kPassword = "Password:";
constexpr const char* kUDID = "UDID:";
constexpr int kChannelNums[] = {1, 4, 8, 16, 32, 0};
// Keyboards of the rows that choose one.
constexpr int kKeyboardDefault = 0;
constexpr int kKeyboardURL = 3;
constexpr int kKeyboardNumberPad = 4;

// The port's integer value: leading digits (after blanks and a sign), 0
// when there are none; saturated so that huge texts stay out of range.
long portValue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long v = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        v = std::min<long>(v * 10 + (text[i++] - '0'), 1L << 40);
    }
    return negative ? -v : v;
}

std::string storedPassword(const std::string& typed) {
    bool blank = std::all_of(typed.begin(), typed.end(), [](unsigned char c) { return std::isspace(c); });
    return blank ? std::string() : typed;
}

std::string duplicateMessage(const std::shared_ptr<Device>& d) {
    return Localization::string(d && d->deviceConType.load() == 1 ? "DEVICE_Name_Duplicate" : "DEVICE_EDIT_NAMEERR");
}

}  // namespace

std::function<std::optional<std::string>()>& DeviceDetailViewController::pushTokenProvider() {
    static std::function<std::optional<std::string>()> provider;
    return provider;
}

int DeviceDetailViewController::channelNumForSegment(int index) {
    return index >= 0 && index < 6 ? kChannelNums[index] : 0;
}

int DeviceDetailViewController::segmentForChannelNum(int channelNum) {
    for (int i = 0; i < 5; ++i)
        if (kChannelNums[i] == channelNum) return i;
    return 5;
}

DeviceDetailViewController::DeviceDetailViewController() {
    for (const char* key : {kName, kAddress, kPort, kUser, kPassword, kUDID}) attributes_[key] = "";
    auto* segment = new UISegmentedControl({"1", "4", "8", "16", "32", "auto"});
    setViewName(segment, "channelNumberSegment");
    channelNumberSegment_ = segment;
}

DeviceDetailViewController::~DeviceDetailViewController() {
    if (request_) request_->cancel();
    if (requestTimeout_) requestTimeout_->invalidate();
    if (channelNumberSegment_ && !channelNumberSegment_->superview()) delete channelNumberSegment_.data();
    if (seg_ && !seg_->superview()) delete seg_.data();
}

void DeviceDetailViewController::loadView() {
    auto* root = new UIView(CGRectMake(0, 0, 320, 436));
    setViewName(root, "deviceDetailView");
    auto* table = new UITableView(CGRectMake(0, 0, 320, 376), UITableViewStyle::Grouped);
    setViewName(table, "infotableview");
    root->addSubview(table);
    infotableview_ = table;
    auto* del = new UIButton(CGRectMake(20, 384, 280, 44));
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
    seg->setFrame(CGRectMake(0, 0, 160, 30));
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
    mode_ = d->deviceConType.load() == 1 ? 1 : 0;
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
        auto* label = new UILabel(CGRectMake(x, 10, 240, 20));
        label->setFont(UIFont::fontWithName("Verdana", 12));
        label->setTextAlignment(UITextAlignment::Center);
        label->setText(Localization::string("ChannelNum"));
        cell->contentView()->addSubview(label);
        if (channelNumberSegment_) {
            channelNumberSegment_->setFrame(CGRectMake(x, 40, 240, 30));
            static_cast<UIControl*>(channelNumberSegment_.data())->setEnabled(operation_ == kAdd || operation_ == kEdit);
            cell->contentView()->addSubview(channelNumberSegment_);
        }
        setViewName(cell, "channelRow");
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
                       stored && stored->deviceConType.load() == 1 ? std::string() : attributes_[kUDID]);
            break;
        case 2: addTextRow(cell, "User", kUser, false, kKeyboardDefault, attributes_[kUser]); break;
        case 3: addTextRow(cell, "Password", kPassword, true, kKeyboardDefault, attributes_[kPassword]); break;
        default: break;
        }
    } else {
        switch (path.row) {
        case 1:
            addTextRow(cell, "Address", kAddress, false, kKeyboardURL,
                       stored && stored->deviceConType.load() != 1 ? std::string() : attributes_[kAddress]);
            break;
        case 2: addTextRow(cell, "Port", kPort, false, kKeyboardNumberPad, attributes_[kPort]); break;
        case 3: addTextRow(cell, "User", kUser, false, kKeyboardDefault, attributes_[kUser]); break;
        case 4: addTextRow(cell, "Password", kPassword, true, kKeyboardDefault, attributes_[kPassword]); break;
        default: break;
        }
    }
    setViewName(cell, "row" + std::to_string(path.row));
    return cell;
}

void DeviceDetailViewController::textFieldDidBeginEditing(UITextField* field) {
    if (!infotableview_ || !field) return;
    const bool password = field->isSecureTextEntry() && field->objectName() == QString(kPassword);
    infotableview_->setContentOffset(CGPointMake(0, password ? 120 : 0), true);
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
    const std::string name = attributes_[kName];
    const std::string address = attributes_[kAddress];
    const long port = portValue(attributes_[kPort]);
    const std::string user = attributes_[kUser];
    const std::string password = storedPassword(attributes_[kPassword]);
    const std::string uid = attributes_[kUDID];
    if (name.empty()) return QvUtility::showAlert("", Localization::string("NAME_NULL"));
    if (mode_ == 1) {
        if (address.empty()) return QvUtility::showAlert("", Localization::string("ADDR_NULL"));
        if (port < 1 || port > 65535) return QvUtility::showAlert("", Localization::string("ERROR_PORT"));
    } else if (uid.empty()) {
        return QvUtility::showAlert("", Localization::string("UID_NULL"));
    }
    const int channels = channelNumForSegment(channelNumberSegment_ ? channelNumberSegment_->selectedSegmentIndex() : 5);
    QvDeviceManager& manager = QvDeviceManager::sharedInstance();

    if (operation_ == kEdit) {
        auto d = manager.deviceWithId(deviceId_);
        if (!d) return;
        if (d->numberOfConnections() > 0) return QvUtility::showAlert("", Localization::string("CLOSE_DEVICE_FIRST"));
        struct Kept {
            std::optional<std::string> name, user, password, address, udid;
            uint32_t port;
            int32_t channels, conType;
            bool alarm;
        } kept{d->name.get(), d->userName.get(), d->password.get(), d->address.get(), d->udid.get(),
               d->mediaPort.load(), d->channelNum.load(), d->deviceConType.load(), d->alarmOnGuard.load()};
        d->name = name;
        d->userName = user;
        d->password = password;
        d->channelNum = channels;
        d->alarmOnGuard = isAlarm_;
        if (mode_ == 1) {
            d->deviceConType = 1;
            d->address = address;
            d->mediaPort = static_cast<uint32_t>(port);
            d->udid = "";
        } else {
            d->deviceConType = 0;
            d->udid = uid;
        }
        if (!manager.doesDeviceHaveDuplicateAttribute(d)) {
            manager.saveDeviceList();
            if (delegate) delegate->deviceDetailViewControllerDidEditDevice(this, d);
            return;
        }
        d->name = kept.name;
        d->userName = kept.user;
        d->password = kept.password;
        d->address = kept.address;
        d->udid = kept.udid;
        d->mediaPort = kept.port;
        d->channelNum = kept.channels;
        d->deviceConType = kept.conType;
        d->alarmOnGuard = kept.alarm;
        QvUtility::showAlert(Localization::string("Device_EDIT_ERROR"), duplicateMessage(d));
        return;
    }
    if (operation_ == kAdd) {
        auto d = std::make_shared<Device>();
        d->name = name;
        if (mode_ == 1) {
            d->address = address;
            d->mediaPort = static_cast<uint32_t>(port);
            d->udid = "";
            d->deviceConType = 1;
        } else {
            d->udid = uid;
            d->deviceConType = 0;
        }
        d->userName = user;
        d->password = password;
        d->channelNum = channels;
        d->alarmOnGuard = isAlarm_;
        if (manager.addDevice(d)) {
            manager.saveDeviceList();
            QvApplicationPreference& prefs = QvApplicationPreference::sharedInstance();
            prefs.setDevicecount(prefs.devicecount() + 1);
            prefs.saveApplicationPreference();
            if (delegate) delegate->deviceDetailViewControllerDidAddDevice(this, d);
        } else {
            QvUtility::showAlert(Localization::string("Device_ADD_ERROR"), duplicateMessage(d));
        }
    }
}

void DeviceDetailViewController::deleteButtonTapped() {
    auto* alert = new UIAlertView("", Localization::string("MKSU_Delete"), this, Localization::string("OK_BUTTON"),
                                  {Localization::string("NAV_BAR_TITLE")});
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

std::string DeviceDetailViewController::registerText(const std::string& uid, const std::string& name,
                                                     const std::string& token, int language) {
    return "Tolvex|" + uid + "|" + name + "|" + token + "|1|" + std::to_string(language) + "|1";
}

std::string DeviceDetailViewController::unregisterText(const std::string& uid, const std::string& token) {
    return "Tolvex|" + uid + "|" + token + "|0";
}

std::optional<int> DeviceDetailViewController::answerCode(const std::string& text) {
    size_t at = text.find("result=");
    if (at == std::string::npos) return std::nullopt;
    std::string two = text.substr(at + 7, 2);
    char* end = nullptr;
    long v = std::strtol(two.c_str(), &end, 10);
    if (end == two.c_str()) return std::nullopt;
    return static_cast<int>(v);
}

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
    auto& provider = pushTokenProvider();
    const std::string token = provider ? provider().value_or("") : "";
    std::string text;
    if (mBRegisterToServer_) {
        auto langs = UserDefaults::standardUserDefaults().stringArrayForKey(UserDefaults::kAppleLanguages);
        text = registerText(uid, name, token, PushRegistration::languageCodeForLanguage(langs.empty() ? "" : langs[0]));
    } else {
        text = unregisterText(uid, token);
    }
    // The Base64 text goes into the address as it is: the service reads it so.
    const std::string url =
        "http://" + Config::shared().pushAlarmUidHost + "/pd.php?c=" + PushKeyCipher::base64_rc4_encode(text);
    if (request_) request_->cancel();
    if (requestTimeout_) requestTimeout_->invalidate();
    reply_.clear();
    std::weak_ptr<UIViewController> weak = weak_from_this();
    auto self = [weak] { return std::dynamic_pointer_cast<DeviceDetailViewController>(weak.lock()); };
    HttpRequest::Options options;
    options.timeout = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double>(kRegisterTimeoutSeconds));
    options.maxBodyBytes = 64 * 1024;
    request_ = HttpRequest::get(
        url,
        [self](const std::string& block) {
            if (auto s = self()) s->reply_ += block;
        },
        [self](long status, const std::optional<Error>& error) {
            auto s = self();
            if (!s) return;
            s->request_.reset();
            if (error || status < 200 || status > 299) {
                Log::warn("alarm", "registration failed (status %ld)", status);
                s->failRegistration();
                return;
            }
            std::string body = s->reply_;
            size_t crlf = body.find("\r\n");
            if (crlf != std::string::npos) body = body.substr(crlf + 2);
            auto deciphered = PushKeyCipher::base64_rc4_decode(body);
            auto code = deciphered ? answerCode(*deciphered) : std::nullopt;
            if (!code) {
                s->failRegistration();
                return;
            }
            s->finishRegistration(code);
        },
        options);
    requestTimeout_ = RunLoopTimer::scheduled(
        RunLoop::main(),
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(kRegisterTimeoutSeconds)),
        false, [self](RunLoopTimer&) {
            auto s = self();
            if (!s || !s->request_) return;
            Log::warn("alarm", "registration timed out");
            s->request_->cancel();
            s->request_.reset();
            s->failRegistration();
        });
    return true;
}

void DeviceDetailViewController::endRequest() {
    if (requestTimeout_) requestTimeout_->invalidate();
    requestTimeout_.reset();
    if (request_) request_->cancel();
    request_.reset();
    MBProgressHUD::hideHUDForView(viewIfLoaded(), true);
}

void DeviceDetailViewController::failRegistration() {
    endRequest();
    // The service's state is unknown: the flag stays what it was.
    isAlarm_ = alarmBefore_;
    QvUtility::showAlert("", Localization::string("Err_communication"));
}

void DeviceDetailViewController::finishRegistration(std::optional<int> code) {
    endRequest();
    auto d = QvDeviceManager::sharedInstance().deviceWithUID(attributes_[kUDID]);
    const bool before = d ? d->alarmOnGuard.load() : alarmBefore_;
    bool flag = before;
    std::string message;
    switch (code.value_or(0)) {
    case 1:
    case 2:
        flag = mBRegisterToServer_;
        message = mBRegisterToServer_ ? "AlarmRegistion_Success" : "LOGOUT_Success";
        break;
    case 3: message = "Failed_AddAlarm"; break;
    case 4:
        flag = false;
        message = "LOGOUT_Success";
        break;
    case 5: message = "LOGOUT_Failed"; break;
    case -1: message = "Err_communication"; break;
    default: break;
    }
    isAlarm_ = flag;
    if (d) d->alarmOnGuard = flag;
    QvDeviceManager::sharedInstance().saveDeviceList();
    reload();
    if (!message.empty()) {
        auto* alert = new UIAlertView("", Localization::string(message), nullptr, Localization::string("OK_BUTTON"), {});
        alert->show();
    }
}

}  // namespace lumora
