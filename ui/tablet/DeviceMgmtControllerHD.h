#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/link/AllSearchDelegate.h"
#include "ui/common/DeviceStatePoll.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIPickerView.h"
#include "ui/kit/UIPopoverController.h"
#include "ui/kit/UISegmentedControl.h"
#include "ui/kit/UISwitch.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UITextField.h"
#include "ui/kit/UIToolbar.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/WeakView.h"
#include "ui/tablet/DeviceMgmtControllerHDDelegate.h"
#include "ui/tablet/DeviceSectionHeadInfoHD.h"
#include "ui/tablet/SectionHeaderViewDelegate.h"

namespace lumora {

class Device;
class DeviceEditorCellsHD;
class RunLoopTimer;
class SectionHeaderViewHD;

// The tablet's device panel, in the live screen's right-hand side panel.
//
// List state (0): one collapsible section per stored device (in list order)
// headed by a SectionHeaderViewHD whose title is green while the device is
// online, one row per channel; a channel row asks the live screen to start
// or stop that channel on a tile and lights its signal icon while a tile
// plays it. At load the panel pre-connects the devices reached by UID, opens
// the relay/look-up server connections and polls every device's online
// state (1 s after load, then every 60 s); for 20 s after startaaa the
// section titles blink.
//
// The same panel is the device editor, its state (`curStatus`) deciding the
// table and the toolbar items: 1 list editing (delete), 2 add, 3/4 edit a
// device reached by UID / by address, 6/7 view it. Adding starts from a
// picker in a popover that the live screen shows (QR scan, typing, LAN
// search). Editing a UID device also offers the alarm push switch. The
// editor's rows are made by DeviceEditorCellsHD.
//
// Passwords are never shown: the view shows a mask, the edit field is a
// secure field holding the stored password, so what is stored is always
// what the user typed.
//
// Main thread only, except AllSearchdidEnd (any queue).
class DeviceMgmtControllerHD : public UIViewController,
                               public UITableViewDataSource,
                               public UITableViewDelegate,
                               public SectionHeaderViewDelegate,
                               public UIPickerViewDataSource,
                               public UIPickerViewDelegate,
                               public UIPopoverControllerDelegate,
                               public UIAlertViewDelegate,
                               public AllSearchDelegate {
public:
    enum Status : uint8_t {
        kList = 0,
        kListEditing = 1,
        kAdd = 2,
        kEditUid = 3,
        kEditIp = 4,
        kViewUid = 6,
        kViewIp = 7,
    };
    // Topic indices of the editor's attributes.
    enum Topic { kName = 0, kUID, kAddress, kPort, kUser, kPassword, kAlarm, kChannelNum };
    static constexpr CGFloat kToolbarHeight = 52;
    static constexpr double kFirstPollDelay = 1.0;
    static constexpr double kPollInterval = 60.0;
    static constexpr double kBlinkInterval = 0.7;
    static constexpr double kBlinkPeriod = 20.0;
    static constexpr double kSwapAnimation = 1.0;

    DeviceMgmtControllerHD();
    ~DeviceMgmtControllerHD() override;

    void setDelegate(DeviceMgmtControllerHDDelegate* d) { delegate_ = d; }
    DeviceMgmtControllerHDDelegate* delegate() const { return delegate_; }
    void setSuperController(UIViewController* c) { superController_ = c; }
    UIViewController* superController() const { return superController_; }

    void loadView() override;
    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return o == UIInterfaceOrientation::Portrait;
    }

    // ---- for the live screen
    void drawElement();
    void reloadDeviceTable(bool rebuild);
    void reloadDeviceChannels(int deviceId, int count);
    void searchAllDeviceState();
    void setStartShan(bool on) { startShan_ = on; }
    bool startShan() const { return startShan_; }
    void startaaa();
    void closeAllSesionHeadView();
    void openSesionHeadView(int section, int row);
    void closeSesionHeadView(int section);
    // A QR text or a UID picked in the LAN search: the add state with it as UID.
    void addDeviceItemFromTwoDimensionalCode(const std::string& text);
    void addDeviceItemFromLanSearch(const std::string& uid);
    void addDeviceItemManually();
    void addDeviceWithInfoFromZBarCode() { reloadDeviceTable(true); }

    // ---- AllSearchDelegate
    void AllSearchdidEnd() override;

    // ---- SectionHeaderViewDelegate
    void sectionHeaderViewSectionOpened(SectionHeaderViewHD*, int section) override { openSesionHeadView(section, 0); }
    void sectionHeaderViewSectionClosed(SectionHeaderViewHD*, int section) override { closeSesionHeadView(section); }
    void sectionHeaderViewSectionClicked(SectionHeaderViewHD*, int section) override;

    // ---- toolbar actions
    void homeItemClicked();
    void editListItemClicked();
    void doneListEditItemClicked();
    void cancelListEditItemClicked();
    void addDeviceItemClicked();
    void editDeviceItemClicked();
    void doneDeviceEditItemClicked();
    void cancelDeviceEditItemClicked();
    void returnToDeviceListClicked();
    void segmentChanged();

    // ---- the editor
    void setDeviceIndex(int index);
    bool commitEditDevice();
    bool commitEditDvc();
    void dvcChnlClicked(UIButton* sender);

    // ---- the alarm switch
    void switchAction(UISwitch* sender);
    bool registerToServer();

