#include "ui/phone/QueryRemoteRecordSetting.h"

#include <cstdio>
#include <ctime>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "app/core/QvUtility.h"
#include "platform/text/Localization.h"
#include "ui/common/ChannelMask.h"
#include "ui/common/CheckMark.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIDatePicker.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UINavigationItem.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UIToolbar.h"
#include "ui/phone/RemoteRecodeFileList.h"

namespace lumora {

namespace {

// The date picker: on the phone in a sheet, under a toolbar with its Done
// button; on the tablet in a popover.
constexpr CGFloat kPickerSheetHeight = 260;
constexpr CGFloat kPickerToolbarHeight = 44;
constexpr CGRect kPopoverPickerFrame{{0, 0}, {320, 480}};
constexpr CGSize kPopoverSize{320, 240};

constexpr uint32_t kTypeBits[4] = {1, 2, 4, 8};
constexpr int kAllRow = 4;

std::string formatWith(QueryRemoteRecordSetting::Date date, const char* pattern) {
    std::time_t t = std::chrono::system_clock::to_time_t(date);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, pattern, &tm);
    return buf;
}

}  // namespace

QueryRemoteRecordSetting::QueryRemoteRecordSetting() : UITableViewController(UITableViewStyle::Grouped) {
    for (uint32_t i = 0; i < 5; ++i) m_alarmTypeSelections.push_back(std::make_shared<ChannelSelectionGroup>(i, true));
}

QueryRemoteRecordSetting::~QueryRemoteRecordSetting() {
    if (m_pPopOverController) m_pPopOverController->delegate = nullptr;
    if (aac) aac->delegate = nullptr;
}

std::string QueryRemoteRecordSetting::format(Date date) {
    return formatWith(date, "%Y-%m-%d-%H-%M-%S");
}

std::optional<QueryRemoteRecordSetting::Date> QueryRemoteRecordSetting::parse(const std::string& text) {
    int y, mo, d, h, mi, s;
    int used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d-%2d-%2d-%2d%n", &y, &mo, &d, &h, &mi, &s, &used) != 6 ||
        used != static_cast<int>(text.size()))
        return std::nullopt;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) || tm.tm_mday != d) return std::nullopt;  // 31 February and the like
    return std::chrono::system_clock::from_time_t(t);
}

std::optional<int> QueryRemoteRecordSetting::compareDate(const std::string& a, const std::string& b) {
    auto da = parse(a), db = parse(b);
    if (!da || !db) return std::nullopt;
    if (*da < *db) return 1;
    if (*da == *db) return 0;
    return -1;
}

std::string QueryRemoteRecordSetting::channelMaskToString(uint32_t mask) {
    return ChannelMask::toString(mask);
}

std::shared_ptr<Device> QueryRemoteRecordSetting::device() const {
    return QvDeviceManager::sharedInstance().deviceWithId(deviceId_);
}

uint32_t QueryRemoteRecordSetting::allChannels() const {
    auto d = device();
    return d ? ChannelMask::all(d->channelNum.load()) : 0;
}

void QueryRemoteRecordSetting::setDevice(int deviceId) {
    deviceId_ = deviceId;
    m_nChannels = allChannels();
    reload();
}

void QueryRemoteRecordSetting::viewDidLoad() {
    auto now = std::chrono::system_clock::now();
    m_stTime = formatWith(now, "%Y-%m-%d-00-00-00");
    m_enTime = formatWith(now, "%Y-%m-%d-23-59-59");
    m_nChannels = allChannels();
    navigationItem().setRightBarButtonItem(
        UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::Search, [this](UIBarButtonItem&) { onSearch(); }));
    navigationItem().setLeftBarButtonItem(
        UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::Cancel, [this](UIBarButtonItem&) { onBack(); }));
    setTitle(Localization::string("QueryRemoteVideo"));
    setViewName(tableView(), "searchTable");
}

UITableViewCell* QueryRemoteRecordSetting::cellForRowAtIndexPath(UITableView* table, const NSIndexPath& indexPath) {
    auto* cell = new UITableViewCell(UITableViewCellStyle::Value1, "Cell");
    if (indexPath.section == 0) {
        cell->detailTextLabel()->setAdjustsFontSizeToFitWidth(true);
        switch (indexPath.row) {
        case 0:
            cell->textLabel()->setText(Localization::string("CHANNEI_ID"));
            cell->detailTextLabel()->setText(m_nChannels == allChannels() ? Localization::string("All")
                                                                           : channelMaskToString(m_nChannels));
            break;
        case 1:
            cell->textLabel()->setText(Localization::string("START_TIME"));
            cell->detailTextLabel()->setText(m_stTime.empty() ? Localization::string("TODAY") : m_stTime);
            break;
        default:
            cell->textLabel()->setText(Localization::string("END_TIME"));
            cell->detailTextLabel()->setText(m_enTime.empty() ? Localization::string("TODAY") : m_enTime);
            break;
        }
        return cell;
    }
    static const char* const kKeys[5] = {"VIDEO_SWITCH", "VIDEO_MOVE", "VIDEO_COMMAND", "VIDEO_HAND", "VIDEO_ALL"};
    cell->textLabel()->setText(Localization::string(kKeys[indexPath.row]));
    if (m_alarmTypeSelections[static_cast<size_t>(indexPath.row)]->m_bSelected())
        CheckMark::addTo(cell, view()->bounds().size.width, table ? table->rowHeight : 44);
    return cell;
}

