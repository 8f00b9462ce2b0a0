#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/common/DeviceAlarmRegistration.h"
#include "ui/kit/UISwitch.h"
#include "ui/kit/UITableView.h"
#include "ui/kit/UITableViewCell.h"
#include "ui/kit/UITextField.h"
#include "ui/kit/WeakView.h"
#include "ui/tablet/DeviceMgmtControllerHD.h"

namespace lumora {

// The rows of the tablet device panel's editor, and what its alarm switch
// does (the device's alarm push registration): an attribute with its text
// field ("attrRow<Topic>", field "field<Topic>"), the channel-count choice
// ("channelChoiceRow", "channelNumSegmentCtrl"), the alarm push switch
// ("attrRowAlarm", "alarmSwitch"), a shown attribute ("viewRow<Topic>",
// value "value<Topic>", passwords masked) and the light "Channels" heading.
// Cells come from their interface files (a label tagged 1 and a control
// tagged 2) and show the panel through them.
//
// What a row shows and what is typed into it is the panel's attribute; the
// panel's channel choice and alarm switch outlets are set to the controls
// of the rows last made. Owned by the panel, which outlives it; a
// registration's answer after the panel has gone is dropped. Main thread
// only.
class DeviceEditorCellsHD {
public:
    using Topic = DeviceMgmtControllerHD::Topic;

    explicit DeviceEditorCellsHD(DeviceMgmtControllerHD& panel);

    // Registers the cells' interface files (once per process).
    static void registerInterfaces();
    // Clear behind, never highlighted, named when a name is given.
    static UITableViewCell* plainCell(UITableViewCell* cell, const std::string& name);

    // The editable row `row` showing topic `t` (not the alarm).
    UITableViewCell* attributeCell(UITableView* table, int row, Topic t);
    UITableViewCell* channelChoiceCell(UITableView* table);
    UITableViewCell* alarmSwitchCell(UITableView* table);
    UITableViewCell* viewCell(Topic t);
    // The editor's section heading in the panel's own light text (the
    // list's grey would not read on the panel).
    static UIView* heading(UITableView* table, const std::string& title);

    // ---- the alarm switch: turning it registers the device for alarm
    // pushes (or ends that); the answer sets the alarm attribute
    void switchAction(UISwitch* sender);
    bool registerToServer();
    bool isRegistering() const { return registration_.isRunning(); }

    // Outlets through which cells are taken from their interface files.
    WeakView<UITableViewCell> attrCell, sgmtCell, dvcitmCell, alarmCell;

private:
    void finishRegistration(std::optional<int> code);
    UITableViewCell* cellFromFile(UITableView* table, const char* file, WeakView<UITableViewCell>& outlet);

    DeviceMgmtControllerHD& panel_;
    std::vector<std::string> channelChoices_;       // the choice texts, as the view shows them
    std::vector<WeakView<UITextField>> fields_;     // the attribute rows' fields, by row
    bool registering_ = false;                      // what the last turn of the switch asked
    DeviceAlarmRegistration registration_;          // dropped (and its answer) with the rows
};

}  // namespace lumora
