#include "ui/common/UIDeviceAddViewController.h"

#include <cctype>

#include "platform/Log.h"
#include "platform/text/Localization.h"
#include "ui/common/ZBarReaderViewController.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIPasteboard.h"
#include "ui/kit/UIView.h"

namespace lumora {

namespace {
// The phone's screen; the sheet of ways to add a device is shown over it.
constexpr CGRect kAddingFrame{{0, 0}, {320, 480}};
const char* const kUrlMessage = "It will use the browser to this URL\u3002";
const char* const kWiFiMessage =
    "The password is copied to the clipboard , it will be redirected to the network settings interface";
}  // namespace

UIDeviceAddViewController::UIDeviceAddViewController() = default;
UIDeviceAddViewController::~UIDeviceAddViewController() = default;

void UIDeviceAddViewController::loadView() {
    auto* root = new UIView(kAddingFrame);
    root->setBackgroundColor(UIColor::clearColor());
    setViewName(root, "deviceAddView");
    setView(root);
}

void UIDeviceAddViewController::viewWillAppear(bool) {
    UIApplication::sharedApplication().setStatusBarHidden(true);
}

void UIDeviceAddViewController::showView() {
    UIView* v = view();
    if (!v) return;
    UIApplication::sharedApplication().setStatusBarHidden(true);
    auto* sheet = new UIActionSheet(Localization::string("PLS_CHOOSE"), this, Localization::string("CANCEL_BUTTON"), "",
                                    {Localization::string("TWOD_ADD"), Localization::string("MANNUAL_ADD"),
                                     Localization::string("LocalSearch_ADD")});
    setViewName(sheet, "deviceAddSheet");
    sheet->showInView(v);
}

void UIDeviceAddViewController::actionSheetClickedButtonAtIndex(UIActionSheet*, int buttonIndex) {
    switch (buttonIndex) {
    case 0: addDeviceWithBarCode(); break;
    case 1: addDeviceManually(); break;
    case 2: addDeviceWithLANScanning(); break;
    default: removeView(); break;
    }
}

void UIDeviceAddViewController::removeView() {
    if (UIView* v = viewIfLoaded()) v->removeFromSuperview();
}

std::shared_ptr<ZBarReaderViewController> UIDeviceAddViewController::makeReader(std::weak_ptr<ZBarReaderDelegate> delegate) {
    auto reader = std::make_shared<ZBarReaderViewController>();
    reader->setReaderDelegate(std::move(delegate));
    reader->setSupportedOrientationsMask(ZBarReader::kAllOrientationsMask);
    reader->scanner().setSymbology(kSymbologyI25, 0, 0);
    return reader;
}

void UIDeviceAddViewController::addDeviceWithBarCode() {
    reader_ = makeReader(std::static_pointer_cast<UIDeviceAddViewController>(shared_from_this()));
    isAdding = false;
    if (auto d = delegate.lock()) d->presentZBarReaderWindow(reader_);
}

void UIDeviceAddViewController::addDeviceManually() {
    auto d = delegate.lock();
    if (!d) return;
    isAdding = false;
    auto keep = shared_from_this();
    if (d->addDeviceFromTyping()) removeView();
}

void UIDeviceAddViewController::addDeviceWithLANScanning() {
    auto d = delegate.lock();
    if (!d) return;
    auto keep = shared_from_this();
    if (d->addDeviceWithLANScanning()) removeView();
}

void UIDeviceAddViewController::addDeviceWithInfoFromZBarCode() {
    if (auto d = delegate.lock()) d->addDeviceWithInfoFromZBarCode();
}

void UIDeviceAddViewController::dismissReader(bool animated) {
    if (!reader_) return;
    if (reader_->presentingViewController()) reader_->dismissViewControllerAnimated(animated);
}

std::optional<std::string> UIDeviceAddViewController::firstScannedText(const ZBarReaderInfo& info) {
    auto it = info.find(ZBarReaderControllerResults);
    if (it == info.end() || it->second.empty()) return std::nullopt;
    return it->second.front().data;
}

std::optional<std::string> UIDeviceAddViewController::uidFromScannedText(const std::string& scanned,
                                                                         UIAlertViewDelegate* alertDelegate) {
    QRCodeText code = classifyScannedText(scanned);
    switch (code.kind) {
    case QRCodeText::Kind::Url: {
        auto* alert = new UIAlertView("", kUrlMessage, alertDelegate, "Close", {"Ok"});
        alert->setTag(kUrlAlertTag);
        setViewName(alert, "qrUrlAlert");
        alert->show();
        break;
    }
    case QRCodeText::Kind::WiFi: {
        auto* alert = new UIAlertView(code.text, kWiFiMessage, alertDelegate, "Close", {"Ok"});
        alert->setTag(kWiFiAlertTag);
        setViewName(alert, "qrWiFiAlert");
        alert->show();
        UIPasteboard::generalPasteboard().setString(code.password);
        break;
    }
    case QRCodeText::Kind::Uid:
        return scanned;
    }
    // Only a device's text is a UID: a web address or a Wi-Fi login (with
    // its password) never lands in an editor's UID field.
    Log::info("qr", "scanned text is not a device UID; not handed on");
    return std::nullopt;
}

bool UIDeviceAddViewController::looksLikeDeviceId(const std::string& text) {
    if (text.empty() || text.size() > 32) return false;
    for (unsigned char c : text)
        if (!std::isalnum(c) && c != '-' && c != '_') return false;
    return true;
}

namespace {

// Runs the hand-on when the warning's "add anyway" is tapped, after the
// screen's own alert delegate heard of the dismissal as it does for the
// other QR alerts; lives as long as its alert.
class UnknownTextWarning : public QObject, public UIAlertViewDelegate {
public:
    UnknownTextWarning(UIAlertView* alert, UIAlertViewDelegate* screen, std::string text,
                       std::function<void(const std::string&)> handOn)
        : QObject(alert), screen_(screen), text_(std::move(text)), handOn_(std::move(handOn)) {}
    void alertViewClickedButtonAtIndex(UIAlertView* alert, int buttonIndex) override {
        if (screen_) screen_->alertViewClickedButtonAtIndex(alert, buttonIndex);
    }
    void alertViewDidDismissWithButtonIndex(UIAlertView* alert, int buttonIndex) override {
        if (screen_) screen_->alertViewDidDismissWithButtonIndex(alert, buttonIndex);
        if (buttonIndex == 1 && handOn_) handOn_(text_);
    }

private:
    UIAlertViewDelegate* screen_;
    std::string text_;
    std::function<void(const std::string&)> handOn_;
};

}  // namespace

void UIDeviceAddViewController::handScannedText(const std::string& scanned, UIAlertViewDelegate* alertDelegate,
                                                std::function<void(const std::string&)> handOn) {
    const std::optional<std::string> uid = uidFromScannedText(scanned, alertDelegate);
    if (!uid) return;
    if (looksLikeDeviceId(*uid)) {
        if (handOn) handOn(*uid);
        return;
    }
    Log::info("qr", "scanned text does not look like a device identifier; asking");
    auto* alert = new UIAlertView(Localization::string("QR_UNKNOWN_TEXT"), *uid, nullptr,
                                  Localization::string("CANCEL_BUTTON"), {Localization::string("QR_USE_TEXT")});
    alert->delegate = new UnknownTextWarning(alert, alertDelegate, *uid, std::move(handOn));
    alert->setTag(kUnknownTextAlertTag);
    setViewName(alert, "qrUnknownTextAlert");
    alert->show();
}

void UIDeviceAddViewController::imagePickerController(ZBarReader&, const ZBarReaderInfo& info) {
    auto keep = shared_from_this();
    const std::optional<std::string> scanned = firstScannedText(info);
    if (!scanned) return;  // nothing read: keep scanning
    removeView();
    dismissReader(false);
    std::weak_ptr<UIDeviceAddViewControllerDelegate> to = delegate;
    handScannedText(*scanned, this, [to](const std::string& uid) {
        if (auto d = to.lock()) d->addDeviceFromUID(uid, "");
    });
}

void UIDeviceAddViewController::imagePickerControllerDidCancel(ZBarReader&) {
    auto keep = shared_from_this();
    removeView();
    dismissReader(true);
}

void UIDeviceAddViewController::alertViewDidDismissWithButtonIndex(UIAlertView*, int) {
    if (auto d = delegate.lock()) d->changeCanRotate(true);
}

}  // namespace lumora