    // ---- tables
    int numberOfSectionsInTableView(UITableView* table) override;
    int numberOfRowsInSection(UITableView* table, int section) override;
    UITableViewCell* cellForRowAtIndexPath(UITableView* table, const NSIndexPath& path) override;
    std::string titleForHeaderInSection(UITableView* table, int section) override;
    bool canEditRowAtIndexPath(UITableView* table, const NSIndexPath& path) override;
    void commitEditingStyle(UITableView* table, UITableViewCellEditingStyle style, const NSIndexPath& path) override;
    CGFloat heightForHeaderInSection(UITableView* table, int section) override;
    UIView* viewForHeaderInSection(UITableView* table, int section) override;
    void didSelectRowAtIndexPath(UITableView* table, const NSIndexPath& path) override;

    // ---- the add-mode picker and its popover
    int numberOfComponentsInPickerView(UIPickerView*) override { return 1; }
    int numberOfRowsInComponent(UIPickerView*, int) override { return static_cast<int>(addDeviceFormat_.size()); }
    std::string titleForRow(UIPickerView*, int row, int component) override;
    void didSelectRow(UIPickerView*, int row, int component) override;
    // Asked only for a tap outside the popover: the user turned away, so
    // the dismissal that follows acts on no row.
    bool popoverControllerShouldDismissPopover(UIPopoverController*) override;
    void popoverControllerDidDismissPopover(UIPopoverController*) override;

    // ---- the delete confirmation
    void alertViewClickedButtonAtIndex(UIAlertView* alert, int buttonIndex) override;

    // ---- state, for the live screen and tests
    uint8_t curStatus() const { return curStatus_; }
    int curSeletedDeviceIdx() const { return curSeletedDeviceIdx_; }
    int mode() const { return mode_; }
    int addDeviceType() const { return addDeviceType_; }
    bool closeShan() const { return closeShan_; }
    bool isBlinking() const { return shanTimer_ != nullptr; }
    bool isSectionOpen(int section) const;
    int sectionCount() const { return static_cast<int>(deviceSectionHeadInfo_.size()); }
    // The attribute of a topic (texts; Alarm "1" or "0", ChannelNum the choice index).
    std::string attribute(Topic topic) const;
    // What a row of the editor was given (the edit fields and the channel choice).
    void setAttribute(Topic topic, const std::string& value) { deviceAttributes_[dvcSettingTopics_[topic]] = value; }
    const std::string& topic(Topic t) const { return dvcSettingTopics_[t]; }
    // The topic's untranslated key ("Name", "UID"...), as the rows are named.
    static const char* topicKey(Topic t);
    bool isRegistering() const;
    UITableView* deviceTable() const { return deviceTable_.data(); }
    UITableView* deviceEditableView() const { return deviceEditableView_.data(); }
    UITableView* deviceUneditableView() const { return deviceUneditableView_.data(); }
    UIToolbar* toolBar() const { return toolBar_.data(); }
    UISegmentedControl* segmentedControl() const { return segmentedControl_.data(); }
    UIButton* addDeviceBtn() const { return addDeviceBtn_.data(); }

    // The controls of the editor's rows last made.
    WeakView<UISegmentedControl> channelNumSegmentCtrl;
    WeakView<UISwitch> alarmSwitch;

private:
    std::shared_ptr<DeviceMgmtControllerHD> self();
    void showTable(UITableView* table);
    void setBarItems(const std::vector<UIView*>& views, bool animated = false);
    void showListToolbar(bool animated);
    void showViewToolbar();
    void showEditToolbar();
    void openAddState(const std::string& uid, bool withSegment, bool resetSegment);
    void reloadEditorTables();
    void shanyishan();
    void closeshan();
    void beginsearch();
    void deleteDeviceAt(int index);

    UITableViewCell* listCell(int section, int row);
    UITableViewCell* listEditingCell(int row);
    // The topics of section 0's rows in the editable table / the view table.
    std::vector<Topic> editableTopics() const;
    std::vector<Topic> viewTopics() const;

    uint8_t curStatus_ = kList;
    int curSeletedDeviceIdx_ = -1;
    int mode_ = 0;
    int connectionTag_ = -1;
    int editPopoverIdx_ = -2;
    int addDeviceType_ = 0;
    bool startShan_ = false;
    bool closeShan_ = false;
    bool loaded_ = false;
    std::vector<DeviceSectionHeadInfoHD> deviceSectionHeadInfo_;
    std::vector<std::string> dvcSettingTopics_;
    std::map<std::string, std::string> deviceAttributes_;
    std::vector<std::string> addDeviceFormat_;

    DeviceMgmtControllerHDDelegate* delegate_ = nullptr;  // the live screen; not owned
    UIViewController* superController_ = nullptr;         // never read; not owned
    WeakView<UIToolbar> toolBar_;
    WeakView<UITableView> deviceTable_, deviceEditableView_, deviceUneditableView_;
    WeakView<UIButton> homeBtn_, editListBtn_, addDeviceBtn_, doneListEditBtn_, cancelListEditBtn_, editDeviceBtn_,
        doneDeviceEditBtn_, cancelDeviceEditBtn_, returnToDeviceListBtn_;
    WeakView<UISegmentedControl> segmentedControl_;
    std::shared_ptr<RunLoopTimer> shanTimer_, closeShanTimer_;
    DeviceStatePoll poll_;  // holds the panel's own session controller
    std::unique_ptr<DeviceEditorCellsHD> cells_;  // the editor's rows
};

}  // namespace lumora
