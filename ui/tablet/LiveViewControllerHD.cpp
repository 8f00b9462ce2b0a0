#include "ui/tablet/LiveViewControllerHD.h"

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "platform/runloop/Seconds.h"
#include "app/core/ConnectModes.h"
#include "app/core/ConnectionRecord.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "platform/text/Localization.h"
#include "ui/common/UIDeviceAddViewController.h"
#include "ui/kit/InterfaceFile.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UIToolbar.h"
#include "ui/kit/UIViewAnimation.h"
#include "ui/common/ZBarReaderViewController.h"

namespace lumora {

namespace {

constexpr CGFloat kPanelButtonWidth = 24;
// A held pan/tilt/zoom button renews its move this often (seconds): well
// within the second after which the session stops a move that is not renewed.
constexpr double kPtzRenewInterval = 0.5;
constexpr CGFloat kPanelButtonHeight = 80;

// The interface file: the side panel with its buttons, the two control pages and the page indicator.
UIView* buildLiveViewHD(void* owner) {
    auto* lvc = static_cast<LiveViewControllerHD*>(owner);
    const CGRect screen = UIScreen::mainScreen().bounds();
    const CGFloat W = screen.size.width, H = screen.size.height, P = LiveViewControllerHD::kPanelWidth;
    auto* root = new UIView(CGRect{{0, 0}, {W, H}});
    root->setBackgroundColor(UIColor::blackColor());
    setViewName(root, "LiveViewControllerHD");

    auto* open = ControlStripHD::makeButton(
        root, "openPanelButton", "leftarrow", "<",
        CGRect{{W - P - kPanelButtonWidth, (H - kPanelButtonHeight) / 2}, {kPanelButtonWidth, kPanelButtonHeight}},
        [lvc] { lvc->openPanel(); });
    open->setHidden(true);
    // Made for the portrait bounds; the panel and its button keep to the
    // right edge whatever the window's width.
    open->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleTopMargin |
                              UIViewAutoresizingFlexibleBottomMargin);

    auto* panel = new UIView(CGRect{{W - P, 0}, {P, H}});
    panel->setBackgroundColor(UIColor::colorWithRed(0.16, 0.17, 0.2, 1));
    setViewName(panel, "rightPanel");
    panel->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleHeight);
    root->addSubview(panel);
    ControlStripHD::makeButton(panel, "closePanelButton", "rightarrow", ">", CGRect{{0, 0}, {P, 20}},
                               [lvc] { lvc->closePanel(); });
    ControlStripHD::makePages(panel, lvc);
    return root;
}

}  // namespace

void LiveViewControllerHD::registerInterface() {
    if (!InterfaceFile::exists(kInterfaceName)) InterfaceFile::registerFile(kInterfaceName, buildLiveViewHD);
}

LiveViewControllerHD::LiveViewControllerHD()
    : chanMgmtController_(std::make_shared<ChannelMgmtControllerHD>()),
      dvcMgmtController_(std::make_shared<DeviceMgmtControllerHD>()),
      panelSlide_(*this), stopQueue_(DispatchQueue::createSerial("stopqueue")) {
    dvcMgmtController_->setDelegate(this);
    scrollView_ = new ControlStripHD();
    scrollView_->delegate = this;
    numOfDvcToStop_ = 0;
    chanMgmtController_->createAllChannelViewControllers();
}

LiveViewControllerHD::~LiveViewControllerHD() {
    // The side panel's hide timer goes with panelSlide_.
    for (auto* t : {&pollTimer_, &ptzHoldTimer_})
        if (*t) (*t)->invalidate();
    if (chanMgmtController_) chanMgmtController_->setDelegate(nullptr);
    if (dvcMgmtController_) dvcMgmtController_->setDelegate(nullptr);
    if (scrollView_) {
        scrollView_->delegate = nullptr;
        if (!scrollView_->superview()) delete scrollView_.data();
    }
    if (picker_) {
        picker_->delegate = nullptr;
        picker_->dataSource = nullptr;
    }
    if (popover_) popover_->delegate = nullptr;
}

std::shared_ptr<LiveViewControllerHD> LiveViewControllerHD::self() {
    return std::static_pointer_cast<LiveViewControllerHD>(shared_from_this());
}

