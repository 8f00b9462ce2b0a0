#include "ui/phone/LiveViewController.h"

#include "ui/kit/UINavigationController.h"

#include <chrono>
#include <thread>

#include "app/core/ConnectionRecord.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "base/link/DataController.h"
#include "platform/Config.h"
#include "platform/runloop/Seconds.h"
#include "ui/kit/InterfaceFile.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIScreen.h"
#include "ui/common/QvNavigationController.h"
#include "ui/kit/UINavigationBar.h"
#include "ui/common/ZBarReaderViewController.h"
#include "ui/phone/ChannelMgmtController.h"
#include "ui/phone/ChannelViewController.h"
#include "ui/phone/LiveViewInterface.h"

namespace lumora {

namespace {

constexpr CGFloat kToolBarHeight = LiveToolBar::kHeight;
constexpr CGFloat kContainerHeight = LiveViewInterface::kContainerHeight;
// A held pan/tilt/zoom button renews its move this often (seconds): well
// within the second after which the session stops a move that is not renewed.
constexpr double kPtzRenewInterval = 0.5;

}  // namespace

void LiveViewController::registerInterface() {
    if (!InterfaceFile::exists(kInterfaceName)) InterfaceFile::registerFile(kInterfaceName, LiveViewInterface::build);
}

LiveViewController::LiveViewController()
    : stopQueue_(DispatchQueue::createSerial("stopqueue")) {}

LiveViewController::~LiveViewController() {
    for (auto id : observers_) NotificationCenter::defaultCenter().removeObserver(id);
    if (ptzHoldTimer_) ptzHoldTimer_->invalidate();
}

std::shared_ptr<LiveViewController> LiveViewController::self() {
    return std::static_pointer_cast<LiveViewController>(shared_from_this());
}

void LiveViewController::loadView() {
    registerInterface();
    UIView* root = InterfaceFile::load(kInterfaceName, this);
    setView(root);
    LiveViewInterface::bindOutlets(*this, root);
    deviceStrip_ = root->viewWithName<DeviceStripView>("devicesScrollView");
    channelStrip_ = root->viewWithName<ChannelStripView>("channelScrollView");
    toolBar_ = root->viewWithName<LiveToolBar>("toolBarView");
    if (deviceStrip_) deviceStrip_->onTap = [this](UIButton* b) { deviceButtonTapped(b); };
    if (channelStrip_) channelStrip_->onTap = [this](UIButton* b) { channelButtonTapped(b); };
    if (toolBar_) toolBar_->attachPanels(ptzScrollView, moreView);
}

void LiveViewController::viewDidLoad() {
    canRotate_ = true;
    UIApplication::sharedApplication().setStatusBarHidden(true, true);
    isInit_ = true;
    startShan_ = false;
    if (loadedOnce_) return;
    loadedOnce_ = true;
    poll_.preconnectAndOpenRelays();
    std::weak_ptr<LiveViewController> weak = self();
    DispatchQueue::main()->after(secondsDuration(kFirstPollDelay), [weak] {
        if (auto s = weak.lock()) s->beginsearch();
    });
}

void LiveViewController::viewWillAppear(bool) {
    if (isInit_) {
        initDisplayViews();
        isInit_ = false;
    }
    // Pushed by the start page: the back arrow, at the strips' left end,
    // leads there again.
    const bool pushed = navigationController() != nullptr;
    if (backButton) backButton->setHidden(!pushed);
    if (leftButtonView) {
        CGRect f = leftButtonView->frame();
        f.size.width = pushed && backButton ? backButton->frame().size.width : 0;
        leftButtonView->setFrame(f);
    }
    layoutSubviewsForOrientationChange();
}

void LiveViewController::viewDidAppear(bool) {
    UIApplication::sharedApplication().setIdleTimerDisabled(true);
    startaaa();
}

// ---------------------------------------------------------------- polling

void LiveViewController::beginsearch() { beginTimmer(); }

void LiveViewController::beginTimmer() {
    // A search now and every 60 s; the poll lives as long as the screen.
    poll_.beginsearch(std::static_pointer_cast<AllSearchDelegate>(self()), kPollInterval);
}

void LiveViewController::searchAllDeviceState() {
    poll_.searchAllDeviceState(std::static_pointer_cast<AllSearchDelegate>(self()));
}

void LiveViewController::AllSearchdidEnd() {
    std::weak_ptr<LiveViewController> weak = self();
    DispatchQueue::main()->async([weak] {
        if (auto s = weak.lock()) s->reloadDeviceButtons();
    });
}

void LiveViewController::didpreCondvid(int32_t deviceId, bool ret) {
    if (auto d = QvDeviceManager::sharedInstance().deviceWithId(deviceId)) d->isOnLine = ret;
    if (RunLoop::isMainThread()) {
        closeshanwithid(deviceId);
        return;
    }
    std::weak_ptr<LiveViewController> weak = self();
    DispatchQueue::main()->async([weak, deviceId] {
        if (auto s = weak.lock()) s->closeshanwithid(deviceId);
    });
}

// ---------------------------------------------------------------- first display

void LiveViewController::initDisplayViews() {
    UIView* v = view();
    const CGRect b = v->bounds();
    const CGFloat C = scrollContainerView ? scrollContainerView->frame().size.height : kContainerHeight;
    const CGFloat T = toolBarView ? toolBarView->frame().size.height : kToolBarHeight;
    cmcController_ = std::make_shared<ChannelMgmtController>();
    const CGRect gridFrame{{0, 0}, {b.size.width, b.size.height - C - T}};
    UIView* grid = cmcController_->view();
    grid->setFrame(gridFrame);
    v->insertSubviewAtIndex(grid, 0);
    addChildViewController(cmcController_);
    cmcController_->setIsLandscapeLayout(false);
    cmcViewFrame_ = gridFrame;
    paneActions_.attach(cmcController_, toolBar_);

    auto bkg = UIImage::imageNamed("toolbar_bkg.png");
    if (toolPanel) {
        toolPanel->setFrame(CGRect{{44, UIScreen::mainScreen().bounds().size.height}, {275, 79}});
        toolPanel->setBackgroundColor(UIColor::colorWithPatternImage(bkg));
    }
    if (toolBar_) toolBar_->showBackgrounds();
    reloadDeviceButtons();

    std::weak_ptr<LiveViewController> weak = self();
    auto& nc = NotificationCenter::defaultCenter();
    observers_.push_back(nc.addObserver(ChannelViewSelectionChangeNotification, nullptr, [weak](const Notification& n) {
        auto s = weak.lock();
        const int* id = std::any_cast<int>(&n.userInfo);
        if (s) s->aChannelViewSelected(id ? *id : -1);
    }));
    observers_.push_back(nc.addObserver(ChannelSessionAutoCloseNotification, nullptr, [weak](const Notification& n) {
        auto s = weak.lock();
        const auto* c = std::any_cast<ChannelSessionAutoClose>(&n.userInfo);
        if (s && c) s->aChannelSessionAutoClosed(c->DeviceId, c->Channel);
    }));

    startAutoPlay();
}

void LiveViewController::startAutoPlay() {
    auto& prefs = QvApplicationPreference::sharedInstance();
    if (!prefs.autoPlay() || !cmcController_) return;
    std::shared_ptr<Device> last;
    bool any = false;
    const auto history = prefs.connectionHistory();
    for (size_t i = 0; i < history.size(); ++i) {
        const ConnectionRecord& r = history[i];
        if (r.deviceId <= 0 || r.channel < 0) continue;
        any = true;
        last = QvDeviceManager::sharedInstance().deviceWithId(r.deviceId);
        auto pane = cmcController_->sharedChannelViewControllerAtIndex(static_cast<int>(i));
        if (!pane) continue;
        pane->setDelegate(std::static_pointer_cast<ChannelViewControllerDelegate>(self()));
        pane->startLive(last, r.channel);
    }
    if (any && last)
        if (ZButton* b = deviceButtonWithTag(last->deviceId)) deviceButtonTapped(b);
}

// ---------------------------------------------------------------- start-up blink

void LiveViewController::startaaa() {
    if (startShan_) return;
    startShan_ = true;
    std::weak_ptr<LiveViewController> weak = self();
    DispatchQueue::main()->async([weak] {
        auto s = weak.lock();
        if (!s || !s->deviceStrip_) return;
        const double after = QvDeviceManager::sharedInstance().countOfDevices() > 10 ? 30.0 : 20.0;
        s->deviceStrip_->startBlinking(kBlinkInterval, after, [weak] {
            if (auto t = weak.lock()) t->closeshan();
        });
    });
}

void LiveViewController::closeshan() {
    if (deviceStrip_) deviceStrip_->stopBlinking();
    reloadDeviceButtons();
}

// ---------------------------------------------------------------- strips

void LiveViewController::reloadDeviceButtons() {
    if (deviceStrip_) deviceStrip_->reload(std::static_pointer_cast<preConDelegate>(self()));
}

void LiveViewController::reloadChannelButtons(int deviceId, int channelNumber) {
    if (!channelStrip_) return;
    channelStrip_->reload(deviceId, channelNumber, [this, deviceId](int channel) {
        return cmcController_ && cmcController_->findWorkingChannelViewControllerForDevice(deviceId, channel);
    });
}

void LiveViewController::deviceButtonTapped(UIButton* button) {
    if (!button) return;
    if (deviceStrip_) deviceStrip_->select(nullptr);
    closeMoreView();
    auto device = QvDeviceManager::sharedInstance().deviceWithId(button->tag());
    if (deviceStrip_) deviceStrip_->select(button);
    else button->setSelected(true);
    if (!device) return;
    std::weak_ptr<LiveViewController> weak = self();
    const int id = device->deviceId, n = device->channelNum.load() == 0 ? 1 : device->channelNum.load();
    DispatchQueue::main()->async([weak, id, n] {
        auto s = weak.lock();
        // The strip always shows the device selected when it is rebuilt.
        if (s && s->selectedDeviceId() == id) s->reloadChannelButtons(id, n);
    });
}

void LiveViewController::channelButtonTapped(UIButton* button) {
    if (!button || !cmcController_) return;
    const int selectedId = selectedDeviceId();
    const int ch = ChannelStripView::channelOf(*button);
    if (button->isSelected()) {
        button->setSelected(false);
        ChannelViewController* pane = cmcController_->findWorkingChannelViewControllerForDevice(selectedId, ch);
        if (!pane) return;
        pane->stopLive();
        if (toolBar_) toolBar_->clearMarks();
        return;
    }
    button->setSelected(true);
    ChannelViewController* pane = cmcController_->findAvailableChannelViewController();
    if (!pane) return;
    const int index = cmcController_->indexOfChannelViewController(pane);
    auto shared = cmcController_->sharedChannelViewControllerAtIndex(index);
    pane->setDelegate(std::static_pointer_cast<ChannelViewControllerDelegate>(self()));
    if (pane->deviceId() == selectedId)
        if (UIButton* old = channelStrip_ ? channelStrip_->buttonForChannel(pane->channel()) : nullptr;
            old && old != button)
            old->setSelected(false);
    if (pane->isBusy()) pane->stopwithotherStart();
    auto device = QvDeviceManager::sharedInstance().deviceWithId(selectedId);
    pane->startLive(device, ch);
    auto& history = QvApplicationPreference::sharedInstance().connectionHistory();
    if (device && index >= 0 && static_cast<size_t>(index) < history.size()) {
        history[index].deviceId = device->deviceId;
        history[index].channel = ch;
    }
}

// ---------------------------------------------------------------- calls from the application delegate

void LiveViewController::playDevice(const std::shared_ptr<Device>& device, int32_t channel) {
    if (!device || !cmcController_) return;
    ChannelViewController* pane0 = cmcController_->channelViewControllerAtIndex(0);
    if (pane0) {
        pane0->stopLive();
        pane0->startLive(device, channel);
    }
    if (ZButton* b = deviceButtonWithTag(device->deviceId)) deviceButtonTapped(b);
}

void LiveViewController::stopAll() {
    if (cmcController_) cmcController_->stopAllLive();
    if (channelStrip_) channelStrip_->deselectAll();
}

// ---------------------------------------------------------------- pane callbacks

void LiveViewController::channelViewControllerDidReceiveChannelNumber(ChannelViewController* pane, int n) {
    if (pane && selectedDeviceButton() && pane->deviceId() == selectedDeviceId())
        reloadChannelButtons(pane->deviceId(), n);
}

void LiveViewController::channelViewControllerSessionFailedForDevice(ChannelViewController*, int deviceId,
                                                                     int channel) {
    if (selectedDeviceButton() && selectedDeviceId() == deviceId)
        if (UIButton* b = channelStrip_ ? channelStrip_->buttonForChannel(channel) : nullptr) b->setSelected(false);
}

void LiveViewController::channelViewControllerDidStop(ChannelViewController*, bool stopped) {
    if (!stopped) return;
    std::weak_ptr<LiveViewController> weak = self();
    DispatchQueue::main()->async([weak] {
        auto s = weak.lock();
        if (s && s->toolBar_) s->toolBar_->clearMarks();
    });
}

void LiveViewController::channelViewControllerDidFailedTalk(ChannelViewController*, bool failed) {
    std::weak_ptr<LiveViewController> weak = self();
    DispatchQueue::main()->async([weak, failed] {
        auto s = weak.lock();
        if (s && s->toolBar_) s->toolBar_->markTalking(!failed);
    });
}

void LiveViewController::channelViewControllerShouldReloadButton(ChannelViewController*, bool reloadchannel) {
    std::weak_ptr<LiveViewController> weak = self();
    DispatchQueue::main()->async([weak, reloadchannel] {
        auto s = weak.lock();
        if (!s) return;
        s->reloadDeviceButtons();
        if (reloadchannel && s->selectedDeviceButton()) s->deviceButtonTapped(s->selectedDeviceButton());
        // A pane that plays again (restarted by a tap on it) marks its channel.
        else if (s->channelStrip_ && s->channelStrip_->deviceId() != -1)
            s->reloadChannelButtons(s->channelStrip_->deviceId(), static_cast<int>(s->channelButtons().size()));
    });
}

// ---------------------------------------------------------------- grid notifications

void LiveViewController::aChannelSessionAutoClosed(int deviceId, int channel) {
    if (selectedDeviceButton() && selectedDeviceId() == deviceId)
        if (UIButton* b = channelStrip_ ? channelStrip_->buttonForChannel(channel) : nullptr) b->setSelected(false);
}

void LiveViewController::aChannelViewSelected(int id) {
    closeMoreView();
    ChannelViewController* pane = cmcController_ ? cmcController_->selectedChannelViewController() : nullptr;
    if (!pane) return;
    const int c = pane->channel();
    if (toolBar_) {
        toolBar_->markRecording(pane->state() == 2);
        toolBar_->markListening(pane->isStartAudio());
        toolBar_->markTalking(pane->isStartTalk());
    }
    if (selectedDeviceButton() && id >= 0 && id != selectedDeviceId()) {
        if (ZButton* b = deviceButtonWithTag(id)) {
            deviceButtonTapped(b);
            scrollDeviceStripToSelected();
        }
        if (pane->state() != 0) {
            std::weak_ptr<LiveViewController> weak = self();
            DispatchQueue::main()->after(secondsDuration(0.1), [weak, c] {
                if (auto s = weak.lock()) s->selectChannelBtn(c);
            });
        }
        return;
    }
    scrollDeviceStripToSelected();
    if (pane->state() != 0) selectChannelBtn(c);
}

// ---------------------------------------------------------------- orientation

bool LiveViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) {
    if (!canRotate_) return false;
    return o == UIInterfaceOrientation::Portrait || o == UIInterfaceOrientation::LandscapeLeft ||
           o == UIInterfaceOrientation::LandscapeRight;
}

