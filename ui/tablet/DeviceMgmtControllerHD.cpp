#include "ui/tablet/DeviceMgmtControllerHD.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#include "platform/runloop/Seconds.h"
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
#include "ui/kit/InterfaceFile.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UILabel.h"
#include "ui/tablet/SectionHeaderViewHD.h"

namespace lumora {

namespace {

constexpr int kSignalTag = 100;
constexpr int kKeyboardURL = 3;
constexpr int kKeyboardNumberPad = 4;
constexpr size_t kPasswordMaskLength = 13;
constexpr const char* kTopicKeys[] = {"Name", "UID", "Address", "Port", "User", "Password", "Alarm", "ChannelNum"};
constexpr const char* kChannelChoiceKeys[] = {"1 channels", "4 channels", "8 channels", "16 channels", "32 channels",
                                              "Auto"};
constexpr const char* kAddChoiceKeys[] = {"TWOD_ADD", "MANNUAL_ADD", "LocalSearch_ADD"};

DeviceMgmtControllerHD* panelOf(void* owner) { return static_cast<DeviceMgmtControllerHD*>(owner); }

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
    panelOf(owner)->attrCell = cell;
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
    panelOf(owner)->sgmtCell = cell;
    return cell;
}

UIView* buildDeviceItemViewCell(void* owner) {
    auto* cell = newCell(true);
    tagLabel(cell->contentView(), CGRect{{92, 10}, {130, 24}}, 2, UIFont::systemFontOfSize(13));
    panelOf(owner)->dvcitmCell = cell;
    return cell;
}

UIView* buildAlarmAttrCell(void* owner) {
    auto* cell = newCell(true);
    auto* sw = new UISwitch(CGRect{{130, 8}, {79, 27}});
    sw->setTag(2);
    cell->contentView()->addSubview(sw);
    panelOf(owner)->alarmCell = cell;
    return cell;
}

// The editor's cells show the panel through them and are never highlighted.
UITableViewCell* plainCell(UITableViewCell* cell, const std::string& name) {
    cell->setBackgroundColor(UIColor::clearColor());
    cell->selectionStyle = UITableViewCellSelectionStyle::None;
    if (!name.empty()) setViewName(cell, name);
    return cell;
}

void registerCellFiles() {
    const std::pair<const char*, InterfaceFile::Builder> files[] = {{"DeviceAttrCell", buildDeviceAttrCell},
                                                                    {"SegmentedCell", buildSegmentedCell},
                                                                    {"DeviceItemViewCell", buildDeviceItemViewCell},
                                                                    {"AlarmAttrCell", buildAlarmAttrCell}};
    for (const auto& [name, builder] : files)
        if (!InterfaceFile::exists(name)) InterfaceFile::registerFile(name, builder);
}

std::string maskedPassword(const std::string& password) {
    return std::string(std::min(password.size(), kPasswordMaskLength), '*');
}

bool hasBlank(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c); });
}

}  // namespace