bool LiveViewControllerHD::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) {
    return UIInterfaceOrientationIsLandscape(o);
}

void LiveViewControllerHD::loadView() {
    registerInterface();
    UIView* root = InterfaceFile::load(kInterfaceName, this);
    setView(root);
    rightPanel = root->viewWithName<UIView>("rightPanel");
    firstCtrlPage = root->viewWithName<UIView>("firstCtrlPage");
    secondCtrlPage = root->viewWithName<UIView>("secondCtrlPage");
    openPanelButton = root->viewWithName<UIButton>("openPanelButton");
    closePanelButton = root->viewWithName<UIButton>("closePanelButton");
    pageControl = root->viewWithName<UIPageControl>("pageControl");
    struct {
        WeakView<UIButton>* outlet;
        const char* name;
    } outlets[] = {{&upBtn, "upBtn"},          {&downBtn, "downBtn"},         {&leftBtn, "leftBtn"},
                   {&rightBtn, "rightBtn"},    {&iupBtn, "iupBtn"},           {&idownBtn, "idownBtn"},
                   {&tupBtn, "tupBtn"},        {&tdownBtn, "tdownBtn"},       {&zoomupBtn, "zoomupBtn"},
                   {&zoomdownBtn, "zoomdownBtn"}, {&voiceBtn, "voiceBtn"},    {&talkBtn, "talkBtn"},
                   {&stopAllBtn, "stopAllBtn"}, {&recordBtn, "recordBtn"},    {&snapshotBtn, "snapshotBtn"},
                   {&oneViewModeBtn, "oneViewModeBtn"}, {&fourViewModeBtn, "fourViewModeBtn"},
                   {&sixViewModeBtn, "sixViewModeBtn"}, {&nineViewModeBtn, "nineViewModeBtn"},
                   {&sixtnViewModeBtn, "sixtnViewModeBtn"}, {&playBtn, "playBtn"}};
    for (auto& o : outlets) *o.outlet = root->viewWithName<UIButton>(o.name);
    if (scrollView_) scrollView_->attach(root);
}

void LiveViewControllerHD::viewDidLoad() {
    UIApplication::sharedApplication().setStatusBarHidden(true, true);
    if (!loaded_) {
        loaded_ = true;
        searchAllDeviceState();
        std::weak_ptr<LiveViewControllerHD> weak = self();
        pollTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(kPollInterval), true, [weak](RunLoopTimer&) {
            if (auto s = weak.lock()) s->searchAllDeviceState();
        });
    }

    // The add-mode picker popover.
    auto content = std::make_shared<UIViewController>();
    content->setView(new UIView(CGRect{{0, 0}, {300, 244}}));
    auto* picker = new UIPickerView(CGRect{{0, 44}, {300, 200}});
    picker->showsSelectionIndicator = true;
    picker->delegate = dvcMgmtController_.get();
    picker->dataSource = dvcMgmtController_.get();
    setViewName(picker, "addModePicker");
    content->view()->addSubview(picker);
    picker_ = picker;
    auto* bar = new UIToolbar(CGRect{{0, picker->frame().origin.y - 44}, {300, 44}});
    bar->setBarStyle(UIBarStyle::BlackTranslucent);
    std::weak_ptr<LiveViewControllerHD> weak = self();
    bar->setItems({UIBarButtonItem::withTitle(Localization::string("CANCEL_BUTTON"), UIBarButtonItemStyle::Bordered,
                                              [weak](UIBarButtonItem&) { if (auto s = weak.lock()) s->pickerHide(); }),
                   UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::FlexibleSpace, nullptr),
                   UIBarButtonItem::withTitle(Localization::string("OK_BUTTON"), UIBarButtonItemStyle::Done,
                                              [weak](UIBarButtonItem&) { if (auto s = weak.lock()) s->confirmPickView(); })});
    content->view()->addSubview(bar);
    popover_ = std::make_shared<UIPopoverController>(content);
    // The whole content: the bar and the picker under it.
    popover_->setPopoverContentSize(content->view()->bounds().size);
    popover_->delegate = dvcMgmtController_.get();

    std::weak_ptr<LiveViewControllerHD> shown = self();
    chanMgmtController_->onLayoutMode = [shown](int mode) {
        if (auto s = shown.lock()) s->showLayoutInUse(mode);
    };
    showLayoutInUse(chanMgmtController_->layoutMode());
    // A tap on the strip's dots turns the strip to the page they then show.
    if (pageControl)
        pageControl->addTarget(this, [shown](UIControl*, UIEvent*) {
            if (auto s = shown.lock()) s->showControlPage();
        }, UIControlEventValueChanged);

    attmpAutoConnect_ = QvApplicationPreference::sharedInstance().autoPlay();
}

