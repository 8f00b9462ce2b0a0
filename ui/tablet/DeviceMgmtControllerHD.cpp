#include "ui/tablet/DeviceMgmtControllerHD.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#include "platform/runloop/Seconds.h"
#include "app/core/ConnectModes.h"
#include "app/core/Device.h"
#include "app/core/FileManager.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "app/core/QvUtility.h"
#include "base/utilities/QRCodeText.h"
#include "platform/Log.h"
#include "platform/runloop/RunLoop.h"
#include "platform/text/Localization.h"
#include "ui/common/DeviceForm.h"
#include "ui/tablet/DeviceEditorCellsHD.h"
#include "ui/tablet/DeviceListCellsHD.h"
#include "ui/tablet/DevicePanelBarHD.h"
#include "ui/tablet/SectionHeaderViewHD.h"

namespace lumora {

namespace {

constexpr const char* kTopicKeys[] = {"Name", "UID", "Address", "Port", "User", "Password", "Alarm", "ChannelNum"};
constexpr const char* kAddChoiceKeys[] = {"TWOD_ADD", "MANNUAL_ADD", "LocalSearch_ADD"};

bool hasBlank(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c); });
}

}  // namespace

const char* DeviceMgmtControllerHD::topicKey(Topic t) { return kTopicKeys[t]; }

DeviceMgmtControllerHD::DeviceMgmtControllerHD() : cells_(std::make_unique<DeviceEditorCellsHD>(*this)) {
    auto barButton = [this](const char* name, const char* image, const char* titleKey, CGSize size,
                            void (DeviceMgmtControllerHD::*action)()) {
        return WeakView<UIButton>(
            DevicePanelBarHD::makeButton(name, image, titleKey, size, [this, action] { (this->*action)(); }));
    };
    using P = DeviceMgmtControllerHD;
    homeBtn_ = barButton("homeBtn", "home", nullptr, CGSize{41, 41}, &P::homeItemClicked);
    editListBtn_ = barButton("editListBtn", "edit", nullptr, CGSize{41, 41}, &P::editListItemClicked);
    addDeviceBtn_ = barButton("addDeviceBtn", "dvcadd", nullptr, CGSize{41, 41}, &P::addDeviceItemClicked);
    doneListEditBtn_ = barButton("doneListEditBtn", "none", "Save", CGSize{60, 32}, &P::doneListEditItemClicked);
    cancelListEditBtn_ =
        barButton("cancelListEditBtn", "none", "Cancel_Button", CGSize{60, 32}, &P::cancelListEditItemClicked);
    editDeviceBtn_ = barButton("editDeviceBtn", "none", "Edit_Button", CGSize{60, 32}, &P::editDeviceItemClicked);
    doneDeviceEditBtn_ = barButton("doneDeviceEditBtn", "none", "Save", CGSize{60, 32}, &P::doneDeviceEditItemClicked);
    cancelDeviceEditBtn_ =
        barButton("cancelDeviceEditBtn", "none", "Cancel_Button", CGSize{60, 32}, &P::cancelDeviceEditItemClicked);
    returnToDeviceListBtn_ =
        barButton("returnToDeviceListBtn", "none", "Cancel_Button", CGSize{60, 32}, &P::returnToDeviceListClicked);
    segmentedControl_ = DevicePanelBarHD::makeModeSegment([this] { segmentChanged(); });

    auto table = [this](const char* name, UITableViewStyle style) {
        auto* t = new UITableView(CGRectZero, style);
        t->dataSource = this;
        t->setDelegate(this);
        setViewName(t, name);
        return WeakView<UITableView>(t);
    };
    deviceTable_ = table("deviceTable", UITableViewStyle::Plain);
    deviceEditableView_ = table("deviceEditableView", UITableViewStyle::Grouped);
    deviceUneditableView_ = table("deviceUneditableView", UITableViewStyle::Grouped);

    for (const char* key : kTopicKeys) dvcSettingTopics_.push_back(Localization::string(key));
    for (const char* key : kAddChoiceKeys) addDeviceFormat_.push_back(Localization::string(key));
    deviceSectionHeadInfo_.reserve(QvDeviceManager::sharedInstance().countOfDevices());
}