void LiveViewController::didRotateFromInterfaceOrientation(UIInterfaceOrientation) {
    layoutSubviewsForOrientationChange();
}

void LiveViewController::layoutSubviewsForOrientationChange() {
    const UIInterfaceOrientation o = interfaceOrientation();
    const bool landscape = o == UIInterfaceOrientation::LandscapeLeft || o == UIInterfaceOrientation::LandscapeRight;
    if (o == UIInterfaceOrientation::PortraitUpsideDown) return;
    LiveViewInterface::arrange(*this, landscape);
    if (!cmcController_) return;
    cmcController_->view()->setFrame(landscape ? view()->bounds() : cmcViewFrame_);
    cmcController_->setIsLandscapeLayout(landscape);
}

void LiveViewController::plugLayout() { LiveViewInterface::plugLayout(*this); }

// ---------------------------------------------------------------- tool bar

void LiveViewController::liveToolBarDidTap(Tool tool, UIButton* sender) {
    switch (tool) {
    case Tool::Ptz: showPtzPanel(sender); break;
    case Tool::Listen: audioController(); break;
    case Tool::Talk: talkController(); break;
    case Tool::Record: takeRecord(); break;
    case Tool::Snapshot: snapshot(); break;
    case Tool::More: showMoreView(); break;
    case Tool::Layout: toggleLayout(); break;
    case Tool::Settings: showSettingsView(); break;
    case Tool::About: showHelp(); break;
    case Tool::Files: showFileMgmtView(); break;
    case Tool::Remote: remoteRecordController(); break;
    // The device list: there the stored devices are viewed, edited and
    // deleted, and its add button brings up the ways of adding one (addOneDevice).
    case Tool::Devices: showDeviceList(); break;
    }
}