void LiveViewControllerHD::viewWillAppear(bool) {
    UIView* v = view();
    const CGFloat W = v->bounds().size.width, H = v->bounds().size.height;
    const CGFloat P = rightPanel ? rightPanel->frame().size.width : kPanelWidth;
    UIView* grid = chanMgmtController_->view();
    const bool panelOpen = isPanelOpen();
    // The grid takes the saved layout before its new frame: laying out again
    // for the frame keeps the grid's layout, which is then the saved one (a
    // grid still at its first layout would otherwise store that one and cut
    // the live-view history down to it).
    chanMgmtController_->setLayoutMode(QvApplicationPreference::sharedInstance().layoutStyle());
    chanMgmtController_->setViewFrame(CGRect{{0, 0}, {panelOpen ? W - P : W, H}});
    chanMgmtController_->openRenderSwitch();
    if (!grid->superview()) {
        if (openPanelButton) v->insertSubviewBelowSubview(grid, openPanelButton);
        else v->insertSubviewAtIndex(grid, 0);
        addChildViewController(chanMgmtController_);
        chanMgmtController_->setDelegate(std::static_pointer_cast<ChannelMgmtControllerDelegate>(self()));
    }

    UIView* panelView = dvcMgmtController_->view();
    panelView->setFrame(CGRect{{6, 23}, {P - 12, 514}});
    dvcMgmtController_->drawElement();
    if (rightPanel && !panelView->superview()) {
        if (closePanelButton) rightPanel->insertSubviewBelowSubview(panelView, closePanelButton);
        else rightPanel->addSubview(panelView);
        addChildViewController(dvcMgmtController_);
    }
    dvcMgmtController_->setSuperController(this);

    if (scrollView_) scrollView_->layoutIn(rightPanel);
    startAutoPlay();
}

void LiveViewControllerHD::viewDidAppear(bool) { searchAllDeviceState(); }

void LiveViewControllerHD::viewDidDisappear(bool) {
    chanMgmtController_->stopAllLive();
    unselectTalkListenRecord();
    dvcMgmtController_->reloadDeviceTable(true);
}

void LiveViewControllerHD::showControlPage() {
    if (scrollView_ && pageControl) scrollView_->showDotsPage();
}

void LiveViewControllerHD::scrollViewDidScroll(UIScrollView* s) {
    if (s == scrollView_ && pageControl) scrollView_->didScroll();
}

// ---------------------------------------------------------------- calls from outside

void LiveViewControllerHD::searchAllDeviceState() {
    // Only devices reached by address are probed; the probe itself runs on the network queue.
    for (const auto& d : QvDeviceManager::sharedInstance().devices())
        if (d && d->deviceConType.load() == devicecon::kByAddress) d->goforgetisOnline();
}

void LiveViewControllerHD::startAutoPlay() {
    auto& prefs = QvApplicationPreference::sharedInstance();
    attmpAutoConnect_ = prefs.autoPlay();
    if (!attmpAutoConnect_) return;
    const std::vector<ConnectionRecord> history = prefs.connectionHistory();
    chanMgmtController_->setLayoutMode(prefs.layoutStyle());
    auto me = std::static_pointer_cast<ChannelViewControllerHDDelegate>(self());
    for (size_t i = 0; i < history.size(); ++i) {
        const ConnectionRecord& r = history[i];
        if (r.deviceId <= 0 || r.channel < 0) continue;
        ChannelViewControllerHD* tile = chanMgmtController_->ChannelViewControllerHDAtIndex(static_cast<int>(i));
        if (!tile) continue;
        // A resumed tile reports to this screen as one started from the panel does.
        tile->setDelegate(me);
        tile->startLive(QvDeviceManager::sharedInstance().deviceWithId(r.deviceId), r.channel);
    }
    dvcMgmtController_->reloadDeviceTable(false);
}