DeviceMgmtControllerHD::~DeviceMgmtControllerHD() {
    for (auto* t : {&shanTimer_, &closeShanTimer_})
        if (*t) (*t)->invalidate();
    // The table still in the live screen's tree outlives the panel.
    for (UITableView* t : {deviceTable_.data(), deviceEditableView_.data(), deviceUneditableView_.data()})
        if (t) {
            t->dataSource = nullptr;
            t->setDelegate(nullptr);
        }
    // Views out of the panel's tree (bar buttons off the toolbar, hidden
    // tables) are the panel's own.
    for (UIView* v : {static_cast<UIView*>(homeBtn_.data()), static_cast<UIView*>(editListBtn_.data()),
                      static_cast<UIView*>(addDeviceBtn_.data()), static_cast<UIView*>(doneListEditBtn_.data()),
                      static_cast<UIView*>(cancelListEditBtn_.data()), static_cast<UIView*>(editDeviceBtn_.data()),
                      static_cast<UIView*>(doneDeviceEditBtn_.data()), static_cast<UIView*>(cancelDeviceEditBtn_.data()),
                      static_cast<UIView*>(returnToDeviceListBtn_.data()), static_cast<UIView*>(segmentedControl_.data()),
                      static_cast<UIView*>(deviceTable_.data()), static_cast<UIView*>(deviceEditableView_.data()),
                      static_cast<UIView*>(deviceUneditableView_.data())})
        if (v && !v->superview()) delete v;
}

std::shared_ptr<DeviceMgmtControllerHD> DeviceMgmtControllerHD::self() {
    return std::static_pointer_cast<DeviceMgmtControllerHD>(shared_from_this());
}

void DeviceMgmtControllerHD::loadView() {
    auto* v = new UIView(CGRect{{0, 0}, {244, 514}});
    v->setBackgroundColor(UIColor::clearColor());
    setViewName(v, "devicePanel");
    auto* bar = new UIToolbar(CGRect{{0, 0}, {244, kToolbarHeight}});
    bar->setBarStyle(UIBarStyle::BlackTranslucent);
    bar->setBackgroundColor(UIColor::clearColor());
    setViewName(bar, "panelToolBar");
    v->addSubview(bar);
    toolBar_ = bar;
    setView(v);
}

void DeviceMgmtControllerHD::drawElement() {
    UIView* v = view();
    const CGFloat W = v->bounds().size.width, H = v->bounds().size.height;
    if (toolBar_) {
        toolBar_->setFrame(CGRect{{0, 0}, {W, kToolbarHeight}});
        if (curStatus_ == kList) showListToolbar(false);
    }
    for (UITableView* t : {deviceTable_.data(), deviceEditableView_.data(), deviceUneditableView_.data()}) {
        if (!t) continue;
        t->setFrame(CGRect{{0, kToolbarHeight}, {W, H - kToolbarHeight - 5}});
        t->setBackgroundColor(UIColor::clearColor());
        t->separatorColor = UIColor::clearColor();
    }
    if (deviceTable_ && !deviceTable_->superview() && curStatus_ <= kListEditing) v->addSubview(deviceTable_);
    if (deviceTable_ && curStatus_ <= kListEditing) deviceTable_->reloadData();
}

void DeviceMgmtControllerHD::viewDidLoad() {
    if (loaded_) return;
    loaded_ = true;
    deviceSectionHeadInfo_.resize(deviceSectionHeadInfo_.size() + QvDeviceManager::sharedInstance().countOfDevices());
    poll_.preconnectAndOpenRelays();
    std::weak_ptr<DeviceMgmtControllerHD> weak = self();
    RunLoop::main().performAfterDelay(secondsDuration(kFirstPollDelay), [weak] {
        if (auto s = weak.lock()) s->beginsearch();
    });
    startShan_ = false;
    startaaa();
}

void DeviceMgmtControllerHD::viewDidAppear(bool) { searchAllDeviceState(); }

// ---------------------------------------------------------------- polling and blink

void DeviceMgmtControllerHD::beginsearch() {
    poll_.beginsearch(std::static_pointer_cast<AllSearchDelegate>(self()), kPollInterval);
}

void DeviceMgmtControllerHD::searchAllDeviceState() {
    poll_.searchAllDeviceState(std::static_pointer_cast<AllSearchDelegate>(self()));
}

void DeviceMgmtControllerHD::AllSearchdidEnd() {
    std::weak_ptr<DeviceMgmtControllerHD> weak = self();
    DispatchQueue::main()->async([weak] {
        if (auto s = weak.lock()) s->reloadDeviceTable(false);
    });
}

