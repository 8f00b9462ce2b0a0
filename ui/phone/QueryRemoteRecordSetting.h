#pragma once

#include "ui/kit/WeakView.h"
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/common/ChannelSelectionGroup.h"
#include "ui/kit/UIActionSheet.h"
#include "ui/kit/UIPopoverController.h"
#include "ui/kit/UITableViewController.h"
#include "ui/phone/UIChannelSelection.h"

namespace lumora {

class Device;
class UIDatePicker;
class RemoteRecodeFileList;

// The form that sets up a search for the recordings kept on one device:
// channels, time span and kinds of recording. Search checks the span and
// pushes the result list.
class QueryRemoteRecordSetting : public UITableViewController,
                                 public UIActionSheetDelegate,
                                 public UIChannelSelectionDelegate,
                                 public UIPopoverControllerDelegate {
public:
    using Date = std::chrono::system_clock::time_point;

    QueryRemoteRecordSetting();
    ~QueryRemoteRecordSetting() override;

    // setDevice: the device with that id from the device list.
    void setDevice(int deviceId);
    void onChannelSelect(uint32_t mask) override;
    void onSearch();
    void onBack();
    // compareDate:withDate: 1 when a is earlier, 0 equal, -1 later; nullopt
    // when either does not parse.
    static std::optional<int> compareDate(const std::string& a, const std::string& b);
    static std::string channelMaskToString(uint32_t mask);
    // "yyyy-MM-dd-HH-mm-ss" in local time, and back.
    static std::string format(Date date);
    static std::optional<Date> parse(const std::string& text);

    void showDateTimePicker();
    void pickerHideOK();
    void presentSortPopover(const CGRect& rect, const std::string& date);
    void popoverControllerDidDismissPopover(UIPopoverController*) override;

    uint32_t m_nChannels = 0;
    std::string m_stTime, m_enTime;
    std::vector<std::shared_ptr<ChannelSelectionGroup>> m_alarmTypeSelections;
    uint32_t m_nSearchType = 0;
    bool isStartTime = true;
    // The list made by the last search (tests look at it).
    std::weak_ptr<RemoteRecodeFileList> lastList;

    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return o == UIInterfaceOrientation::Portrait;
    }
    int numberOfSectionsInTableView(UITableView*) override { return 2; }
    int numberOfRowsInSection(UITableView*, int section) override { return section == 0 ? 3 : 5; }
    UITableViewCell* cellForRowAtIndexPath(UITableView*, const NSIndexPath& indexPath) override;
    void didSelectRowAtIndexPath(UITableView*, const NSIndexPath& indexPath) override;

private:
    void reload();
    std::shared_ptr<Device> device() const;
    uint32_t allChannels() const;
    void storePicked(Date date);

    int deviceId_ = -1;
    WeakView<UIDatePicker> picker;
    WeakView<UIActionSheet> aac;
    std::shared_ptr<UIPopoverController> m_pPopOverController;
};

}  // namespace lumora
