#include "ui/common/DeviceSearchingViewController.h"

#include <cstdio>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "base/link/DataController.h"
#include "platform/InterfaceIdiom.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/RunLoop.h"
#include "platform/text/Localization.h"
#include "ui/kit/UIActivityIndicatorView.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIToolbar.h"

namespace lumora {

namespace {

// The phone layout: the search status in the top toolbar, the devices found
// under it, the selection toolbar at the foot.
constexpr CGRect kSearchingFrame{{0, 0}, {320, 480}};
constexpr CGRect kToolbarFrame{{0, 0}, {320, 44}};
constexpr CGRect kIndicatorFrame{{290, 12}, {20, 20}};
constexpr CGRect kStatusFrame{{100, 13}, {181, 21}};
constexpr CGRect kTableFrame{{0, 44}, {320, 392}};
constexpr CGRect kSelectToolbarFrame{{0, 436}, {320, 44}};
const UIColor kSearchBackground = UIColor::colorWithRed(52 / 255.0, 73 / 255.0, 92 / 255.0, 1);
// A device already in the list.
const UIColor kListedDeviceColour = UIColor::colorWithRed(1, 1, 0, 1);

std::string format(const std::string& fmtText, int a) { return fmtText + " (" + std::to_string(a) + ")"; }

std::string format(const std::string& fmtText, int a, int b) {
    return fmtText + " (" + std::to_string(a) + " / " + std::to_string(b) + ")";
}

}  // namespace

// Forwards the answers of one search to the screen, tagged with that
// search's number; holds the screen weakly (the search may outlive it).
class DeviceSearchingViewController::Listener : public lanSearchDelegate {
public:
    Listener(std::weak_ptr<DeviceSearchingViewController> screen, uint64_t search)
        : screen_(std::move(screen)), search_(search) {}
    void newDeviceDidFoundInLan(const std::shared_ptr<Device>& device, uint16_t) override {
        if (!device) return;
        auto screen = screen_;
        uint64_t search = search_;
        DispatchQueue::main()->async([screen, device, search] {
            if (auto s = screen.lock()) s->foundOnMain(device, search);
        });
    }

private:
    std::weak_ptr<DeviceSearchingViewController> screen_;
    uint64_t search_;
};

DeviceSearchingViewController::DeviceSearchingViewController() = default;

DeviceSearchingViewController::~DeviceSearchingViewController() {
    if (timeout_) timeout_->invalidate();
}

void DeviceSearchingViewController::loadView() {
    auto* root = new UIView(kSearchingFrame);
    root->setBackgroundColor(kSearchBackground);
    setViewName(root, "deviceSearchingView");

    auto* toolbar = new UIToolbar(kToolbarFrame);
    toolbar->setBarStyle(UIBarStyle::Black);
    setViewName(toolbar, "toolbar");
    root->addSubview(toolbar);
    toolbar_ = toolbar;

    auto* indicator = new UIActivityIndicatorView(UIActivityIndicatorViewStyle::White);
    indicator->setFrame(kIndicatorFrame);
    setViewName(indicator, "indicator");
    toolbar->addSubview(indicator);
    indicator_ = indicator;

    auto* status = new UILabel(kStatusFrame);
    status->setTextColor(UIColor::whiteColor());
    status->setFont(UIFont::systemFontOfSize(13));
    status->setBackgroundColor(UIColor::clearColor());
    setViewName(status, "status");
    toolbar->addSubview(status);
    status_ = status;

    auto* table = new UITableView(kTableFrame);
    setViewName(table, "tableView");
    root->addSubview(table);
    tableView_ = table;

    auto* bottom = new UIToolbar(kSelectToolbarFrame);
    bottom->setBarStyle(UIBarStyle::Black);
    setViewName(bottom, "selectToolbar");
    root->addSubview(bottom);

    std::weak_ptr<UIViewController> weak = weak_from_this();
    auto self = [weak] { return std::dynamic_pointer_cast<DeviceSearchingViewController>(weak.lock()); };
    bitem_ = UIBarButtonItem::withTitle(Localization::string("CANCEL_BUTTON"), UIBarButtonItemStyle::Bordered,
                                        [self](UIBarButtonItem&) {
                                            if (auto s = self()) s->stopSearching();
                                        });
    selectAllBtn_ = UIBarButtonItem::withTitle(Localization::string("SelectAll"), UIBarButtonItemStyle::Bordered,
                                               [self](UIBarButtonItem&) {
                                                   if (auto s = self()) s->selectAll();
                                               });
    selectRevBtn_ = UIBarButtonItem::withTitle(Localization::string("SelectRev"), UIBarButtonItemStyle::Bordered,
                                               [self](UIBarButtonItem&) {
                                                   if (auto s = self()) s->selectRev();
                                               });
    refreshToolbar();
    setView(root);
}

void DeviceSearchingViewController::refreshToolbar() {
    if (toolbar_) toolbar_->setItems({bitem_});
    // Selecting is offered only when there is something to select.
    if (UIView* v = viewIfLoaded())
        if (auto* bottom = dynamic_cast<UIToolbar*>(v->viewWithName("selectToolbar"))) {
            auto space = UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::FlexibleSpace, nullptr);
            if (devicesDiscovered_.empty())
                bottom->setItems({space});
            else
                bottom->setItems({space, selectAllBtn_, selectRevBtn_});
        }
}