void DeviceMgmtControllerHD::startaaa() {
    if (startShan_) return;
    startShan_ = true;
    closeShan_ = false;
    std::weak_ptr<DeviceMgmtControllerHD> weak = self();
    DispatchQueue::main()->async([weak] {
        auto s = weak.lock();
        if (!s) return;
        for (auto* t : {&s->shanTimer_, &s->closeShanTimer_})
            if (*t) (*t)->invalidate();
        s->shanTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(kBlinkInterval), true, [weak](RunLoopTimer&) {
            if (auto t = weak.lock()) t->shanyishan();
        });
        s->closeShanTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(kBlinkPeriod), false, [weak](RunLoopTimer&) {
            if (auto t = weak.lock()) t->closeshan();
        });
    });
}

void DeviceMgmtControllerHD::shanyishan() {
    const auto devices = QvDeviceManager::sharedInstance().devices();
    const int sections = deviceTable_ ? numberOfSectionsInTableView(deviceTable_) : 0;
    for (int i = 0; i < sections && i < static_cast<int>(devices.size()); ++i)
        if (const auto& d = devices[static_cast<size_t>(i)]) d->isShan = !d->isShan.load();
    if (deviceTable_) deviceTable_->reloadData();
}

void DeviceMgmtControllerHD::closeshan() {
    if (shanTimer_) shanTimer_->invalidate();
    shanTimer_.reset();
    closeShanTimer_.reset();
    closeShan_ = true;
    if (deviceTable_) deviceTable_->reloadData();
}

// ---------------------------------------------------------------- the list

void DeviceMgmtControllerHD::reloadDeviceTable(bool rebuild) {
    if (curStatus_ != kList) return;
    if (rebuild) deviceSectionHeadInfo_.assign(QvDeviceManager::sharedInstance().countOfDevices(), {});
    if (deviceTable_) deviceTable_->reloadData();
}

void DeviceMgmtControllerHD::reloadDeviceChannels(int deviceId, int count) {
    for (const auto& d : QvDeviceManager::sharedInstance().devices())
        if (d && d->deviceId == deviceId) {
            if (d->channelNum.load() == 0) d->channelNum = count;
            break;
        }
    reloadDeviceTable(false);
}

bool DeviceMgmtControllerHD::isSectionOpen(int section) const {
    return section >= 0 && section < sectionCount() && deviceSectionHeadInfo_[static_cast<size_t>(section)].opened;
}

void DeviceMgmtControllerHD::openSesionHeadView(int section, int row) {
    if (section < 0 || section > sectionCount() - 1 || isSectionOpen(section)) return;
    deviceSectionHeadInfo_[static_cast<size_t>(section)].opened = true;
    if (!deviceTable_) return;
    deviceTable_->reloadData();
    // The device's header comes to the top, and the row under it into sight:
    // the header leaves the top only when the row lies further down than the
    // table is high.
    const CGRect sectionRect = deviceTable_->rectForSection(section);
    const CGRect r = deviceTable_->rectForRowAtIndexPath(NSIndexPath{section, row});
    const CGFloat visible = deviceTable_->bounds().size.height;
    CGFloat y = sectionRect.origin.y;
    if (CGRectGetMaxY(r) > y + visible) y = CGRectGetMaxY(r) - visible;
    const CGFloat end = std::max<CGFloat>(0, deviceTable_->contentSize().height - visible);
    deviceTable_->setContentOffset(CGPoint{0, std::clamp<CGFloat>(y, 0, end)}, true);
}

void DeviceMgmtControllerHD::closeSesionHeadView(int section) {
    if (!isSectionOpen(section)) return;
    deviceSectionHeadInfo_[static_cast<size_t>(section)].opened = false;
    if (deviceTable_) deviceTable_->reloadData();
}

void DeviceMgmtControllerHD::closeAllSesionHeadView() {
    const int n = deviceTable_ ? deviceTable_->numberOfSections() : 0;
    for (int s = 0; s < n; ++s) closeSesionHeadView(s);
}

void DeviceMgmtControllerHD::homeItemClicked() {
    if (delegate_) delegate_->returnToHomePage(this);
}