void LiveViewControllerHD::stopAll() {
    chanMgmtController_->stopAllLive();
    dvcMgmtController_->reloadDeviceTable(false);
    if (recordBtn) recordBtn->setSelected(false);
}

void LiveViewControllerHD::startshan() {
    dvcMgmtController_->setStartShan(false);
    dvcMgmtController_->searchAllDeviceState();
    dvcMgmtController_->startaaa();
}

void LiveViewControllerHD::playDv(const std::shared_ptr<Device>& device, int channel) {
    ChannelViewControllerHD* tile = chanMgmtController_->ChannelViewControllerHDAtIndex(0);
    if (tile) {
        tile->stopLive();
        tile->startLive(device, channel);
    }
    dvcMgmtController_->reloadDeviceTable(false);
}

// ---------------------------------------------------------------- the device panel's calls

void LiveViewControllerHD::ChannelViewControllerHDClickChannel(void*, int channel, int deviceId, bool selected) {
    auto& grid = *chanMgmtController_;
    if (!selected) {
        // A stop acts only on the tile bound to that device and channel,
        // never on a free tile the search would otherwise hand out.
        ChannelViewControllerHD* bound = nullptr;
        for (int i = 0; i < grid.numberOfChannelViewControllerHDs(); ++i) {
            ChannelViewControllerHD* t = grid.ChannelViewControllerHDAtIndex(i);
            if (t && t->deviceId() == deviceId && t->channel() == channel) {
                bound = t;
                break;
            }
        }
        if (bound) {
            bound->setDelegate(std::static_pointer_cast<ChannelViewControllerHDDelegate>(self()));
            bound->stopLive();
        }
        unselectTalkListenRecord();
        dvcMgmtController_->reloadDeviceTable(false);
        return;
    }
    ChannelViewControllerHD* tile = grid.findAvailableChannelViewControllerHD(deviceId, channel);
    if (!tile) {
        dvcMgmtController_->reloadDeviceTable(false);
        return;
    }
    tile->setDelegate(std::static_pointer_cast<ChannelViewControllerHDDelegate>(self()));
    if (tile->isBusy()) tile->stopLive();
    std::shared_ptr<Device> device = QvDeviceManager::sharedInstance().deviceWithId(deviceId);
    tile->startLive(device, channel);

    auto& prefs = QvApplicationPreference::sharedInstance();
    std::vector<ConnectionRecord>& history = prefs.connectionHistory();
    const int k = grid.indexOfChannelViewControllerHD(tile);
    if (!device || k < 0 || k >= static_cast<int>(history.size())) {
        dvcMgmtController_->reloadDeviceTable(false);
        return;
    }
    for (auto& r : history)
        if (r.deviceId == device->deviceId && r.channel == channel) r = ConnectionRecord{-1, -1};
    history[static_cast<size_t>(k)] = ConnectionRecord{device->deviceId, channel};
    prefs.saveApplicationPreference();
    dvcMgmtController_->reloadDeviceTable(false);
}

bool LiveViewControllerHD::queryDeviceChannelBusyStatus(void*, int deviceId, int channel) {
    return chanMgmtController_->findWorkingChannelViewControllerHDForDevice(deviceId, channel) != nullptr;
}

void LiveViewControllerHD::showPopover(UIView* inView, const CGRect& rect, int startIndex) {
    if (!popover_ || !inView) return;
    popover_->presentPopoverFromRect(rect, inView, UIPopoverArrowDirectionRight, true);
    if (picker_) {
        picker_->reloadAllComponents();
        picker_->selectRow(startIndex, 0, true);
        picker_->delegate = dvcMgmtController_.get();
        picker_->dataSource = dvcMgmtController_.get();
    }
    popover_->delegate = dvcMgmtController_.get();
}

