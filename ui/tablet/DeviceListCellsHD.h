#pragma once

#include <functional>
#include <memory>

#include "ui/kit/UIButton.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UITableViewCell.h"
#include "ui/tablet/SectionHeaderViewHD.h"

namespace lumora {

class Device;

// The rows and section headers of the tablet device panel's list.
//
// A channel row ("panelChannel<section>_<row>") is one button the row's
// size, tagged section * 100 + row, under the device's name and the
// channel's number; at its left a signal icon ("panelSignal<section>_<row>",
// tag kSignalTag) that is lit while a tile plays the channel. A row of the
// editing list ("listEditRow<row>") shows a device's name and address. A
// section header ("sectionHeader<section>") titles the device with its name
// and UID (or address).
//
// Views made here belong to the table they are given to. Main thread only.
class DeviceListCellsHD {
public:
    static constexpr int kSignalTag = 100;

    // `tap` gets the row's button. The device may be null (a row of nothing).
    static UITableViewCell* channelRow(const Device* device, int section, int row, const CGSize& size, bool playing,
                                       std::function<void(UIButton*)> tap);
    static UITableViewCell* editingRow(const Device* device, int row);
    // `online` colours the title.
    static SectionHeaderViewHD* sectionHeader(const Device& device, int section, CGFloat width, bool opened,
                                              bool online, SectionHeaderViewDelegate* delegate);
    // The signal icon of a channel row's button (null: none).
    static UIButton* signalOf(UIButton* rowButton);
};

}  // namespace lumora