void DeviceSearchingViewController::viewDidLoad() {
    const unsigned mask = UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight;
    if (tableView_) {
        tableView_->setAutoresizingMask(mask);
        tableView_->setBackgroundColor(kSearchBackground);
        tableView_->dataSource = this;
        tableView_->setDelegate(this);
    }
    if (toolbar_) toolbar_->setAutoresizingMask(mask);
}

void DeviceSearchingViewController::viewWillAppear(bool) {
    UIApplication::sharedApplication().setStatusBarHidden(true);
}

void DeviceSearchingViewController::viewDidAppear(bool) {
    if (!isAdding) addDeviceWithLANScanning();
}

bool DeviceSearchingViewController::isSearching() const {
    return indicator_ && indicator_->isAnimating();
}

void DeviceSearchingViewController::setStatusCount(const std::string& key, int count) {
    // Nothing counted yet: no "(0)", only that the search goes on.
    if (status_) status_->setText(count == 0 ? Localization::string(key) + "\u2026" : format(Localization::string(key), count));
}

void DeviceSearchingViewController::addDeviceWithLANScanning() {
    view();
    devicesDiscovered_.clear();
    if (tableView_) tableView_->reloadData();
    if (selectAllBtn_) selectAllBtn_->enabled = false;
    if (selectRevBtn_) selectRevBtn_->enabled = false;
    if (!InterfaceIdiom::isPad()) {
        if (toolbar_) toolbar_->setFrame(kToolbarFrame);
        if (status_) status_->setFrame(kStatusFrame);
    }
    numSelected_ = 0;
    setStatusCount("SearChing", 0);
    if (bitem_) bitem_->title = Localization::string("stopSearch");
    refreshToolbar();
    if (indicator_) indicator_->startAnimating();

    // A new search: its own answers and its own time-out.
    ++search_;
    if (!dataControl_) dataControl_ = DataController::create();
    listener_ = std::make_shared<Listener>(std::static_pointer_cast<DeviceSearchingViewController>(shared_from_this()),
                                           search_);
    dataControl_->setLanSearchDelegate(listener_);
    dataControl_->startLanSearch();

    if (timeout_) timeout_->invalidate();
    std::weak_ptr<UIViewController> weak = weak_from_this();
    uint64_t search = search_;
    timeout_ = RunLoopTimer::scheduled(
        RunLoop::main(), std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(kSearchSeconds)),
        false, [weak, search](RunLoopTimer&) {
            auto s = std::dynamic_pointer_cast<DeviceSearchingViewController>(weak.lock());
            if (s && s->search_ == search) s->lanDiscoverDidTimeout();
        });
}

void DeviceSearchingViewController::newDeviceDidFoundInLan(const std::shared_ptr<Device>& device, uint16_t type) {
    // Direct calls (the search normally talks to the per-search listener).
    Listener(std::static_pointer_cast<DeviceSearchingViewController>(shared_from_this()), search_)
        .newDeviceDidFoundInLan(device, type);
}

void DeviceSearchingViewController::foundOnMain(const std::shared_ptr<Device>& device, uint64_t search) {
    if (!device || search != search_) return;
    const auto uid = device->udid.get();
    bool known = false;
    for (const auto& d : devicesDiscovered_)
        if (d && d->udid.get() == uid) known = true;
    if (!known) devicesDiscovered_.push_back(device);
    setStatusCount("SearChing", static_cast<int>(devicesDiscovered_.size()));
    if (tableView_) tableView_->reloadData();
    refreshToolbar();
}