UITableViewCell* DeviceMgmtControllerHD::listCell(int section, int row) {
    auto d = QvDeviceManager::sharedInstance().objectInDevicesAtIndex(static_cast<uint32_t>(section));
    const bool playing = d && delegate_ && delegate_->queryDeviceChannelBusyStatus(this, d->deviceId, row);
    const CGSize size{view()->bounds().size.width, deviceTable_ ? deviceTable_->rowHeight : 44};
    return DeviceListCellsHD::channelRow(d.get(), section, row, size, playing,
                                         [this](UIButton* b) { dvcChnlClicked(b); });
}

UITableViewCell* DeviceMgmtControllerHD::listEditingCell(int row) {
    auto d = QvDeviceManager::sharedInstance().objectInDevicesAtIndex(static_cast<uint32_t>(row));
    return DeviceListCellsHD::editingRow(d.get(), row);
}

void DeviceMgmtControllerHD::dvcChnlClicked(UIButton* sender) {
    if (curStatus_ != kList || !sender) return;
    UIButton* icon = DeviceListCellsHD::signalOf(sender);
    if (!icon) return;
    icon->setSelected(!icon->isSelected());
    auto d = QvDeviceManager::sharedInstance().objectInDevicesAtIndex(static_cast<uint32_t>(sender->tag() / 100));
    if (d && delegate_)
        delegate_->ChannelViewControllerHDClickChannel(this, sender->tag() % 100, d->deviceId, icon->isSelected());
}

// ---------------------------------------------------------------- tables

int DeviceMgmtControllerHD::numberOfSectionsInTableView(UITableView* table) {
    if (table == deviceTable_) {
        if (curStatus_ == kListEditing) return 1;
        return static_cast<int>(QvDeviceManager::sharedInstance().countOfDevices());
    }
    if (table == deviceEditableView_) return 2;
    return 1;
}

std::vector<DeviceMgmtControllerHD::Topic> DeviceMgmtControllerHD::editableTopics() const {
    std::vector<Topic> topics = mode_ == 1 ? std::vector<Topic>{kName, kAddress, kPort, kUser, kPassword}
                                           : std::vector<Topic>{kName, kUID, kUser, kPassword};
    // Editing a stored UID device also offers its alarm push switch.
    if (curStatus_ == kEditUid && mode_ == 0) topics.push_back(kAlarm);
    return topics;
}

std::vector<DeviceMgmtControllerHD::Topic> DeviceMgmtControllerHD::viewTopics() const {
    if (curStatus_ == kViewIp) return {kName, kAddress, kPort, kUser, kPassword, kChannelNum};
    return {kName, kUID, kUser, kPassword, kChannelNum};
}

int DeviceMgmtControllerHD::numberOfRowsInSection(UITableView* table, int section) {
    QvDeviceManager& devices = QvDeviceManager::sharedInstance();
    if (table == deviceTable_) {
        if (curStatus_ == kListEditing) return static_cast<int>(devices.countOfDevices());
        if (section >= static_cast<int>(devices.countOfDevices()) || !isSectionOpen(section)) return 0;
        auto d = devices.objectInDevicesAtIndex(static_cast<uint32_t>(section));
        const int n = d ? d->channelNum.load() : 0;
        return n <= 0 ? 1 : n;
    }
    if (table == deviceEditableView_) return section == 0 ? static_cast<int>(editableTopics().size()) : 1;
    return static_cast<int>(viewTopics().size());
}

std::string DeviceMgmtControllerHD::titleForHeaderInSection(UITableView* table, int section) {
    if (table == deviceEditableView_ && section == 1) return topic(kChannelNum);
    return {};
}

CGFloat DeviceMgmtControllerHD::heightForHeaderInSection(UITableView* table, int section) {
    if (table == deviceTable_) return curStatus_ == kList ? SectionHeaderViewHD::kHeight : 0;
    if (table == deviceEditableView_) {
        if (curStatus_ == kEditIp || (section == 1 && (curStatus_ == kAdd || curStatus_ == kEditUid))) return 35;
        return 0;
    }
    return -1;
}

UIView* DeviceMgmtControllerHD::viewForHeaderInSection(UITableView* table, int section) {
    if (table == deviceEditableView_) {
        const std::string title = titleForHeaderInSection(table, section);
        return title.empty() ? nullptr : DeviceEditorCellsHD::heading(table, title);
    }
    if (table != deviceTable_ || curStatus_ != kList) return nullptr;
    auto d = QvDeviceManager::sharedInstance().objectInDevicesAtIndex(static_cast<uint32_t>(section));
    if (!d) return nullptr;
    return DeviceListCellsHD::sectionHeader(*d, section, table->bounds().size.width, isSectionOpen(section),
                                            closeShan_ ? d->isOnLine.load() : d->isShan.load(), this);
}

