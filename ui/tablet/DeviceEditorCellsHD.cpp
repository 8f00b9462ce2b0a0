#include "ui/tablet/DeviceEditorCellsHD.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "platform/text/Localization.h"
#include "ui/kit/InterfaceFile.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UISegmentedControl.h"
#include "ui/kit/UISwitch.h"

namespace lumora {

namespace {

using Topic = DeviceMgmtControllerHD::Topic;

constexpr int kKeyboardURL = 3;
constexpr int kKeyboardNumberPad = 4;
constexpr size_t kPasswordMaskLength = 13;
constexpr const char* kChannelChoiceKeys[] = {"1 channels", "4 channels", "8 channels", "16 channels", "32 channels",
                                              "Auto"};

DeviceEditorCellsHD* cellsOf(void* owner) { return static_cast<DeviceEditorCellsHD*>(owner); }

const char* topicKey(Topic t) { return DeviceMgmtControllerHD::topicKey(t); }

UILabel* tagLabel(UIView* parent, const CGRect& frame, int tag, const UIFont& font) {
    auto* l = new UILabel(frame);
    l->setTag(tag);
    l->setFont(font);
    l->setTextColor(UIColor::whiteColor());
    l->setBackgroundColor(UIColor::clearColor());
    parent->addSubview(l);
    return l;
}

// ---- the cells' interface files: a label (tag 1) and a control (tag 2)

// A cell of the panel's width with the topic label (tag 1), when asked for.
UITableViewCell* newCell(bool withLabel) {
    auto* cell = new UITableViewCell(UITableViewCellStyle::Default, "CommonAttrCell");
    cell->setFrame(CGRect{{0, 0}, {232, 44}});
    if (withLabel) tagLabel(cell->contentView(), CGRect{{10, 10}, {84, 24}}, 1, UIFont::boldSystemFontOfSize(13));
    return cell;
}

UIView* buildDeviceAttrCell(void* owner) {
    auto* cell = newCell(true);
    auto* field = new UITextField(CGRect{{100, 7}, {124, 30}});
    field->setTag(2);
    field->setBorderStyle(UITextBorderStyle::RoundedRect);
    cell->contentView()->addSubview(field);
    cellsOf(owner)->attrCell = cell;
    return cell;
}

UIView* buildSegmentedCell(void* owner) {
    auto* cell = newCell(false);
    // Under the "Channels" heading a count says enough: the counts get
    // narrow segments, the automatic choice the rest of the row.
    std::vector<std::string> titles;
    for (const char* key : kChannelChoiceKeys) {
        const std::string text = Localization::string(key);
        const size_t digits = text.find_first_not_of("0123456789");
        titles.push_back(digits > 0 && digits != std::string::npos ? text.substr(0, digits) : text);
    }
    auto* segment = new UISegmentedControl(titles);
    segment->setFrame(CGRect{{4, 7}, {224, 30}});
    for (int i = 0; i + 1 < static_cast<int>(titles.size()); ++i) segment->setWidth(26, i);
    segment->setTag(2);
    cell->contentView()->addSubview(segment);
    cellsOf(owner)->sgmtCell = cell;
    return cell;
}

UIView* buildDeviceItemViewCell(void* owner) {
    auto* cell = newCell(true);
    tagLabel(cell->contentView(), CGRect{{92, 10}, {130, 24}}, 2, UIFont::systemFontOfSize(13));
    cellsOf(owner)->dvcitmCell = cell;
    return cell;
}

UIView* buildAlarmAttrCell(void* owner) {
    auto* cell = newCell(true);
    auto* sw = new UISwitch(CGRect{{130, 8}, {79, 27}});
    sw->setTag(2);
    cell->contentView()->addSubview(sw);
    cellsOf(owner)->alarmCell = cell;
    return cell;
}

std::string maskedPassword(const std::string& password) {
    return std::string(std::min(password.size(), kPasswordMaskLength), '*');
}

}  // namespace

DeviceEditorCellsHD::DeviceEditorCellsHD(DeviceMgmtControllerHD& panel) : panel_(panel) {
    registerInterfaces();
    for (const char* key : kChannelChoiceKeys) channelChoices_.push_back(Localization::string(key));
    fields_.resize(5);
}

void DeviceEditorCellsHD::registerInterfaces() {
    const std::pair<const char*, InterfaceFile::Builder> files[] = {{"DeviceAttrCell", buildDeviceAttrCell},
                                                                    {"SegmentedCell", buildSegmentedCell},
                                                                    {"DeviceItemViewCell", buildDeviceItemViewCell},
                                                                    {"AlarmAttrCell", buildAlarmAttrCell}};
    for (const auto& [name, builder] : files)
        if (!InterfaceFile::exists(name)) InterfaceFile::registerFile(name, builder);
}

UITableViewCell* DeviceEditorCellsHD::plainCell(UITableViewCell* cell, const std::string& name) {
    cell->setBackgroundColor(UIColor::clearColor());
    cell->selectionStyle = UITableViewCellSelectionStyle::None;
    if (!name.empty()) setViewName(cell, name);
    return cell;
}

UITableViewCell* DeviceEditorCellsHD::cellFromFile(UITableView* table, const char* file,
                                                   WeakView<UITableViewCell>& outlet) {
    if (UITableViewCell* reused = table ? table->dequeueReusableCellWithIdentifier("CommonAttrCell") : nullptr)
        return reused;
    // The file's builder hands the cell over through the outlet, which is then cleared.
    InterfaceFile::load(file, this);
    UITableViewCell* cell = outlet.data();
    outlet = nullptr;
    return cell;
}

UITableViewCell* DeviceEditorCellsHD::attributeCell(UITableView* table, int row, Topic t) {
    UITableViewCell* cell = cellFromFile(table, "DeviceAttrCell", attrCell);
    if (!cell) return nullptr;
    auto* label = dynamic_cast<UILabel*>(cell->viewWithTag(1));
    auto* field = dynamic_cast<UITextField*>(cell->viewWithTag(2));
    if (label) label->setText(panel_.topic(t));
    if (field) {
        if (row < static_cast<int>(fields_.size())) fields_[static_cast<size_t>(row)] = field;
        field->setTag(t);
        field->setTextAlignment(UITextAlignment::Center);
        field->keyboardType = t == Topic::kAddress ? kKeyboardURL : t == Topic::kPort ? kKeyboardNumberPad : 0;
        // The password field holds the stored password itself, shown masked:
        // what the user types replaces it, and nothing else is ever stored.
        field->setSecureTextEntry(t == Topic::kPassword);
        field->setText(panel_.attribute(t));
        DeviceMgmtControllerHD* panel = &panel_;
        field->addTarget(panel,
                         [panel](UIControl* c, UIEvent*) {
                             auto* f = static_cast<UITextField*>(c);
                             if (f->tag() >= Topic::kName && f->tag() <= Topic::kPassword)
                                 panel->setAttribute(static_cast<Topic>(f->tag()), f->text());
                         },
                         UIControlEventEditingChanged);
        setViewName(field, std::string("field") + topicKey(t));
    }
    return plainCell(cell, std::string("attrRow") + topicKey(t));
}

UITableViewCell* DeviceEditorCellsHD::channelChoiceCell(UITableView* table) {
    UITableViewCell* cell = cellFromFile(table, "SegmentedCell", sgmtCell);
    if (!cell) return nullptr;
    auto& choice = panel_.channelNumSegmentCtrl;
    choice = dynamic_cast<UISegmentedControl*>(cell->viewWithTag(2));
    if (choice) {
        choice->setSelectedSegmentIndex(std::clamp(std::atoi(panel_.attribute(Topic::kChannelNum).c_str()), 0, 5));
        DeviceMgmtControllerHD* panel = &panel_;
        choice->addTarget(panel,
                          [panel](UIControl* c, UIEvent*) {
                              panel->setAttribute(Topic::kChannelNum,
                                                  std::to_string(static_cast<UISegmentedControl*>(c)
                                                                     ->selectedSegmentIndex()));
                          },
                          UIControlEventValueChanged);
        setViewName(choice, "channelNumSegmentCtrl");
    }
    return plainCell(cell, "channelChoiceRow");
}

UITableViewCell* DeviceEditorCellsHD::alarmSwitchCell(UITableView* table) {
    UITableViewCell* cell = cellFromFile(table, "AlarmAttrCell", alarmCell);
    if (!cell) return nullptr;
    if (auto* label = dynamic_cast<UILabel*>(cell->viewWithTag(1))) label->setText(panel_.topic(Topic::kAlarm));
    auto& alarmSwitch = panel_.alarmSwitch;
    alarmSwitch = dynamic_cast<UISwitch*>(cell->viewWithTag(2));
    if (alarmSwitch) {
        alarmSwitch->setOn(panel_.attribute(Topic::kAlarm) == "1");
        // On value change: the kit's switch sends touch-up-inside before it flips.
        DeviceMgmtControllerHD* panel = &panel_;
        alarmSwitch->addTarget(panel, [panel](UIControl* c, UIEvent*) { panel->switchAction(static_cast<UISwitch*>(c)); },
                               UIControlEventValueChanged);
        setViewName(alarmSwitch, "alarmSwitch");
    }
    return plainCell(cell, "attrRowAlarm");
}

UITableViewCell* DeviceEditorCellsHD::viewCell(Topic t) {
    UITableViewCell* cell = cellFromFile(nullptr, "DeviceItemViewCell", dvcitmCell);
    if (!cell) return nullptr;
    std::string value = panel_.attribute(t);
    if (t == Topic::kPassword) value = maskedPassword(value);
    if (t == Topic::kChannelNum) {
        const int index = std::clamp(std::atoi(value.c_str()), 0, 5);
        value = channelChoices_[static_cast<size_t>(index)];
    }
    if (auto* label = dynamic_cast<UILabel*>(cell->viewWithTag(1))) label->setText(panel_.topic(t));
    if (auto* shown = dynamic_cast<UILabel*>(cell->viewWithTag(2))) {
        shown->setText(value);
        setViewName(shown, std::string("value") + topicKey(t));
    }
    return plainCell(cell, std::string("viewRow") + topicKey(t));
}

UIView* DeviceEditorCellsHD::heading(UITableView* table, const std::string& title) {
    auto* heading = new UILabel(CGRect{{0, 0}, {table->bounds().size.width, 35}});
    heading->setText(title);
    heading->setFont(UIFont::boldSystemFontOfSize(17));
    heading->setTextColor(UIColor::colorWithWhite(0.92, 1));
    heading->setBackgroundColor(UIColor::clearColor());
    setViewName(heading, "channelsHeading");
    auto* box = new UIView(CGRect{{0, 0}, {table->bounds().size.width, 35}});
    box->setBackgroundColor(UIColor::clearColor());
    heading->setFrame(CGRect{{14, 4}, {table->bounds().size.width - 20, 28}});
    box->addSubview(heading);
    return box;
}

// ---------------------------------------------------------------- the alarm switch

void DeviceEditorCellsHD::switchAction(UISwitch* sender) {
    if (!sender) return;
    panel_.setAttribute(Topic::kAlarm, sender->isOn() ? "1" : "0");
    registering_ = sender->isOn();
    registerToServer();
}

bool DeviceEditorCellsHD::registerToServer() {
    const std::string uid = panel_.attribute(Topic::kUID), name = panel_.attribute(Topic::kName);
    if (uid.empty() || name.empty()) {
        if (panel_.mode() != 0) return true;  // devices reached by address are not registered
        // Nothing is sent: the switch goes back to the stored flag.
        auto d = QvDeviceManager::sharedInstance().objectInDevicesAtIndex(
            static_cast<uint32_t>(panel_.curSeletedDeviceIdx()));
        panel_.setAttribute(Topic::kAlarm, d && d->alarmOnGuard.load() ? "1" : "0");
        if (panel_.alarmSwitch) panel_.alarmSwitch->setOn(panel_.attribute(Topic::kAlarm) == "1");
        auto* alert = new UIAlertView(Localization::string("MSG_TITLE"),
                                      Localization::string(uid.empty() ? "UID_NULL" : "NAME_NULL"), nullptr,
                                      Localization::string("OK_BUTTON"), {});
        alert->show();
        return false;
    }
    if (panel_.mode() != 0) return true;
    std::weak_ptr<UIViewController> weak = panel_.weak_from_this();
    registration_.start(uid, name, registering_, [this, weak](std::optional<int> code) {
        if (weak.lock()) finishRegistration(code);
    });
    return true;
}

void DeviceEditorCellsHD::finishRegistration(std::optional<int> code) {
    // The device the registration was made for: the one with the UID that was sent.
    QvDeviceManager& manager = QvDeviceManager::sharedInstance();
    auto d = manager.deviceWithUID(panel_.attribute(Topic::kUID));
    const bool before = d && d->alarmOnGuard.load();
    const auto result = code ? DeviceAlarmRegistration::outcome(*code, registering_, before)
                             : DeviceAlarmRegistration::Outcome{before, "Err_communication"};
    if (d) d->alarmOnGuard = result.flag;
    manager.saveDeviceList();
    // Only the switch follows the answer: what is being typed stays.
    panel_.setAttribute(Topic::kAlarm, result.flag ? "1" : "0");
    if (UITableView* editor = panel_.deviceEditableView()) editor->reloadData();
    if (!result.messageKey.empty()) {
        auto* alert = new UIAlertView("", Localization::string(result.messageKey), nullptr,
                                      Localization::string("OK_BUTTON"), {});
        alert->show();
    }
}

}  // namespace lumora