void LiveViewController::liveToolBarPtzPressed(int code) {
    using L = LiveViewController;
    static const std::pair<int, void (L::*)()> moves[] = {
        {5, &L::zoomIn},         {6, &L::zoomOut},      {7, &L::focusIncrease}, {8, &L::focusDecrease},
        {9, &L::ptzMoveUp},      {10, &L::ptzMoveDown}, {11, &L::ptzMoveLeft},  {12, &L::ptzMoveRight},
        {13, &L::irisIncrease},  {14, &L::irisDecrease}};
    for (const auto& [c, action] : moves)
        if (c == code) return holdPtz(action);
}

void LiveViewController::holdPtz(void (LiveViewController::*action)()) {
    if (ptzHoldTimer_) ptzHoldTimer_->invalidate();
    (this->*action)();
    std::weak_ptr<LiveViewController> weak = self();
    ptzHoldTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(kPtzRenewInterval), true,
                                            [weak, action](RunLoopTimer&) {
                                                if (auto s = weak.lock()) ((*s).*action)();
                                            });
}

void LiveViewController::stopAction() {
    if (ptzHoldTimer_) {
        ptzHoldTimer_->invalidate();
        ptzHoldTimer_.reset();
    }
    std::weak_ptr<LiveViewController> weak = self();
    // The stop follows the move by 50 ms on "stopqueue" and goes to the pane selected then.
    stopQueue_->async([weak] {
        std::this_thread::sleep_for(Config::shared().scaled(std::chrono::milliseconds(50)));
        DispatchQueue::main()->async([weak] {
            auto s = weak.lock();
            if (s) s->ptz(0);
        });
    });
}