void LiveViewControllerHD::pickerHide() {
    if (popover_) popover_->dismissPopoverAnimated(true);
}

void LiveViewControllerHD::confirmPickView() {
    if (!popover_) return;
    popover_->dismissPopoverAnimated(false);
    if (popover_->delegate) popover_->delegate->popoverControllerDidDismissPopover(popover_.get());
}

// ---------------------------------------------------------------- adding a device

void LiveViewControllerHD::popUpCameraForScanningTDCode(void*) {
    auto reader = UIDeviceAddViewController::makeReader(std::static_pointer_cast<ZBarReaderDelegate>(self()));
    reader_ = reader;
    presentViewController(reader, true);
}

void LiveViewControllerHD::imagePickerController(ZBarReader&, const ZBarReaderInfo& info) {
    const std::optional<std::string> scanned = UIDeviceAddViewController::firstScannedText(info);
    if (!scanned) return;  // nothing read: keep scanning
    auto keep = self();
    if (auto reader = reader_.lock(); reader && presentedViewController() == reader.get())
        dismissViewControllerAnimated(false);
    // The scanned text is judged as the phone's chooser judges it; a device's
    // text goes to the panel as the UID of a new device.
    std::weak_ptr<DeviceMgmtControllerHD> panel = dvcMgmtController_;
    UIDeviceAddViewController::handScannedText(*scanned, this, [panel](const std::string& uid) {
        if (auto p = panel.lock()) p->addDeviceItemFromTwoDimensionalCode(uid);
    });
}

void LiveViewControllerHD::imagePickerControllerDidCancel(ZBarReader&) {
    auto keep = self();
    if (auto reader = reader_.lock(); reader && presentedViewController() == reader.get())
        dismissViewControllerAnimated(false);
}

void LiveViewControllerHD::popUpDeviceSearchingView(void*) {
    if (!dsvc_) {
        dsvc_ = std::make_shared<DeviceSearchingViewController>();
        dsvc_->delegate = std::static_pointer_cast<DeviceSearchingViewControllerDelegate>(self());
    }
    // Not adding: the screen starts a new search once shown.
    dsvc_->isAdding = false;
    presentViewController(dsvc_, true);
}

void LiveViewControllerHD::addDeviceItemFromLanSearch(const std::string& uid) {
    dvcMgmtController_->addDeviceItemFromTwoDimensionalCode(uid);
}

void LiveViewControllerHD::addMultiDevicesFromMulticaseSearching() { dvcMgmtController_->reloadDeviceTable(true); }

void LiveViewControllerHD::alertViewClickedButtonAtIndex(UIAlertView* alert, int buttonIndex) {
    // The QR alerts have this screen as delegate too; their "Ok" is not an
    // answer to the reminder.
    if (!alert || alert != adReminder_.data() || buttonIndex != 1) return;
    QvApplicationPreference::sharedInstance().setShowAdReminder(false);
}

void LiveViewControllerHD::dismissAdReminder() {
    if (adReminder_) adReminder_->dismissWithClickedButtonIndex(0, true);
}

void LiveViewControllerHD::showAdBannerView(const std::shared_ptr<RunLoopTimer>& timer) {
    if (timer) timer->invalidate();
    QvApplicationPreference::sharedInstance().setHideAd(false);
}

// ---------------------------------------------------------------- the tiles' callbacks

void LiveViewControllerHD::ChannelViewControllerHDDidReceiveChannelNumber(ChannelViewControllerHD* tile, int count) {
    if (tile) dvcMgmtController_->reloadDeviceChannels(tile->deviceId(), count);
}

void LiveViewControllerHD::ChannelViewControllerHDSessionFailedForDevice(ChannelViewControllerHD*, int, int) {
    dvcMgmtController_->reloadDeviceTable(false);
}

void LiveViewControllerHD::ChannelViewControllerHDSessionClosedForDeviceNormal(ChannelViewControllerHD*, int, int) {
    if (--numOfDvcToStop_ <= 0) dvcMgmtController_->reloadDeviceTable(false);
}

void LiveViewControllerHD::ChannelViewControllerHDDeleteDeviceWithId(int deviceId) {
    chanMgmtController_->stopLiveForDevice(deviceId);
}