UITableViewCell* DeviceMgmtControllerHD::cellForRowAtIndexPath(UITableView* table, const NSIndexPath& path) {
    if (table == deviceTable_)
        return curStatus_ == kListEditing ? listEditingCell(path.row) : listCell(path.section, path.row);
    if (table == deviceEditableView_) {
        if (path.section == 1) return cells_->channelChoiceCell(table);
        const auto topics = editableTopics();
        if (path.row < 0 || path.row >= static_cast<int>(topics.size())) return nullptr;
        const Topic t = topics[static_cast<size_t>(path.row)];
        return t == kAlarm ? cells_->alarmSwitchCell(table) : cells_->attributeCell(table, path.row, t);
    }
    const auto topics = viewTopics();
    if (path.row < 0 || path.row >= static_cast<int>(topics.size())) return nullptr;
    return cells_->viewCell(topics[static_cast<size_t>(path.row)]);
}

void DeviceMgmtControllerHD::didSelectRowAtIndexPath(UITableView* table, const NSIndexPath& path) {
    if (table != deviceTable_ || curStatus_ != kList) return;
    auto d = QvDeviceManager::sharedInstance().objectInDevicesAtIndex(static_cast<uint32_t>(path.section));
    if (d && delegate_) delegate_->ChannelViewControllerHDClickChannel(this, path.row, d->deviceId, true);
}

std::string DeviceMgmtControllerHD::attribute(Topic t) const {
    auto it = deviceAttributes_.find(dvcSettingTopics_[t]);
    return it == deviceAttributes_.end() ? std::string() : it->second;
}

// ---------------------------------------------------------------- states

void DeviceMgmtControllerHD::showTable(UITableView* table) {
    UIView* v = view();
    for (UITableView* t : {deviceTable_.data(), deviceEditableView_.data(), deviceUneditableView_.data()})
        if (t && t != table && t->superview()) t->removeFromSuperview();
    if (table && table->superview() != v) v->addSubview(table);
}

void DeviceMgmtControllerHD::setBarItems(const std::vector<UIView*>& views, bool animated) {
    DevicePanelBarHD::setItems(toolBar_, views, animated);
}

void DeviceMgmtControllerHD::showListToolbar(bool animated) {
    setBarItems({addDeviceBtn_, homeBtn_, editListBtn_}, animated);
}

void DeviceMgmtControllerHD::showViewToolbar() {
    setBarItems({returnToDeviceListBtn_, segmentedControl_, editDeviceBtn_});
    // The view keeps its segment in the bar, hidden.
    if (segmentedControl_) segmentedControl_->setHidden(true);
}

void DeviceMgmtControllerHD::showEditToolbar() { setBarItems({cancelDeviceEditBtn_, doneDeviceEditBtn_}); }

void DeviceMgmtControllerHD::reloadEditorTables() {
    if (deviceEditableView_) deviceEditableView_->reloadData();
    if (deviceUneditableView_) deviceUneditableView_->reloadData();
}

void DeviceMgmtControllerHD::editListItemClicked() {
    curStatus_ = kListEditing;
    if (deviceTable_) deviceTable_->reloadData();
    setBarItems({cancelListEditBtn_}, true);
    if (deviceTable_) deviceTable_->setEditing(true, true);
}

void DeviceMgmtControllerHD::doneListEditItemClicked() {
    curStatus_ = kList;
    if (deviceTable_) {
        deviceTable_->setEditing(false, true);
        deviceTable_->reloadData();
    }
    showListToolbar(true);
}

void DeviceMgmtControllerHD::cancelListEditItemClicked() { doneListEditItemClicked(); }

bool DeviceMgmtControllerHD::canEditRowAtIndexPath(UITableView* table, const NSIndexPath&) {
    return table == deviceTable_ && curStatus_ == kListEditing;
}