void QueryRemoteRecordSetting::didSelectRowAtIndexPath(UITableView* table, const NSIndexPath& indexPath) {
    if (indexPath.section == 0) {
        if (indexPath.row == 0) {
            auto selection = std::make_shared<UIChannelSelection>();
            selection->m_bShowChannelGroup = false;
            auto d = device();
            selection->setTotalChannels(d ? d->channelNum.load() : 0, m_nChannels);
            selection->delegate = std::static_pointer_cast<QueryRemoteRecordSetting>(shared_from_this());
            if (auto* nav = navigationController()) nav->pushViewController(selection, true);
            return;
        }
        isStartTime = indexPath.row == 1;
        if (UIScreen::mainScreen().idiom() == UserInterfaceIdiom::Pad) {
            UITableViewCell* cell = table ? table->cellForRowAtIndexPath(indexPath) : nullptr;
            CGRect rect = table ? table->rectForRowAtIndexPath(indexPath) : CGRectZero;
            std::string text = cell && cell->detailTextLabel() ? cell->detailTextLabel()->text() : std::string();
            presentSortPopover(rect, text);
        } else {
            showDateTimePicker();
        }
        return;
    }
    const int r = indexPath.row;
    auto& all = m_alarmTypeSelections[kAllRow];
    auto& rec = m_alarmTypeSelections[static_cast<size_t>(r)];
    rec->setM_bSelected(!rec->m_bSelected());
    if (r < kAllRow) {
        if (all->m_bSelected() && !rec->m_bSelected()) all->setM_bSelected(false);
    } else {
        for (auto& g : m_alarmTypeSelections) g->setM_bSelected(all->m_bSelected());
    }
    reload();
}

void QueryRemoteRecordSetting::onChannelSelect(uint32_t mask) {
    m_nChannels = mask;
    reload();
}

void QueryRemoteRecordSetting::onSearch() {
    auto order = compareDate(m_stTime, m_enTime);
    if (!order || *order != 1) {
        QvUtility::showAlert("", Localization::string("DATEERROR"));
        return;
    }
    auto list = std::make_shared<RemoteRecodeFileList>();
    if (auto* nav = navigationController()) nav->pushViewController(list, true);
    uint32_t type = 0;
    if (m_alarmTypeSelections[kAllRow]->m_bSelected()) {
        type = 255;
    } else {
        for (int r = 0; r < kAllRow; ++r)
            if (m_alarmTypeSelections[static_cast<size_t>(r)]->m_bSelected()) type |= kTypeBits[r];
    }
    m_nSearchType = type;
    lastList = list;
    list->setDeviceItem(device(), m_nChannels, m_nSearchType, m_stTime, m_enTime);
}

void QueryRemoteRecordSetting::onBack() {
    if (auto* nav = navigationController()) nav->dismissViewControllerAnimated(true, nullptr);
}

void QueryRemoteRecordSetting::showDateTimePicker() {
    if (aac) return;
    auto* sheet = new UIActionSheet(Localization::string("Date_Time"), this, "", "", {});
    const CGFloat width = view()->bounds().size.width;
    const CGFloat height = kPickerSheetHeight;
    auto* holder = new UIView(CGRectMake(0, 0, width, height));
    auto* toolbar = new UIToolbar(CGRectMake(0, 0, width, kPickerToolbarHeight));
    toolbar->setBarStyle(UIBarStyle::Black);
    toolbar->setItems({UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::FlexibleSpace, nullptr),
                       UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::Done,
                                                       [this](UIBarButtonItem&) { pickerHideOK(); })});
    setViewName(toolbar, "pickerToolbar");
    if (!picker) picker = new UIDatePicker(CGRectMake(0, kPickerToolbarHeight, width, height - kPickerToolbarHeight));
    picker->datePickerMode = UIDatePickerMode::DateAndTime;
    picker->setDate(std::chrono::system_clock::now());
    setViewName(picker, "datePicker");
    holder->addSubview(toolbar);
    holder->addSubview(picker);
    sheet->addCustomView(holder, height);
    aac = sheet;
    sheet->showInView(tableView());
}

void QueryRemoteRecordSetting::pickerHideOK() {
    Date date = picker ? picker->date() : std::chrono::system_clock::now();
    if (aac) aac->dismissWithClickedButtonIndex(0, true);
    aac = nullptr;
    picker = nullptr;  // went with the sheet
    storePicked(date);
}

void QueryRemoteRecordSetting::presentSortPopover(const CGRect& rect, const std::string& date) {
    auto content = std::make_shared<UIViewController>();
    auto* datePicker = new UIDatePicker(kPopoverPickerFrame);
    datePicker->datePickerMode = UIDatePickerMode::DateAndTime;
    if (auto d = parse(date)) datePicker->setDate(*d);
    setViewName(datePicker, "datePicker");
    content->setView(datePicker);
    picker = datePicker;
    m_pPopOverController = std::make_shared<UIPopoverController>(content);
    m_pPopOverController->delegate = this;
    m_pPopOverController->setPopoverContentSize(kPopoverSize);
    m_pPopOverController->presentPopoverFromRect(rect, tableView(), UIPopoverArrowDirectionAny, true);
}

void QueryRemoteRecordSetting::popoverControllerDidDismissPopover(UIPopoverController*) {
    if (picker) storePicked(picker->date());
    picker = nullptr;
    m_pPopOverController.reset();
}

void QueryRemoteRecordSetting::storePicked(Date date) {
    (isStartTime ? m_stTime : m_enTime) = format(date);
    reload();
}

void QueryRemoteRecordSetting::reload() {
    if (isViewLoaded()) tableView()->reloadData();
}

}  // namespace lumora