bool LiveViewController::isMoreViewOpen() const { return toolBar_ && toolBar_->isMorePanelOpen(); }

void LiveViewController::closeMoreView() {
    if (toolBar_) toolBar_->closePanels();
}

void LiveViewController::showPtzPanel(UIButton* sender) {
    if (toolBar_) toolBar_->togglePtzStrip(sender);
}

void LiveViewController::showMoreView() {
    if (toolBar_) toolBar_->toggleMorePanel();
}

void LiveViewController::toggleSwitchViewDisplay(UIButton* sender) {
    LiveViewInterface::slideContainer(*this, sender);
}

void LiveViewController::toggleLayout() {
    if (!cmcController_) return;
    cmcController_->setChannelViewNumber(cmcController_->channelViewNumber() == 1 ? 4 : 1);
    cmcController_->setIsLandscapeLayout(cmcController_->isLandscapeLayout());
}

void LiveViewController::backAction() {
    stopAll();
    UINavigationController* nav = navigationController();
    if (!nav) return;
    nav->setNavigationBarHidden(false);
    nav->popViewControllerAnimated(true);
}

// ---------------------------------------------------------------- screens opened from here

LiveViewController::FileMgmtFactory& LiveViewController::fileMgmtFactory() {
    static FileMgmtFactory factory = [](LiveViewController& opener) -> std::shared_ptr<UIViewController> {
        auto browser = std::make_shared<FileMgmtController>();
        browser->setDelegate(&opener);
        return browser;
    };
    return factory;
}