void DeviceMgmtControllerHD::commitEditingStyle(UITableView* table, UITableViewCellEditingStyle style,
                                                const NSIndexPath& path) {
    if (table != deviceTable_ || curStatus_ != kListEditing || style != UITableViewCellEditingStyle::Delete) return;
    // What stands in the way is said before the question, not after it.
    if (auto d = QvDeviceManager::sharedInstance().objectInDevicesAtIndex(static_cast<uint32_t>(path.row))) {
        if (d->numberOfConnections() > 0) return QvUtility::showAlert("", Localization::string("CLOSE_DEVICE_FIRST"));
        if (d->alarmOnGuard.load()) return QvUtility::showAlert("", Localization::string("CLOSE_DEVICE_Alarm"));
    }
    auto* alert = new UIAlertView("", Localization::string("MKSU_Delete"), this, Localization::string("DELETE_BUTTON"),
                                  {Localization::string("CANCEL_BUTTON")});
    alert->setTag(path.row);
    setViewName(alert, "deleteConfirmation");
    alert->show();
}

void DeviceMgmtControllerHD::alertViewClickedButtonAtIndex(UIAlertView* alert, int buttonIndex) {
    if (!alert || buttonIndex != 0) return;
    deleteDeviceAt(alert->tag());
}

void DeviceMgmtControllerHD::deleteDeviceAt(int index) {
    QvDeviceManager& manager = QvDeviceManager::sharedInstance();
    auto d = manager.objectInDevicesAtIndex(static_cast<uint32_t>(index));
    if (!d) return;
    if (d->numberOfConnections() > 0) return QvUtility::showAlert("", Localization::string("CLOSE_DEVICE_FIRST"));
    if (d->alarmOnGuard.load()) return QvUtility::showAlert("", Localization::string("CLOSE_DEVICE_Alarm"));
    d->stopPreConnection();
    manager.removeObjectFromDevicesAtIndex(static_cast<uint32_t>(index));
    manager.saveDeviceList();
    if (index >= 0 && index < sectionCount()) deviceSectionHeadInfo_.erase(deviceSectionHeadInfo_.begin() + index);
    // The list stays in editing mode.
    if (deviceTable_) deviceTable_->reloadData();
}

void DeviceMgmtControllerHD::addDeviceItemClicked() {
    editPopoverIdx_ = -1;
    addDeviceType_ = 0;
    CGRect anchor = addDeviceBtn_ ? addDeviceBtn_->frame() : CGRect{};
    anchor.origin.y += 5;
    if (delegate_) delegate_->showPopover(this, toolBar_, anchor, 0);
}

std::string DeviceMgmtControllerHD::titleForRow(UIPickerView*, int row, int) {
    return row >= 0 && row < static_cast<int>(addDeviceFormat_.size()) ? addDeviceFormat_[static_cast<size_t>(row)]
                                                                         : std::string();
}

void DeviceMgmtControllerHD::didSelectRow(UIPickerView*, int row, int) { addDeviceType_ = row; }

bool DeviceMgmtControllerHD::popoverControllerShouldDismissPopover(UIPopoverController*) {
    if (editPopoverIdx_ == -1) editPopoverIdx_ = -2;
    return true;
}

void DeviceMgmtControllerHD::popoverControllerDidDismissPopover(UIPopoverController*) {
    if (editPopoverIdx_ == -2) return;  // nothing was chosen
    if (editPopoverIdx_ != -1) {
        if (deviceEditableView_) deviceEditableView_->reloadData();
        return;
    }
    switch (addDeviceType_) {
    case 0:
        mode_ = 0;
        if (delegate_) delegate_->popUpCameraForScanningTDCode(this);
        break;
    case 1: addDeviceItemManually(); break;
    case 2:
        mode_ = 0;
        if (delegate_) delegate_->popUpDeviceSearchingView(this);
        break;
    default: break;
    }
}

void DeviceMgmtControllerHD::openAddState(const std::string& uid, bool withSegment, bool resetSegment) {
    curStatus_ = kAdd;
    mode_ = 0;
    if (segmentedControl_) {
        if (resetSegment) segmentedControl_->setSelectedSegmentIndex(0);
        segmentedControl_->setUserInteractionEnabled(true);
    }
    deviceAttributes_.clear();
    for (Topic t : {kName, kAddress, kPort, kUser, kPassword}) setAttribute(t, "");
    setAttribute(kUID, uid);
    setAttribute(kAlarm, "0");
    setAttribute(kChannelNum, "1");
    if (withSegment) setBarItems({cancelDeviceEditBtn_, segmentedControl_, doneDeviceEditBtn_}, true);
    else setBarItems({cancelDeviceEditBtn_, doneDeviceEditBtn_}, true);
    if (deviceTable_) deviceTable_->setEditing(false);
    showTable(deviceEditableView_);
    if (deviceEditableView_) deviceEditableView_->reloadData();
}