void LiveViewControllerHD::channelViewControllerHDDidFailedTalk(ChannelViewControllerHD*, bool failed) {
    if (!failed) return;
    std::weak_ptr<LiveViewControllerHD> weak = self();
    DispatchQueue::main()->async([weak] {
        if (auto s = weak.lock(); s && s->talkBtn) s->talkBtn->setSelected(false);
    });
}

void LiveViewControllerHD::channelViewControllerHDStop(ChannelViewControllerHD*) { unselectTalkListenRecord(); }

void LiveViewControllerHD::channelViewControllerHDDidStopRecord(ChannelViewControllerHD*, bool) {
    std::weak_ptr<LiveViewControllerHD> weak = self();
    DispatchQueue::main()->async([weak] {
        if (auto s = weak.lock(); s && s->recordBtn) s->recordBtn->setSelected(false);
    });
}

void LiveViewControllerHD::channelViewControllerHDShouldReloadButton(ChannelViewControllerHD*) {
    std::weak_ptr<LiveViewControllerHD> weak = self();
    DispatchQueue::main()->async([weak] {
        if (auto s = weak.lock()) s->dvcMgmtController_->reloadDeviceTable(false);
    });
}

// ---------------------------------------------------------------- the grid's callbacks

void LiveViewControllerHD::channelMgmtControllerTouchesBegin(ChannelMgmtControllerHD*, const UITouchSet&) {
    if (recordBtn) recordBtn->setSelected(false);
    panelSlide_.showOpenButton();
}

void LiveViewControllerHD::channelMgmtControllerTouchesEnd(ChannelMgmtControllerHD* grid, ChannelViewControllerHD* tile,
                                                           const UITouchSet&) {
    if (!tile || !grid) return;
    // The panel's sections follow the device list: look the tile's device up.
    // A tile of no device says nothing about the panel: it stays as it is.
    const auto devices = QvDeviceManager::sharedInstance().devices();
    for (size_t s = 0; s < devices.size(); ++s)
        if (devices[s] && devices[s]->deviceId == tile->deviceId()) {
            dvcMgmtController_->closeAllSesionHeadView();
            dvcMgmtController_->openSesionHeadView(static_cast<int>(s), tile->channel());
            break;
        }
    if (recordBtn) recordBtn->setSelected(tile->state() == 2);
    if (voiceBtn) voiceBtn->setSelected(tile->isStartAudio());
    if (talkBtn) talkBtn->setSelected(tile->isStartTalk());
    grid->setLayoutMode(grid->layoutMode());
}

// ---------------------------------------------------------------- side panel

bool LiveViewControllerHD::isPanelOpen() const { return panelSlide_.isPanelOpen(); }

void LiveViewControllerHD::closePanel() { panelSlide_.closePanel(); }

void LiveViewControllerHD::openPanel() { panelSlide_.openPanel(); }

void LiveViewControllerHD::slideOpenBtnToHidden() { panelSlide_.slideOpenBtnToHidden(); }

// ---------------------------------------------------------------- controls

ChannelViewControllerHD* LiveViewControllerHD::selectedTile() const {
    return chanMgmtController_->ChannelViewControllerHDAtIndex(chanMgmtController_->selectedChannelViewIndex());
}

void LiveViewControllerHD::unselectTalkListenRecord() {
    for (UIButton* b : {talkBtn.data(), voiceBtn.data(), recordBtn.data()})
        if (b) b->setSelected(false);
}

void LiveViewControllerHD::ptz(int code) {
    if (ChannelViewControllerHD* t = selectedTile()) t->ptzControl(code);
}

void LiveViewControllerHD::holdPtzControl(void (ControlStripHDDelegate::*action)()) {
    if (ptzHoldTimer_) ptzHoldTimer_->invalidate();
    (static_cast<ControlStripHDDelegate*>(this)->*action)();
    std::weak_ptr<LiveViewControllerHD> weak = self();
    ptzHoldTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(kPtzRenewInterval), true,
                                            [weak, action](RunLoopTimer&) {
                                                if (auto s = weak.lock()) (static_cast<ControlStripHDDelegate*>(s.get())->*action)();
                                            });
}