void DeviceSearchingViewController::endWaiting(bool byButton) {
    if (timeout_) timeout_->invalidate();
    timeout_.reset();
    const int n = static_cast<int>(devicesDiscovered_.size());
    if (status_)
        status_->setText(n == 0 ? Localization::string("NoDevice")
                                : format(Localization::string("PLS_CHOOSEDEVICE"), numSelected_, n));
    if (bitem_) bitem_->title = Localization::string("CANCEL_BUTTON");
    if (indicator_) indicator_->stopAnimating();
    dataControl_.reset();
    if (byButton && n > 0) {
        if (selectAllBtn_) selectAllBtn_->enabled = true;
        if (selectRevBtn_) selectRevBtn_->enabled = true;
    }
    refreshToolbar();
}

void DeviceSearchingViewController::lanDiscoverDidTimeout() {
    endWaiting(false);
}

void DeviceSearchingViewController::stopSearching() {
    if (isSearching()) {
        endWaiting(true);
        return;
    }
    auto keep = shared_from_this();
    if (!devicesDiscovered_.empty())
        if (auto d = delegate.lock()) d->addMultiDevicesFromMulticaseSearching();
    isAdding = false;
    if (presentingViewController()) dismissViewControllerAnimated(true);
}

void DeviceSearchingViewController::selectRev() {
    const int n = static_cast<int>(devicesDiscovered_.size());
    if (numSelected_ == n || numSelected_ == 0) {
        if (bitem_) bitem_->title = Localization::string("完成");
        refreshToolbar();
    }
    numSelected_ = n - numSelected_;
    if (tableView_) tableView_->reloadData();
    if (status_) status_->setText(format(Localization::string("选择添加的设备"), numSelected_, n));
}

UITableViewCell* DeviceSearchingViewController::cellForRowAtIndexPath(UITableView* table, const NSIndexPath& path) {
    auto* cell = new UITableViewCell(UITableViewCellStyle::Value2, "DeviceCell");
    cell->setBackgroundColor(UIColor::clearColor());
    if (path.row < 0 || path.row >= static_cast<int>(devicesDiscovered_.size())) return cell;
    const auto& d = devicesDiscovered_[static_cast<size_t>(path.row)];
    if (!d) return cell;
    const CGFloat w = table ? table->bounds().size.width : 320;
    const CGFloat h = 44;
    auto* label = new UILabel(CGRectMake(30, (h - 40) / 2, w - 30, 40));
    label->setBackgroundColor(UIColor::clearColor());
    label->setFont(UIFont::boldSystemFontOfSize(14));
    const auto uid = d->udid.get();
    label->setText(Localization::string("UID") + " " + uid.value_or(""));
    const bool listed = QvDeviceManager::sharedInstance().deviceWithUID(uid) != nullptr;
    label->setTextColor(listed ? kListedDeviceColour : UIColor::whiteColor());
    setViewName(label, "deviceRowLabel" + std::to_string(path.row));
    cell->contentView()->addSubview(label);
    auto* signal = new UIButton(CGRectMake(w - 50, (h - 22) / 2, 22, 22));
    signal->setBackgroundImage(UIImage::imageNamed("signal.png"), UIControlStateNormal);
    signal->setBackgroundImage(UIImage::imageNamed("signal_fired.png"), UIControlStateSelected);
    signal->setUserInteractionEnabled(false);
    signal->setSelected(d->channelNum.load() == kChannelNumSelectedMark);
    cell->contentView()->addSubview(signal);
    setViewName(cell, "deviceRow" + std::to_string(path.row));
    return cell;
}

void DeviceSearchingViewController::didSelectRowAtIndexPath(UITableView*, const NSIndexPath& path) {
    auto keep = shared_from_this();
    if (isSearching()) endWaiting(true);
    if (path.row < 0 || path.row >= static_cast<int>(devicesDiscovered_.size())) return;
    auto d = devicesDiscovered_[static_cast<size_t>(path.row)];
    isAdding = true;
    if (presentingViewController()) dismissViewControllerAnimated(InterfaceIdiom::isPad());
    if (auto del = delegate.lock()) del->addDeviceItemFromLanSearch(d ? d->udid.get().value_or("") : "");
}

}  // namespace lumora