void DeviceMgmtControllerHD::addDeviceItemManually() { openAddState("", true, true); }

void DeviceMgmtControllerHD::addDeviceItemFromTwoDimensionalCode(const std::string& text) {
    // Only a device's text is a UID: a web address or a Wi-Fi login (also
    // as the live screen rebuilds it, with blanks) never lands in the UID field.
    if (QRCodeText::classify(text).kind != QRCodeText::Kind::Uid || hasBlank(text)) {
        Log::info("devicepanel", "scanned text is not a device UID; no device added");
        return;
    }
    openAddState(text, false, true);
}

void DeviceMgmtControllerHD::addDeviceItemFromLanSearch(const std::string& uid) {
    if (uid.empty()) return;
    openAddState(uid, false, false);
}

void DeviceMgmtControllerHD::sectionHeaderViewSectionClicked(SectionHeaderViewHD*, int section) {
    curStatus_ = kViewUid;
    setDeviceIndex(section);
    if (segmentedControl_) segmentedControl_->setUserInteractionEnabled(true);
    showViewToolbar();
    showTable(deviceUneditableView_);
    if (deviceUneditableView_) {
        deviceUneditableView_->setEditing(false);
        deviceUneditableView_->reloadData();
    }
}

void DeviceMgmtControllerHD::returnToDeviceListClicked() {
    curStatus_ = kList;
    showListToolbar(true);
    showTable(deviceTable_);
    if (deviceTable_) deviceTable_->reloadData();
}

void DeviceMgmtControllerHD::setDeviceIndex(int index) {
    curSeletedDeviceIdx_ = index;
    auto d = QvDeviceManager::sharedInstance().objectInDevicesAtIndex(static_cast<uint32_t>(index));
    if (!d) return;
    setAttribute(kName, d->name.value());
    setAttribute(kUID, d->udid.value());
    setAttribute(kAddress, d->address.value());
    setAttribute(kPort, std::to_string(d->mediaPort.load()));
    setAttribute(kUser, d->userName.value());
    setAttribute(kPassword, d->password.value());
    setAttribute(kAlarm, d->alarmOnGuard.load() ? "1" : "0");
    setAttribute(kChannelNum, std::to_string(DeviceForm::indexForChannelNum(d->channelNum.load())));
    // Any type but 1 is reached by UID (the stored lists also hold 2).
    mode_ = d->deviceConType.load() == devicecon::kByAddress ? 1 : 0;
    if (segmentedControl_) segmentedControl_->setSelectedSegmentIndex(mode_);
    segmentChanged();
    if (segmentedControl_) segmentedControl_->setHidden(true);
}

void DeviceMgmtControllerHD::segmentChanged() {
    mode_ = segmentedControl_ && segmentedControl_->selectedSegmentIndex() != 0 ? 1 : 0;
    if (deviceEditableView_) deviceEditableView_->reloadData();
    if (curStatus_ >= kViewUid && curStatus_ <= 8 && segmentedControl_)
        curStatus_ = static_cast<uint8_t>(segmentedControl_->selectedSegmentIndex() + kViewUid);
    if (deviceUneditableView_) deviceUneditableView_->reloadData();
}

void DeviceMgmtControllerHD::editDeviceItemClicked() {
    if (curStatus_ != kViewUid && curStatus_ != kViewIp) return;
    curStatus_ = static_cast<uint8_t>(curStatus_ - 3);
    if (segmentedControl_) {
        segmentedControl_->setSelectedSegmentIndex(curStatus_ - kEditUid);
        segmentedControl_->setUserInteractionEnabled(true);
    }
    showEditToolbar();
    showTable(deviceEditableView_);
    if (deviceEditableView_) deviceEditableView_->reloadData();
}

void DeviceMgmtControllerHD::doneDeviceEditItemClicked() {
    if (UITextField* editing = UITextField::editingField()) editing->resignFirstResponder();
    if (!commitEditDevice()) return;
    if (curStatus_ == kAdd) {
        curStatus_ = kList;
        if (deviceEditableView_) deviceEditableView_->removeFromSuperview();
        returnToDeviceListClicked();
        return;
    }
    curStatus_ = static_cast<uint8_t>(curStatus_ + 3);
    if (segmentedControl_) {
        segmentedControl_->setSelectedSegmentIndex(curStatus_ - kViewUid);
        segmentedControl_->setUserInteractionEnabled(true);
    }
    showViewToolbar();
    showTable(deviceUneditableView_);
    if (deviceUneditableView_) deviceUneditableView_->reloadData();
    if (delegate_) delegate_->showLanSearchController();
}

