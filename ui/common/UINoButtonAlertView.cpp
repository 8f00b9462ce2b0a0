#include "ui/common/UINoButtonAlertView.h"

#include <cstdio>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "platform/text/Localization.h"

namespace lumora {

namespace {

template <class T>
T* firstOf(UIView* root) {
    if (!root) return nullptr;
    for (UIView* v : root->subviews()) {
        if (auto* t = dynamic_cast<T*>(v)) return t;
        if (auto* t = firstOf<T>(v)) return t;
    }
    return nullptr;
}

void allLabels(UIView* root, std::vector<UILabel*>& out) {
    if (!root) return;
    for (UIView* v : root->subviews()) {
        if (auto* l = dynamic_cast<UILabel*>(v)) out.push_back(l);
        allLabels(v, out);
    }
}

}  // namespace

UINoButtonAlertView::UINoButtonAlertView(const std::string& title, const std::string& message,
                                         UIAlertViewDelegate* delegate, const std::string& cancelButtonTitle,
                                         const std::vector<std::string>& otherButtonTitles)
    : UIAlertView(title, message, delegate, cancelButtonTitle, otherButtonTitles) {
    button_ = firstOf<UIButton>(this);
    if (button_) button_->setTag(1001);
    std::vector<UILabel*> labels;
    allLabels(this, labels);
    for (UILabel* l : labels) {
        label_ = l;
        if (l->text() == title) break;
    }
    if (label_) {
        label_->setTag(1000);
        auto* spinner = new UIActivityIndicatorView(UIActivityIndicatorViewStyle::White);
        setViewName(spinner, "searchSpinner");
        spinner->setFrame(CGRectMake(40, label_->frame().size.height / 2 - 3, 30, 30));
        spinner->setTag(1002);
        indicator_ = spinner;
        label_->addSubview(spinner);
    }
}

void UINoButtonAlertView::start() {
    if (button_) button_->setEnabled(false);
    if (indicator_) indicator_->startAnimating();
    if (gclient) gclient->setupSearchAndConnDeviceWithID(deviceId, kSearchTimeout);
}

void UINoButtonAlertView::deviceDidConnect(const std::shared_ptr<Device>& device, const std::string& id, int code) {
    if (indicator_) indicator_->stopAnimating();
    if (button_) button_->setEnabled(true);
    char text[512];
    if ((code == 1 || code == 10) && device && !device->address.value().empty() && device->mediaPort.load() != 0) {
        device->name.set(std::to_string(device->deviceId));
        QvDeviceManager::sharedInstance().addDevice(device);
        if (label_) label_->setText(Localization::string("搜索并添加设备成功!"));
        std::snprintf(text, sizeof text, "ID:%s\nADDR:%s:%u\nERR:%d", device->udid.value().c_str(),
                      device->address.value().c_str(), device->mediaPort.load(), code);
        setMessage(text);
        if (gclient) gclient->closeConnToDeviceWithID(deviceId, device->connId.load());
        if (tdelegate) tdelegate->addDeviceWithInfoFromZBarCode();
    } else {
        if (label_) label_->setText(Localization::string("未找到以下设备!"));
        std::snprintf(text, sizeof text, "ID:%s\nERR:%d", id.c_str(), code);
        setMessage(text);
    }
}

}  // namespace lumora