void LiveViewController::pauseChannelViews() {
    orientationBeforeOpenModelView_ = interfaceOrientation();
    if (cmcController_) cmcController_->enableChannelViewRendering(false);
}

void LiveViewController::resumeChannelViews() {
    if (interfaceOrientation() != orientationBeforeOpenModelView_) layoutSubviewsForOrientationChange();
    if (cmcController_) cmcController_->enableChannelViewRendering(true);
    if (presentedViewController()) dismissViewControllerAnimated(true);
}

namespace {
std::shared_ptr<UINavigationController> blackNavigation(std::shared_ptr<UINavigationController> nav) {
    if (UINavigationBar* bar = nav->navigationBar()) bar->setBarStyle(UIBarStyle::Black);
    return nav;
}
}  // namespace

void LiveViewController::showDeviceList() {
    pauseChannelViews();
    auto list = std::make_shared<DeviceMgmtController>(0);
    list->delegate = this;
    presentViewController(list, true);
}

void LiveViewController::remoteRecordController() {
    auto list = std::make_shared<DeviceMgmtController>(1);
    list->delegate = this;
    presentViewController(list, true);
}

void LiveViewController::openEditor(const std::string* uid) {
    pauseChannelViews();
    auto editor = std::make_shared<DeviceDetailViewController>();
    editor->delegate = this;
    if (uid) editor->setDeviceUID(*uid);
    editor->setOperation(0);
    presentViewController(blackNavigation(std::make_shared<QvNavigationController>(editor)), true);
}

