#include "ui/phone/DeviceStripView.h"

#include <string>

#include "app/core/ConnectModes.h"
#include "app/core/QvDeviceManager.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Seconds.h"
#include "ui/kit/UIFont.h"

namespace lumora {

DeviceStripView::DeviceStripView(const CGRect& frame) : UIScrollView(frame) {}

DeviceStripView::~DeviceStripView() {
    for (auto* t : {&blinkTimer_, &blinkEndTimer_})
        if (*t) (*t)->invalidate();
}

std::shared_ptr<UIImage> DeviceStripView::normalImage(const Device& d) {
    const bool multi = d.channelNum.load() >= 2, online = d.isOnLine.load();
    if (multi) return UIImage::imageNamed(online ? "deviceonline.png" : "device.png");
    return UIImage::imageNamed(online ? "deviceipconline.png" : "deviceIpc.png");
}

std::shared_ptr<UIImage> DeviceStripView::selectedImage(const Device& d) {
    const bool multi = d.channelNum.load() >= 2, online = d.isOnLine.load();
    if (multi) return UIImage::imageNamed(online ? "device02online.png" : "device02.png");
    return UIImage::imageNamed(online ? "deviceipc02online.png" : "deviceIpc02.png");
}

ZButton* DeviceStripView::buttonWithTag(int tag) const {
    for (auto& b : buttons_)
        if (b && b->tag() == tag) return b.data();
    return nullptr;
}

void DeviceStripView::select(UIButton* button) {
    if (selected_) selected_->setSelected(false);
    if (button) button->setSelected(true);
    selected_ = dynamic_cast<ZButton*>(button);
}

void DeviceStripView::reload(const std::shared_ptr<preConDelegate>& listener) {
    const int remembered = selectedDeviceId();
    selected_ = nullptr;
    std::vector<WeakView<ZButton>> old;
    old.swap(buttons_);
    const CGFloat h = bounds().size.height;
    auto devices = QvDeviceManager::sharedInstance().devices();
    for (size_t i = 0; i < devices.size(); ++i) {
        Device& d = *devices[i];
        d.preconDele = listener;
        ZButton* b = nullptr;
        for (auto& o : old)
            if (o && o->tag() == d.deviceId) {
                b = o.data();
                o = nullptr;
                break;
            }
        if (!b) {
            b = new ZButton();
            b->setTag(d.deviceId);
            b->setTitleEdgeInsets(UIEdgeInsets{20, 0, 0, 0});
            b->setFont(UIFont::systemFontOfSize(10));
            b->addTarget(this, [this](UIControl* c, UIEvent*) {
                if (onTap) onTap(static_cast<UIButton*>(c));
            }, UIControlEventTouchUpInside);
            addSubview(b);
        }
        b->setFrame(CGRect{{50.0 * i, (h - 39) / 2}, {43, 43}});
        setViewName(b, "deviceButton" + std::to_string(i + 1));
        if (d.deviceConType.load() == devicecon::kByAddress) d.goforgetisOnline();
        // Bringing the strip up to date ends a blink, as building it afresh would.
        b->stopActionwithImage(normalImage(d));
        b->setTitle(d.name.value(), UIControlStateNormal);
        b->setBackgroundImage(selectedImage(d), UIControlStateSelected);
        b->setSelected(d.deviceId == remembered);
        if (d.deviceId == remembered) selected_ = b;
        buttons_.emplace_back(b);
    }
    for (auto& o : old)
        if (o) {
            o->removeFromSuperview();
            delete o.data();
        }
    setContentSize(CGSize{50.0 * devices.size() + 46, 0});
}

void DeviceStripView::scrollToSelected() {
    const CGFloat x = selected_ ? selected_->frame().origin.x : 0;
    if (x < contentSize().width - bounds().size.width) setContentOffset(CGPoint{x, 0}, true);
}

// ---------------------------------------------------------------- blinking

void DeviceStripView::startBlinking(double interval, double period, std::function<void()> ended) {
    for (auto* t : {&blinkTimer_, &blinkEndTimer_})
        if (*t) (*t)->invalidate();
    WeakView<DeviceStripView> weak = this;
    blinkTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(interval), true, [weak](RunLoopTimer&) {
        if (weak) weak->blinkOnce();
    });
    blinkEndTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(period), false,
                                             [ended = std::move(ended)](RunLoopTimer&) {
                                                 if (ended) ended();
                                             });
}

void DeviceStripView::stopBlinking() {
    if (blinkTimer_) blinkTimer_->invalidate();
    blinkTimer_.reset();
    blinkEndTimer_.reset();
}

void DeviceStripView::blinkOnce() {
    auto devices = QvDeviceManager::sharedInstance().devices();
    for (size_t i = 0; i < buttons_.size() && i < devices.size(); ++i) {
        ZButton* b = buttons_[i].data();
        Device& d = *devices[i];
        if (!b) continue;
        const bool multi = d.channelNum.load() >= 2;
        if (!d.isShan.load()) {
            b->setBackgroundImage(UIImage::imageNamed(multi ? "device.png" : "deviceIpc.png"), UIControlStateNormal);
            d.isShan = true;
        } else {
            b->setBackgroundImage(UIImage::imageNamed(multi ? "deviceonline.png" : "deviceipconline.png"),
                                  UIControlStateNormal);
            d.isShan = false;
        }
    }
}

void DeviceStripView::showDeviceState(int deviceId) {
    ZButton* b = buttonWithTag(deviceId);
    auto d = QvDeviceManager::sharedInstance().deviceWithId(deviceId);
    if (!b || !d) return;
    d->isStartPreCon = true;
    b->stopActionwithImage(normalImage(*d));
    b->setTitle(d->name.value(), UIControlStateNormal);
    b->setBackgroundImage(selectedImage(*d), UIControlStateSelected);
}

void DeviceStripView::blinkDevice(const Device& device) {
    ZButton* b = buttonWithTag(device.deviceId);
    if (!b) return;
    const bool single = device.channelNum.load() < 2;
    b->startAction(UIImage::imageNamed(single ? "deviceipconline.png" : "deviceonline.png"),
                   UIImage::imageNamed(single ? "deviceIpc.png" : "device.png"));
}

}  // namespace lumora
