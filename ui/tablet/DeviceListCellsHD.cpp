#include "ui/tablet/DeviceListCellsHD.h"

#include <string>
#include <utility>

#include "app/core/Device.h"
#include "platform/text/Localization.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UILabel.h"

namespace lumora {

UITableViewCell* DeviceListCellsHD::channelRow(const Device* d, int section, int row, const CGSize& size,
                                               bool playing, std::function<void(UIButton*)> tap) {
    auto* cell = new UITableViewCell(UITableViewCellStyle::Value1, "DeviceCell");
    cell->selectionStyle = UITableViewCellSelectionStyle::Gray;
    cell->setFrame(CGRect{{0, 0}, size});
    const CGFloat h = cell->frame().size.height;
    const std::string suffix = std::to_string(section) + "_" + std::to_string(row);
    auto* button = new UIButton(CGRect{{0, 0}, {size.width, h}});
    button->setBackgroundImage(UIImage::imageNamed("cellseg.png"), UIControlStateNormal);
    button->setBackgroundImage(UIImage::imageNamed("cell_clk.png"), UIControlStateHighlighted);
    button->setTag(section * 100 + row);
    button->addTarget(nullptr, [tap = std::move(tap)](UIControl* c, UIEvent*) {
        if (tap) tap(static_cast<UIButton*>(c));
    }, UIControlEventTouchUpInside);
    setViewName(button, "panelChannel" + suffix);
    // Under the texts, which let the taps through to it.
    cell->insertSubviewAtIndex(button, 0);
    cell->contentView()->setUserInteractionEnabled(false);
    if (d) {
        cell->textLabel()->setText("       " + d->name.value());
        cell->textLabel()->setFont(UIFont::boldSystemFontOfSize(14));
        cell->textLabel()->setTextColor(UIColor::whiteColor());
        cell->textLabel()->setTextAlignment(UITextAlignment::Left);
        if (UILabel* detail = cell->detailTextLabel()) {
            // The device's name after the signal, the channel at the row's end.
            detail->setText(Localization::string("DEVICE_CHANNEL") + " " + std::to_string(row + 1));
            detail->setFont(UIFont::boldSystemFontOfSize(12));
            detail->setTextColor(UIColor::whiteColor());
            detail->setTextAlignment(UITextAlignment::Right);
        }
    }
    auto* signal = new UIButton(CGRect{{10, (h - 22) / 2}, {22, 22}});
    signal->setTag(kSignalTag);
    signal->setImage(UIImage::imageNamed("signal.png"), UIControlStateNormal);
    signal->setImage(UIImage::imageNamed("signal_fired.png"), UIControlStateSelected);
    signal->setUserInteractionEnabled(false);
    signal->setSelected(d && playing);
    setViewName(signal, "panelSignal" + suffix);
    button->addSubview(signal);
    cell->setBackgroundColor(UIColor::clearColor());
    return cell;
}

UITableViewCell* DeviceListCellsHD::editingRow(const Device* d, int row) {
    auto* cell = new UITableViewCell(UITableViewCellStyle::Subtitle, "DeviceCell");
    cell->setBackgroundColor(UIColor::clearColor());
    cell->selectionStyle = UITableViewCellSelectionStyle::None;
    setViewName(cell, "listEditRow" + std::to_string(row));
    if (d) {
        cell->textLabel()->setText(d->name.value());
        cell->textLabel()->setFont(UIFont::boldSystemFontOfSize(14));
        cell->textLabel()->setTextColor(UIColor::whiteColor());
        if (UILabel* detail = cell->detailTextLabel()) {
            detail->setText(d->address.value());
            detail->setFont(UIFont::boldSystemFontOfSize(12));
            detail->setTextColor(UIColor::whiteColor());
        }
    }
    return cell;
}

SectionHeaderViewHD* DeviceListCellsHD::sectionHeader(const Device& d, int section, CGFloat width, bool opened,
                                                      bool online, SectionHeaderViewDelegate* delegate) {
    const std::string uid = d.udid.value();
    const std::string title = "[" + d.name.value() + "] " + (uid.empty() ? d.address.value() : uid);
    auto* header = new SectionHeaderViewHD(CGRect{{0, 0}, {width, SectionHeaderViewHD::kHeight}}, title, section,
                                           opened, delegate);
    header->setIsOnLine(online);
    setViewName(header, "sectionHeader" + std::to_string(section));
    return header;
}

UIButton* DeviceListCellsHD::signalOf(UIButton* rowButton) {
    UIButton* icon = nullptr;
    if (!rowButton) return nullptr;
    for (UIView* sub : rowButton->subviews())
        if (sub->tag() == kSignalTag) icon = dynamic_cast<UIButton*>(sub);
    return icon;
}

}  // namespace lumora