bool LiveViewController::addDeviceFromTyping() {
    openEditor(nullptr);
    return true;
}

bool LiveViewController::addDeviceFromUID(const std::string& uid, const std::string&) {
    openEditor(&uid);
    return true;
}

void LiveViewController::showFileMgmtView() {
    auto& factory = fileMgmtFactory();
    if (!factory) return;
    auto browser = factory(*this);
    if (!browser) return;
    pauseChannelViews();
    auto nav = blackNavigation(std::make_shared<QvNavigationController>(browser));
    presentViewController(nav, true);
}

void LiveViewController::showSettingsView() {
    pauseChannelViews();
    auto config = std::make_shared<ConfigViewController>();
    config->delegate = this;
    presentViewController(blackNavigation(std::make_shared<UINavigationController>(config)), true);
}

void LiveViewController::showHelp() {
    pauseChannelViews();
    auto help = std::make_shared<HelpAndAboutViewController>();
    help->delegate = this;
    presentViewController(blackNavigation(std::make_shared<UINavigationController>(help)), true);
}

bool LiveViewController::addDeviceWithLANScanning() {
    if (!dsvc_) {
        dsvc_ = std::make_shared<DeviceSearchingViewController>();
        dsvc_->delegate = std::static_pointer_cast<DeviceSearchingViewControllerDelegate>(self());
    }
    dsvc_->isAdding = false;
    presentViewController(dsvc_, true);
    return true;
}

bool LiveViewController::presentZBarReaderWindow(const std::shared_ptr<ZBarReaderViewController>& reader) {
    if (!reader) return false;
    presentViewController(reader, true);
    return true;
}