void DeviceMgmtControllerHD::cancelDeviceEditItemClicked() {
    if (UITextField* editing = UITextField::editingField()) editing->resignFirstResponder();
    if (curStatus_ == kAdd) {
        curStatus_ = kList;
        showListToolbar(true);
        showTable(deviceTable_);
        if (deviceTable_) deviceTable_->reloadData();
    } else if (curStatus_ == kEditUid || curStatus_ == kEditIp) {
        const uint8_t viewing = static_cast<uint8_t>(curStatus_ + 3);
        curStatus_ = viewing;
        setDeviceIndex(curSeletedDeviceIdx_);
        if (segmentedControl_) segmentedControl_->setUserInteractionEnabled(true);
        showViewToolbar();
        showTable(deviceUneditableView_);
        if (deviceUneditableView_) deviceUneditableView_->reloadData();
    } else {
        return;
    }
    if (delegate_) delegate_->showLanSearchController();
}

bool DeviceMgmtControllerHD::commitEditDevice() {
    if (curStatus_ == kAdd || curStatus_ == kEditUid || curStatus_ == kEditIp) return commitEditDvc();
    return false;
}

bool DeviceMgmtControllerHD::commitEditDvc() {
    DeviceForm form;
    form.mode = mode_;
    form.name = attribute(kName);
    form.uid = attribute(kUID);
    form.address = attribute(kAddress);
    form.port = attribute(kPort);
    form.user = attribute(kUser);
    form.password = attribute(kPassword);
    if (const std::string refusal = form.validationError(); !refusal.empty()) {
        QvUtility::showAlert("", Localization::string(refusal));
        return false;
    }
    form.channelNum = DeviceForm::channelNumForIndex(std::atoi(attribute(kChannelNum).c_str()));
    QvDeviceManager& manager = QvDeviceManager::sharedInstance();

    if (curStatus_ == kAdd) {
        auto d = form.makeDevice();
        if (mode_ == 1) d->goforgetisOnline();
        else d->isOnLine = false;
        if (!manager.addDevice(d)) {
            QvUtility::showAlert(Localization::string("Device_ADD_ERROR"),
                                 Localization::string(DeviceForm::duplicateMessageKey(*d)));
            return false;
        }
        deviceSectionHeadInfo_.push_back({});
        curSeletedDeviceIdx_ = static_cast<int>(manager.indexOfDevice(d));
        QvApplicationPreference& prefs = QvApplicationPreference::sharedInstance();
        prefs.setDevicecount(prefs.devicecount() + 1);
        prefs.saveApplicationPreference();
        d->startPreConnection();
        manager.saveDeviceList();
        searchAllDeviceState();
        return true;
    }

    auto d = manager.objectInDevicesAtIndex(static_cast<uint32_t>(curSeletedDeviceIdx_));
    if (!d) return false;
    if (d->numberOfConnections() > 0) {
        QvUtility::showAlert("", Localization::string("CLOSE_DEVICE_FIRST"));
        return false;
    }
    const std::string oldName = d->name.value();
    if (!form.applyTo(d, manager)) {
        QvUtility::showAlert(Localization::string("Device_EDIT_ERROR"),
                             Localization::string(DeviceForm::duplicateMessageKey(*d)));
        return false;
    }
    d->startPreConnection();
    // The media store refuses folder names that would leave its folders.
    if (!FileManager::sharedInstance().renameFolder(d->name.value(), oldName))
        Log::warn("devicepanel", "the media folders of the renamed device were not moved");
    manager.saveDeviceList();
    searchAllDeviceState();
    return true;
}

// ---------------------------------------------------------------- the alarm switch

void DeviceMgmtControllerHD::switchAction(UISwitch* sender) { cells_->switchAction(sender); }

bool DeviceMgmtControllerHD::registerToServer() { return cells_->registerToServer(); }

bool DeviceMgmtControllerHD::isRegistering() const { return cells_->isRegistering(); }

}  // namespace lumora
