#include "ui/tablet/DevicePanelStandIn.h"

#include "app/core/QvDeviceManager.h"
#include "platform/text/Localization.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UILabel.h"

namespace lumora {

namespace {
constexpr CGFloat kRow = 34;
}

void DevicePanelStandIn::loadView() {
    auto* v = new UIView(CGRect{{0, 0}, {244, 514}});
    v->setBackgroundColor(UIColor::colorWithRed(0.12, 0.13, 0.15, 1));
    setViewName(v, "devicePanel");
    setView(v);
    auto* home = new UIButton(CGRect{{4, 4}, {41, 41}});
    home->setBackgroundImage(UIImage::imageNamed("home.png"), UIControlStateNormal);
    home->setBackgroundImage(UIImage::imageNamed("home_clk.png"), UIControlStateHighlighted);
    setViewName(home, "homeButton");
    home->addTarget(this, [this](UIControl*, UIEvent*) {
        if (delegate_) delegate_->returnToHomePage(this);
    }, UIControlEventTouchUpInside);
    v->addSubview(home);
    homeButton_ = home;
}

void DevicePanelStandIn::drawElement() { reloadDeviceTable(true); }

void DevicePanelStandIn::reloadDeviceTable(bool) {
    ++reloads_;
    UIView* v = view();
    const auto devices = QvDeviceManager::sharedInstance().devices();
    std::vector<std::pair<int, int>> shape;
    for (const auto& d : devices) shape.emplace_back(d->deviceId, std::max(1, static_cast<int>(d->channelNum.load())));
    if (shape == shape_) {
        // Same devices and channels: only the toggles' states change (a
        // toggle may be the control whose action is running).
        size_t k = 0;
        for (const auto& [id, n] : shape)
            for (int c = 0; c < n; ++c, ++k)
                if (UIButton* b = toggles_[k].data()) {
                    const bool busy = delegate_ && delegate_->queryDeviceChannelBusyStatus(this, id, c);
                    b->setSelected(busy);
                    b->setBackgroundColor(busy ? UIColor::colorWithRed(0.11, 0.44, 0.77, 1)
                                               : UIColor::colorWithRed(0.25, 0.26, 0.3, 1));
                }
        return;
    }
    shape_ = shape;
    for (auto* sub : v->subviews())
        if (sub != homeButton_.data()) sub->removeFromSuperview();
    toggles_.clear();
    CGFloat y = 50;
    for (size_t s = 0; s < devices.size(); ++s) {
        const auto& d = devices[s];
        auto* header = new UILabel(CGRect{{4, y}, {v->frame().size.width - 8, kRow - 6}});
        header->setText(d->name.value());
        header->setTextColor(UIColor::whiteColor());
        setViewName(header, "panelDevice" + std::to_string(s));
        v->addSubview(header);
        y += kRow - 4;
        const int n = std::max(1, static_cast<int>(d->channelNum.load()));
        const int id = d->deviceId;
        for (int c = 0; c < n; ++c) {
            auto* b = new UIButton(CGRect{{4 + 48.0 * (c % 5), y + kRow * (c / 5)}, {44, kRow - 4}});
            b->setTitle("ch" + std::to_string(c + 1));
            const bool busy = delegate_ && delegate_->queryDeviceChannelBusyStatus(this, id, c);
            b->setSelected(busy);
            b->setBackgroundColor(busy ? UIColor::colorWithRed(0.11, 0.44, 0.77, 1)
                                       : UIColor::colorWithRed(0.25, 0.26, 0.3, 1));
            setViewName(b, "panelChannel" + std::to_string(s) + "_" + std::to_string(c));
            b->addTarget(this, [this, id, c](UIControl* ctl, UIEvent*) { channelTapped(static_cast<UIButton*>(ctl), id, c); },
                         UIControlEventTouchUpInside);
            v->addSubview(b);
            toggles_.push_back(b);
        }
        y += kRow * ((n + 4) / 5) + 4;
    }
}

void DevicePanelStandIn::channelTapped(UIButton* b, int deviceId, int channel) {
    if (!delegate_) return;
    const bool start = !b->isSelected();
    // The reload rebuilds the toggles; the button may be gone afterwards.
    delegate_->ChannelViewControllerHDClickChannel(this, channel, deviceId, start);
}

void DevicePanelStandIn::reloadDeviceChannels(int, int) { reloadDeviceTable(false); }

void DevicePanelStandIn::searchAllDeviceState() {
    if (delegate_) delegate_->searchAllDeviceState();
}

void DevicePanelStandIn::openSesionHeadView(int section, int index) {
    openSection_ = section;
    openIndex_ = index;
}

std::string DevicePanelStandIn::titleForRow(UIPickerView*, int row, int) {
    static const char* keys[] = {"TWOD_ADD", "MANNUAL_ADD", "LocalSearch_ADD"};
    return row >= 0 && row < 3 ? Localization::string(keys[row]) : std::string();
}

}  // namespace lumora