bool LiveViewController::addDeviceWithInfoFromZBarCode() {
    reloadDeviceButtons();
    return true;
}

void LiveViewController::addMultiDevicesFromMulticaseSearching() { reloadDeviceButtons(); }

void LiveViewController::addDeviceItemFromLanSearch(const std::string& uid) {
    // The search screen is still up: the editor takes its place.
    if (presentedViewController()) dismissViewControllerAnimated(false);
    addDeviceFromUID(uid, "");
}

void LiveViewController::addOneDevice() {
    davc_ = std::make_shared<UIDeviceAddViewController>();
    davc_->delegate = std::static_pointer_cast<UIDeviceAddViewControllerDelegate>(self());
    if (UIView* v = view()) v->addSubview(davc_->view());
    davc_->showView();
}

void LiveViewController::fileMgmtControllerDidClose(FileMgmtController*) { resumeChannelViews(); }
void LiveViewController::configViewControllerDidClose(UIViewController*) { resumeChannelViews(); }
void LiveViewController::helpControllerDidClose(HelpAndAboutViewController*) { resumeChannelViews(); }
void LiveViewController::deviceDetailViewControllerDidCancel(DeviceDetailViewController*) { resumeChannelViews(); }

void LiveViewController::deviceMgmtControllerAddDevice(DeviceMgmtController*) {
    // The list paused the panes; the chooser that takes its place does not
    // cover them, so they draw again (a cancelled chooser leaves them live).
    if (cmcController_) cmcController_->enableChannelViewRendering(true);
    dismissViewControllerAnimated(false);
    addOneDevice();
}

void LiveViewController::deviceMgmtControllerDidClose(DeviceMgmtController*) {
    reloadDeviceButtons();
    auto device = selectedDeviceButton() ? QvDeviceManager::sharedInstance().deviceWithId(selectedDeviceId()) : nullptr;
    if (selectedDeviceButton() && device) {
        if (device->channelNum.load() != static_cast<int>(channelButtons().size()))
            reloadChannelButtons(device->deviceId, device->channelNum.load());
    } else if (!selectedDeviceButton()) {
        reloadChannelButtons(-1, 0);
    }
    resumeChannelViews();
}

void LiveViewController::deviceDetailViewControllerDidAddDevice(DeviceDetailViewController*,
                                                                const std::shared_ptr<Device>& device) {
    if (!device) return;
    reloadDeviceButtons();
    if (deviceStrip_) deviceStrip_->blinkDevice(*device);
    device->startPreConnection();
    searchAllDeviceState();
    resumeChannelViews();
}

void LiveViewController::deviceDetailViewControllerDidEditDevice(DeviceDetailViewController*,
                                                                 const std::shared_ptr<Device>& device) {
    if (!device) return;
    reloadDeviceButtons();
    if (deviceStrip_) deviceStrip_->blinkDevice(*device);
    device->startPreConnection();
    searchAllDeviceState();
}

void LiveViewController::configViewControllerDidCommit(UIViewController*) {
    UIView* v = view();
    if (v && cmcController_) {
        const CGFloat W = v->bounds().size.width, H = v->bounds().size.height;
        const CGFloat C = scrollContainerView ? scrollContainerView->frame().size.height : 0;
        const CGFloat T = toolBarView ? toolBarView->frame().size.height : 0;
        const int style = QvApplicationPreference::sharedInstance().layoutStyle();
        const unsigned want = style == 1 ? 4u : style == 0 ? 1u : 0u;
        if (want && cmcController_->channelViewNumber() != want) {
            cmcViewFrame_ = CGRect{{0, 0}, {W, H - C - T}};
            if (UIView* grid = cmcController_->view()) grid->setFrame(cmcViewFrame_);
            cmcController_->setChannelViewNumber(want);
        }
    }
    layoutSubviewsForOrientationChange();
    if (cmcController_) cmcController_->enableChannelViewRendering(true);
    if (presentedViewController()) dismissViewControllerAnimated(true);
}

}  // namespace lumora