void LiveViewControllerHD::stopCtrl() {
    if (ptzHoldTimer_) {
        ptzHoldTimer_->invalidate();
        ptzHoldTimer_.reset();
    }
    ptz(0);
}

void LiveViewControllerHD::stopPtz(const std::shared_ptr<ChannelViewControllerHD>& tile) {
    if (!tile) return;
    std::weak_ptr<ChannelViewControllerHD> weak = tile;
    stopQueue_->async([weak] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // The tile's view work belongs on the main thread.
        DispatchQueue::main()->async([weak] {
            if (auto t = weak.lock()) t->ptzControl(0);
        });
    });
}

void LiveViewControllerHD::playCtrl() {
    ChannelViewControllerHD* t = selectedTile();
    if (!t) return;
    if (t->isBusy()) {
        t->stopLive();
        return;
    }
    t->setDelegate(std::static_pointer_cast<ChannelViewControllerHDDelegate>(self()));
    t->startLive(QvDeviceManager::sharedInstance().deviceWithId(t->deviceId()), t->channel());
}

void LiveViewControllerHD::voiceCtrl() {
    ChannelViewControllerHD* t = selectedTile();
    if (!t || !t->isBusy()) return;
    bool on = false;
    if (t->isStartAudio()) {
        t->stopAudio();
    } else {
        if (ChannelViewControllerHD* other = chanMgmtController_->findAudioPlayingViewControllerHD()) {
            other->stopAudio();
            isClickAudio_ = false;
            if (voiceBtn) voiceBtn->setSelected(false);
        }
        if (!t->startAudio()) return;
        on = true;
    }
    isClickAudio_ = on;
    if (voiceBtn) voiceBtn->setSelected(on);
}

void LiveViewControllerHD::talkCtrl() {
    ChannelViewControllerHD* t = selectedTile();
    if (!t || !t->isBusy()) return;
    if (t->isStartTalk()) {
        t->stopTalk();
        if (talkBtn) talkBtn->setSelected(false);
        if (t->isStartAudio() && !isClickAudio_) {
            t->stopAudio();
            if (voiceBtn) voiceBtn->setSelected(false);
        }
        return;
    }
    ChannelViewControllerHD* other = chanMgmtController_->findTalkingViewControllerHD();
    if (other) {
        other->stopTalk();
        if (talkBtn) talkBtn->setSelected(false);
    }
    t->startTalk();
    if (t->isBusy() && talkBtn) talkBtn->setSelected(true);
    if (other) {
        other->stopAudio();
        if (voiceBtn) voiceBtn->setSelected(false);
    }
    if (t->startAudio() && voiceBtn) voiceBtn->setSelected(true);
}

void LiveViewControllerHD::recordCtrl() {
    ChannelViewControllerHD* t = selectedTile();
    if (!t) return;
    if (t->state() == 2) {
        t->stopRecord();
        if (recordBtn) recordBtn->setSelected(false);
    } else if (t->state() == 1) {
        t->startRecord();
        if (recordBtn) recordBtn->setSelected(true);
    }
}

void LiveViewControllerHD::snapshotCtrl() {
    if (ChannelViewControllerHD* t = selectedTile()) t->snapshot();
}

void LiveViewControllerHD::stopAllCtrl() {
    numOfDvcToStop_ = chanMgmtController_->stopAllLive();
    dvcMgmtController_->reloadDeviceTable(false);
}

void LiveViewControllerHD::showLayoutInUse(int mode) {
    if (scrollView_) scrollView_->showLayoutInUse(mode);
}

void LiveViewControllerHD::layoutTo(int mode) {
    showLayoutInUse(mode);
    if (chanMgmtController_->layoutMode() == mode) return;
    std::weak_ptr<LiveViewControllerHD> weak = self();
    UIViewAnimation::animateWithDuration(
        kLayoutAnimation,
        [weak, mode] {
            if (auto s = weak.lock()) s->chanMgmtController_->setLayoutMode(mode);
        },
        [weak](bool) {
            if (auto s = weak.lock()) s->chanMgmtController_->openRenderSwitch();
        });
}

}  // namespace lumora