DeviceMgmtControllerHD::DeviceMgmtControllerHD() {
    registerCellFiles();
    auto barButton = [this](const char* name, const char* image, const char* titleKey, CGSize size,
                            void (DeviceMgmtControllerHD::*action)()) {
        auto* b = new UIButton(CGRect{{0, 0}, size});
        b->setBackgroundImage(UIImage::imageNamed(std::string(image) + ".png"), UIControlStateNormal);
        b->setBackgroundImage(UIImage::imageNamed(std::string(image) + "_clk.png"), UIControlStateHighlighted);
        if (titleKey) {
            b->setTitle(Localization::string(titleKey));
            b->setFont(UIFont::fontWithName("Verdana-Bold", 12));
        }
        b->addTarget(this, [this, action](UIControl*, UIEvent*) { (this->*action)(); }, UIControlEventTouchUpInside);
        setViewName(b, name);
        return WeakView<UIButton>(b);
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

    auto* segment = new UISegmentedControl({"UID", "IP"});
    segment->setFrame(CGRect{{0, 0}, {100, 30}});
    segment->tintColor = UIColor::colorWithRed(0.1, 0.35, 0.8, 1);
    segment->setSelectedSegmentIndex(0);
    segment->addTarget(this, [this](UIControl*, UIEvent*) { segmentChanged(); }, UIControlEventValueChanged);
    setViewName(segment, "segmentedControl");
    segmentedControl_ = segment;

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
    for (const char* key : kChannelChoiceKeys) dvcSettingFormat_.push_back(Localization::string(key));
    for (const char* key : kAddChoiceKeys) addDeviceFormat_.push_back(Localization::string(key));
    dvcSettingFileds_.resize(5);
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
    auto* cell = new UITableViewCell(UITableViewCellStyle::Value1, "DeviceCell");
    cell->selectionStyle = UITableViewCellSelectionStyle::Gray;
    cell->setFrame(CGRect{{0, 0}, {view()->bounds().size.width, deviceTable_ ? deviceTable_->rowHeight : 44}});
    const CGFloat h = cell->frame().size.height;
    const std::string suffix = std::to_string(section) + "_" + std::to_string(row);
    auto* button = new UIButton(CGRect{{0, 0}, {view()->bounds().size.width, h}});
    button->setBackgroundImage(UIImage::imageNamed("cellseg.png"), UIControlStateNormal);
    button->setBackgroundImage(UIImage::imageNamed("cell_clk.png"), UIControlStateHighlighted);
    button->setTag(section * 100 + row);
    button->addTarget(this, [this](UIControl* c, UIEvent*) { dvcChnlClicked(static_cast<UIButton*>(c)); },
                      UIControlEventTouchUpInside);
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
    signal->setSelected(d && delegate_ && delegate_->queryDeviceChannelBusyStatus(this, d->deviceId, row));
    setViewName(signal, "panelSignal" + suffix);
    button->addSubview(signal);
    cell->setBackgroundColor(UIColor::clearColor());
    return cell;
}

UITableViewCell* DeviceMgmtControllerHD::listEditingCell(int row) {
    auto d = QvDeviceManager::sharedInstance().objectInDevicesAtIndex(static_cast<uint32_t>(row));
    auto* cell = new UITableViewCell(UITableViewCellStyle::Subtitle, "DeviceCell");
    plainCell(cell, "listEditRow" + std::to_string(row));
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

void DeviceMgmtControllerHD::dvcChnlClicked(UIButton* sender) {
    if (curStatus_ != kList || !sender) return;
    UIButton* icon = nullptr;
    for (UIView* sub : sender->subviews())
        if (sub->tag() == kSignalTag) icon = dynamic_cast<UIButton*>(sub);
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
        // The heading in the panel's own light text: the list's grey would not read on the panel.
        const std::string title = titleForHeaderInSection(table, section);
        if (title.empty()) return nullptr;
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
    if (table != deviceTable_ || curStatus_ != kList) return nullptr;
    auto d = QvDeviceManager::sharedInstance().objectInDevicesAtIndex(static_cast<uint32_t>(section));
    if (!d) return nullptr;
    const std::string uid = d->udid.value();
    const std::string title = "[" + d->name.value() + "] " + (uid.empty() ? d->address.value() : uid);
    auto* header = new SectionHeaderViewHD(CGRect{{0, 0}, {table->bounds().size.width, SectionHeaderViewHD::kHeight}},
                                           title, section, isSectionOpen(section), this);
    header->setIsOnLine(closeShan_ ? d->isOnLine.load() : d->isShan.load());
    setViewName(header, "sectionHeader" + std::to_string(section));
    return header;
}

UITableViewCell* DeviceMgmtControllerHD::cellForRowAtIndexPath(UITableView* table, const NSIndexPath& path) {
    if (table == deviceTable_)
        return curStatus_ == kListEditing ? listEditingCell(path.row) : listCell(path.section, path.row);
    if (table == deviceEditableView_) {
        if (path.section == 1) return channelChoiceCell(table);
        const auto topics = editableTopics();
        if (path.row >= 0 && path.row < static_cast<int>(topics.size()) && topics[static_cast<size_t>(path.row)] == kAlarm)
            return alarmSwitchCell(table);
        return attributeCell(table, path.row);
    }
    return viewCell(path.row);
}

UITableViewCell* DeviceMgmtControllerHD::cellFromFile(UITableView* table, const char* file,
                                                      WeakView<UITableViewCell>& outlet) {
    if (UITableViewCell* reused = table ? table->dequeueReusableCellWithIdentifier("CommonAttrCell") : nullptr)
        return reused;
    // The file's builder hands the cell over through the outlet, which is then cleared.
    InterfaceFile::load(file, this);
    UITableViewCell* cell = outlet.data();
    outlet = nullptr;
    return cell;
}

UITableViewCell* DeviceMgmtControllerHD::attributeCell(UITableView* table, int row) {
    const auto topics = editableTopics();
    if (row < 0 || row >= static_cast<int>(topics.size())) return nullptr;
    const Topic t = topics[static_cast<size_t>(row)];
    UITableViewCell* cell = cellFromFile(table, "DeviceAttrCell", attrCell);
    if (!cell) return nullptr;
    auto* label = dynamic_cast<UILabel*>(cell->viewWithTag(1));
    auto* field = dynamic_cast<UITextField*>(cell->viewWithTag(2));
    if (label) label->setText(topic(t));
    if (field) {
        if (row < static_cast<int>(dvcSettingFileds_.size())) dvcSettingFileds_[static_cast<size_t>(row)] = field;
        field->setTag(t);
        field->setTextAlignment(UITextAlignment::Center);
        field->keyboardType = t == kAddress ? kKeyboardURL : t == kPort ? kKeyboardNumberPad : 0;
        // The password field holds the stored password itself, shown masked:
        // what the user types replaces it, and nothing else is ever stored.
        field->setSecureTextEntry(t == kPassword);
        field->setText(attribute(t));
        field->addTarget(this,
                         [this](UIControl* c, UIEvent*) {
                             auto* f = static_cast<UITextField*>(c);
                             if (f->tag() >= kName && f->tag() <= kPassword)
                                 setAttribute(static_cast<Topic>(f->tag()), f->text());
                         },
                         UIControlEventEditingChanged);
        setViewName(field, std::string("field") + kTopicKeys[t]);
    }
    return plainCell(cell, std::string("attrRow") + kTopicKeys[t]);
}

UITableViewCell* DeviceMgmtControllerHD::channelChoiceCell(UITableView* table) {
    UITableViewCell* cell = cellFromFile(table, "SegmentedCell", sgmtCell);
    if (!cell) return nullptr;
    channelNumSegmentCtrl = dynamic_cast<UISegmentedControl*>(cell->viewWithTag(2));
    if (channelNumSegmentCtrl) {
        channelNumSegmentCtrl->setSelectedSegmentIndex(std::clamp(std::atoi(attribute(kChannelNum).c_str()), 0, 5));
        channelNumSegmentCtrl->addTarget(this,
                                         [this](UIControl* c, UIEvent*) {
                                             setAttribute(kChannelNum, std::to_string(static_cast<UISegmentedControl*>(c)
                                                                                          ->selectedSegmentIndex()));
                                         },
                                         UIControlEventValueChanged);
        setViewName(channelNumSegmentCtrl, "channelNumSegmentCtrl");
    }
    return plainCell(cell, "channelChoiceRow");
}

UITableViewCell* DeviceMgmtControllerHD::alarmSwitchCell(UITableView* table) {
    UITableViewCell* cell = cellFromFile(table, "AlarmAttrCell", alarmCell);
    if (!cell) return nullptr;
    if (auto* label = dynamic_cast<UILabel*>(cell->viewWithTag(1))) label->setText(topic(kAlarm));
    alarmSwitch = dynamic_cast<UISwitch*>(cell->viewWithTag(2));
    if (alarmSwitch) {
        alarmSwitch->setOn(attribute(kAlarm) == "1");
        // On value change: the kit's switch sends touch-up-inside before it flips.
        alarmSwitch->addTarget(this, [this](UIControl* c, UIEvent*) { switchAction(static_cast<UISwitch*>(c)); },
                               UIControlEventValueChanged);
        setViewName(alarmSwitch, "alarmSwitch");
    }
    return plainCell(cell, "attrRowAlarm");
}

UITableViewCell* DeviceMgmtControllerHD::viewCell(int row) {
    const auto topics = viewTopics();
    if (row < 0 || row >= static_cast<int>(topics.size())) return nullptr;
    const Topic t = topics[static_cast<size_t>(row)];
    UITableViewCell* cell = cellFromFile(nullptr, "DeviceItemViewCell", dvcitmCell);
    if (!cell) return nullptr;
    std::string value = attribute(t);
    if (t == kPassword) value = maskedPassword(value);
    if (t == kChannelNum) {
        const int index = std::clamp(std::atoi(value.c_str()), 0, 5);
        value = dvcSettingFormat_[static_cast<size_t>(index)];
    }
    if (auto* label = dynamic_cast<UILabel*>(cell->viewWithTag(1))) label->setText(topic(t));
    if (auto* shown = dynamic_cast<UILabel*>(cell->viewWithTag(2))) {
        shown->setText(value);
        setViewName(shown, std::string("value") + kTopicKeys[t]);
    }
    return plainCell(cell, std::string("viewRow") + kTopicKeys[t]);
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
    if (!toolBar_) return;
    std::vector<std::shared_ptr<UIBarButtonItem>> items;
    for (UIView* v : views) {
        if (!v) continue;
        if (!items.empty()) items.push_back(UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::FlexibleSpace, nullptr));
        items.push_back(UIBarButtonItem::withCustomView(v));
    }
    toolBar_->setItems(std::move(items), animated);
    // Shown only once in the bar (a view out of any tree would open a window).
    for (UIView* v : views)
        if (v) v->setHidden(false);
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
    mode_ = d->deviceConType.load() == 1 ? 1 : 0;
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

void DeviceMgmtControllerHD::switchAction(UISwitch* sender) {
    if (!sender) return;
    setAttribute(kAlarm, sender->isOn() ? "1" : "0");
    mBRegisterToServer_ = sender->isOn();
    registerToServer();
}

bool DeviceMgmtControllerHD::registerToServer() {
    const std::string uid = attribute(kUID), name = attribute(kName);
    if (uid.empty() || name.empty()) {
        if (mode_ != 0) return true;  // devices reached by address are not registered
        // Nothing is sent: the switch goes back to the stored flag.
        auto d = QvDeviceManager::sharedInstance().objectInDevicesAtIndex(static_cast<uint32_t>(curSeletedDeviceIdx_));
        setAttribute(kAlarm, d && d->alarmOnGuard.load() ? "1" : "0");
        if (alarmSwitch) alarmSwitch->setOn(attribute(kAlarm) == "1");
        auto* alert = new UIAlertView(Localization::string("MSG_TITLE"),
                                      Localization::string(uid.empty() ? "UID_NULL" : "NAME_NULL"), nullptr,
                                      Localization::string("OK_BUTTON"), {});
        alert->show();
        return false;
    }
    if (mode_ != 0) return true;
    std::weak_ptr<DeviceMgmtControllerHD> weak = self();
    registration_.start(uid, name, mBRegisterToServer_, [weak](std::optional<int> code) {
        if (auto s = weak.lock()) s->finishRegistration(code);
    });
    return true;
}

void DeviceMgmtControllerHD::finishRegistration(std::optional<int> code) {
    // The device the registration was made for: the one with the UID that was sent.
    QvDeviceManager& manager = QvDeviceManager::sharedInstance();
    auto d = manager.deviceWithUID(attribute(kUID));
    const bool before = d && d->alarmOnGuard.load();
    const auto result = code ? DeviceAlarmRegistration::outcome(*code, mBRegisterToServer_, before)
                             : DeviceAlarmRegistration::Outcome{before, "Err_communication"};
    if (d) d->alarmOnGuard = result.flag;
    manager.saveDeviceList();
    // Only the switch follows the answer: what is being typed stays.
    setAttribute(kAlarm, result.flag ? "1" : "0");
    if (deviceEditableView_) deviceEditableView_->reloadData();
    if (!result.messageKey.empty()) {
        auto* alert = new UIAlertView("", Localization::string(result.messageKey), nullptr,
                                      Localization::string("OK_BUTTON"), {});
        alert->show();
    }
}

}  // namespace lumora
