#include "ui/phone/LiveViewController.h"

#include "ui/kit/UINavigationController.h"

#include <chrono>
#include <cmath>
#include <thread>

#include "app/core/ConnectionRecord.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "base/link/DataController.h"
#include "platform/Config.h"
#include "platform/runloop/Seconds.h"
#include "ui/kit/CGContext.h"
#include "ui/kit/InterfaceFile.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UIScreen.h"
#include "ui/common/QvNavigationController.h"
#include "ui/kit/UINavigationBar.h"
#include "ui/kit/UIViewAnimation.h"
#include "ui/common/ZBarReaderViewController.h"
#include "ui/phone/ChannelMgmtController.h"
#include "ui/phone/ChannelViewController.h"
#include "ui/kit/ToggleLook.h"

namespace lumora {

namespace {

constexpr CGFloat kToolBarHeight = 43;
constexpr CGFloat kContainerHeight = 84;
constexpr int kChannelTagBase = 300;
// A held pan/tilt/zoom button renews its move this often (seconds): well
// within the second after which the session stops a move that is not renewed.
constexpr double kPtzRenewInterval = 0.5;
const CGRect kMoreOpen{{0, 42}, {320, 42}};
const CGRect kMoreClosed{{0, 84}, {320, 42}};

UIButton* toolButton(UIView* parent, const std::string& name, const std::string& image, CGRect frame) {
    auto* b = new UIButton(frame);
    auto img = UIImage::imageNamed(image);
    b->setImage(img, UIControlStateNormal);
    setToggleOnLook(b, toggleOnAccent());
    setViewName(b, name);
    parent->addSubview(b);
    return b;
}

template <class T>
T* named(UIView* root, const std::string& name) {
    return dynamic_cast<T*>(root->viewWithName(name));
}

// The interface file: the views with their outlet names, the tool actions wired to the owner.
UIView* buildLiveView(void* owner) {
    auto* lvc = static_cast<LiveViewController*>(owner);
    const CGRect screen = UIScreen::mainScreen().bounds();
    const CGFloat W = screen.size.width, H = screen.size.height;
    auto* root = new UIView(CGRect{{0, 0}, {W, H}});
    root->setBackgroundColor(UIColor::blackColor());
    setViewName(root, "LiveViewController");

    auto* container = new UIView(CGRect{{0, H - kToolBarHeight - kContainerHeight}, {W, kContainerHeight}});
    setViewName(container, "scrollContainerView");
    root->addSubview(container);
    auto* devices = new UIScrollView(CGRect{{0, 0}, {W, 42}});
    setViewName(devices, "devicesScrollView");
    container->addSubview(devices);
    auto* channels = new UIScrollView(CGRect{{0, 42}, {W, 42}});
    setViewName(channels, "channelScrollView");
    container->addSubview(channels);
    auto* more = new UIView(kMoreClosed);
    more->setBackgroundColor(UIColor::colorWithRed(0.17, 0.18, 0.21, 1));
    setViewName(more, "moreView");
    container->addSubview(more);
    const char* moreButtons[][2] = {{"settingButton", "setting.png"}, {"abtButton", "about.png"},
                                    {"fileButton", "media.png"},     {"remoteButton", "remote.png"},
                                    {"addButon", "dvcadd.png"},        {"layoutButton", "4viewmode.png"}};
    for (int i = 0; i < 6; ++i) toolButton(more, moreButtons[i][0], moreButtons[i][1], CGRect{{6 + 52.0 * i, 1}, {40, 40}});

    auto* left = new UIView(CGRect{{0, H - kToolBarHeight - kContainerHeight}, {0, kContainerHeight}});
    setViewName(left, "leftButtonView");
    root->addSubview(left);
    toolButton(left, "backButton", "leftarrow.png", CGRect{{0, 12}, {24, 60}})->setHidden(true);
    auto* right = new UIView(CGRect{{W - 44, 0}, {44, 44}});
    setViewName(right, "rightButtonView");
    right->setHidden(true);
    root->addSubview(right);

    auto* ptzStrip = new UIScrollView(CGRect{{0, H - kToolBarHeight - 43}, {W, 43}});
    setViewName(ptzStrip, "ptzScrollView");
    root->addSubview(ptzStrip);
    struct Ptz {
        const char* name;
        const char* image;
        void (LiveViewController::*action)();
    };
    const Ptz ptzButtons[] = {
        {"ptzUp", "up.png", &LiveViewController::ptzMoveUp},
        {"ptzDown", "down.png", &LiveViewController::ptzMoveDown},
        {"ptzLeft", "left.png", &LiveViewController::ptzMoveLeft},
        {"ptzRight", "right.png", &LiveViewController::ptzMoveRight},
        {"zoomIn", "zoomdown.png", &LiveViewController::zoomIn},
        {"zoomOut", "zoomup.png", &LiveViewController::zoomOut},
        {"focusIncrease", "tup.png", &LiveViewController::focusIncrease},
        {"focusDecrease", "tdown.png", &LiveViewController::focusDecrease},
        {"irisIncrease", "iup.png", &LiveViewController::irisIncrease},
        {"irisDecrease", "idown.png", &LiveViewController::irisDecrease},
    };
    for (int i = 0; i < 10; ++i) {
        UIButton* b = toolButton(ptzStrip, ptzButtons[i].name, ptzButtons[i].image, CGRect{{4 + 53.0 * i, 0}, {44, 43}});
        auto action = ptzButtons[i].action;
        b->addTarget(lvc, [lvc, action](UIControl*, UIEvent*) { lvc->holdPtz(action); }, UIControlEventTouchDown);
        b->addTarget(lvc, [lvc](UIControl*, UIEvent*) { lvc->stopAction(); },
                     UIControlEventTouchUpInside | UIControlEventTouchUpOutside | UIControlEventTouchCancel);
    }

    auto* toolBar = new UIScrollView(CGRect{{0, H - kToolBarHeight}, {W, kToolBarHeight}});
    setViewName(toolBar, "toolBarView");
    root->addSubview(toolBar);
    const char* tools[][2] = {{"ptzbtn", "ptz.png"},       {"voiceButton", "voice.png"},
                              {"talkButton", "talk.png"},  {"recordButton", "record.png"},
                              {"snapshotButton", "snapshot.png"}, {"moreButon", "more.png"}};
    for (int i = 0; i < 6; ++i) toolButton(toolBar, tools[i][0], tools[i][1], CGRect{{6 + 52.0 * i, 0}, {44, 43}});
    // Slides the strip container sideways (shown while the container is wider than the screen).
    toolButton(root, "switchButton", "rightarrow.png", CGRect{{W - 24, H - kToolBarHeight - kContainerHeight}, {24, 42}})
        ->setHidden(true);

    auto* panel = new FloatingPanelView(CGRect{{44, H}, {275, 79}});
    setViewName(panel, "toolPanel");
    root->addSubview(panel);

    auto wire = [&](const char* name, unsigned events, std::function<void(UIButton*)> f) {
        if (auto* b = named<UIButton>(root, name))
            b->addTarget(lvc, [f](UIControl* c, UIEvent*) { f(static_cast<UIButton*>(c)); }, events);
    };
    setToggleOnLook(named<UIButton>(root, "recordButton"), recordingAccent());
    wire("ptzbtn", UIControlEventTouchUpInside, [lvc](UIButton* b) { lvc->showPtzPanel(b); });
    wire("voiceButton", UIControlEventTouchUpInside, [lvc](UIButton*) { lvc->audioController(); });
    wire("talkButton", UIControlEventTouchUpInside, [lvc](UIButton*) { lvc->talkController(); });
    wire("recordButton", UIControlEventTouchUpInside, [lvc](UIButton*) { lvc->takeRecord(); });
    wire("snapshotButton", UIControlEventTouchUpInside, [lvc](UIButton*) { lvc->snapshot(); });
    wire("moreButon", UIControlEventTouchUpInside, [lvc](UIButton*) { lvc->showMoreView(); });
    wire("switchButton", UIControlEventTouchUpInside, [lvc](UIButton* b) { lvc->toggleSwitchViewDisplay(b); });
    wire("layoutButton", UIControlEventTouchUpInside, [lvc](UIButton*) { lvc->toggleLayout(); });
    wire("settingButton", UIControlEventTouchUpInside, [lvc](UIButton*) { lvc->showSettingsView(); });
    wire("abtButton", UIControlEventTouchUpInside, [lvc](UIButton*) { lvc->showHelp(); });
    wire("fileButton", UIControlEventTouchUpInside, [lvc](UIButton*) { lvc->showFileMgmtView(); });
    wire("remoteButton", UIControlEventTouchUpInside, [lvc](UIButton*) { lvc->remoteRecordController(); });
    // The device button of the more panel opens the device list: there the
    // stored devices are viewed, edited and deleted, and its add button
    // brings up the ways of adding one (addOneDevice).
    wire("addButon", UIControlEventTouchUpInside, [lvc](UIButton*) { lvc->showDeviceList(); });
    wire("backButton", UIControlEventTouchUpInside, [lvc](UIButton*) { lvc->backAction(); });
    return root;
}

}  // namespace

void LiveViewController::registerInterface() {
    if (!InterfaceFile::exists(kInterfaceName)) InterfaceFile::registerFile(kInterfaceName, buildLiveView);
}

LiveViewController::LiveViewController()
    : stopQueue_(DispatchQueue::createSerial("stopqueue")) {}

LiveViewController::~LiveViewController() {
    for (auto id : observers_) NotificationCenter::defaultCenter().removeObserver(id);
    for (auto* t : {&shanTimer_, &closeShanTimer_, &ptzHoldTimer_})
        if (*t) (*t)->invalidate();
}

std::shared_ptr<LiveViewController> LiveViewController::self() {
    return std::static_pointer_cast<LiveViewController>(shared_from_this());
}

void LiveViewController::loadView() {
    registerInterface();
    UIView* root = InterfaceFile::load(kInterfaceName, this);
    setView(root);
    toolPanel = named<FloatingPanelView>(root, "toolPanel");
    toolBarView = named<UIScrollView>(root, "toolBarView");
    devicesScrollView = named<UIScrollView>(root, "devicesScrollView");
    channelScrollView = named<UIScrollView>(root, "channelScrollView");
    ptzScrollView = named<UIScrollView>(root, "ptzScrollView");
    scrollContainerView = named<UIView>(root, "scrollContainerView");
    leftButtonView = named<UIView>(root, "leftButtonView");
    rightButtonView = named<UIView>(root, "rightButtonView");
    moreView = named<UIView>(root, "moreView");
    backButton = named<UIButton>(root, "backButton");
    settingButton = named<UIButton>(root, "settingButton");
    abtButton = named<UIButton>(root, "abtButton");
    fileButton = named<UIButton>(root, "fileButton");
    remoteButton = named<UIButton>(root, "remoteButton");
    addButon = named<UIButton>(root, "addButon");
    moreButon = named<UIButton>(root, "moreButon");
    ptzbtn = named<UIButton>(root, "ptzbtn");
    recordButton = named<UIButton>(root, "recordButton");
    voiceButton = named<UIButton>(root, "voiceButton");
    talkButton = named<UIButton>(root, "talkButton");
    snapshotButton = named<UIButton>(root, "snapshotButton");
    switchButton = named<UIButton>(root, "switchButton");
    layoutButton = named<UIButton>(root, "layoutButton");
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

    auto bkg = UIImage::imageNamed("toolbar_bkg.png");
    if (toolPanel) {
        toolPanel->setFrame(CGRect{{44, UIScreen::mainScreen().bounds().size.height}, {275, 79}});
        toolPanel->setBackgroundColor(UIColor::colorWithPatternImage(bkg));
    }
    for (UIScrollView* s : {toolBarView.data(), ptzScrollView.data()}) {
        if (!s) continue;
        auto* iv = new UIImageView(bkg);
        iv->setFrame(CGRect{{0, 0}, {530, 43}});
        s->insertSubviewAtIndex(iv, 0);
    }
    if (toolBarView) toolBarView->setContentSize(CGSize{320, 0});
    if (ptzScrollView) {
        ptzScrollView->setContentSize(CGSize{530, 0});
        ptzScrollView->setHidden(true);
    }
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
        if (!s) return;
        if (s->shanTimer_) s->shanTimer_->invalidate();
        if (s->closeShanTimer_) s->closeShanTimer_->invalidate();
        s->shanTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(kBlinkInterval), true, [weak](RunLoopTimer&) {
            if (auto t = weak.lock()) t->shanyishan();
        });
        const double after = QvDeviceManager::sharedInstance().countOfDevices() > 10 ? 30.0 : 20.0;
        s->closeShanTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(after), false, [weak](RunLoopTimer&) {
            if (auto t = weak.lock()) t->closeshan();
        });
    });
}

void LiveViewController::shanyishan() {
    auto devices = QvDeviceManager::sharedInstance().devices();
    for (size_t i = 0; i < deviceButtons_.size() && i < devices.size(); ++i) {
        ZButton* b = deviceButtons_[i].data();
        Device& d = *devices[i];
        if (!b) continue;
        const bool multi = d.channelNum.load() >= 2;
        if (!d.isShan.load()) {
            b->setBackgroundImage(UIImage::imageNamed(multi ? "device.png" : "deviceIpc.png"), UIControlStateNormal);
            d.isShan = true;
        } else {
            b->setBackgroundImage(UIImage::imageNamed(multi ? "deviceonline.png" : "deviceipconline.png"),
                                  UIControlStateNormal);
            d.isShan = false;
        }
    }
}

void LiveViewController::closeshan() {
    if (shanTimer_) shanTimer_->invalidate();
    shanTimer_.reset();
    closeShanTimer_.reset();
    reloadDeviceButtons();
}

void LiveViewController::closeshanwithid(int deviceId) {
    ZButton* b = deviceButtonWithTag(deviceId);
    auto d = QvDeviceManager::sharedInstance().deviceWithId(deviceId);
    if (!b || !d) return;
    d->isStartPreCon = true;
    b->stopActionwithImage(normalImage(*d));
    b->setTitle(d->name.value(), UIControlStateNormal);
    b->setBackgroundImage(selectedImage(*d), UIControlStateSelected);
}

// ---------------------------------------------------------------- strips

std::shared_ptr<UIImage> LiveViewController::normalImage(const Device& d) {
    const bool multi = d.channelNum.load() >= 2, online = d.isOnLine.load();
    if (multi) return UIImage::imageNamed(online ? "deviceonline.png" : "device.png");
    return UIImage::imageNamed(online ? "deviceipconline.png" : "deviceIpc.png");
}

std::shared_ptr<UIImage> LiveViewController::selectedImage(const Device& d) {
    const bool multi = d.channelNum.load() >= 2, online = d.isOnLine.load();
    if (multi) return UIImage::imageNamed(online ? "device02online.png" : "device02.png");
    return UIImage::imageNamed(online ? "deviceipc02online.png" : "deviceIpc02.png");
}

ZButton* LiveViewController::deviceButtonWithTag(int tag) const {
    for (auto& b : deviceButtons_)
        if (b && b->tag() == tag) return b.data();
    return nullptr;
}

UIButton* LiveViewController::channelButtonWithTag(int tag) const {
    for (auto& b : channelButtons_)
        if (b && b->tag() == tag) return b.data();
    return nullptr;
}

// Brings the strip in line with the device list. A device keeps its button
// (so a touch in progress on it is not lost when a search ends); buttons of
// devices that left are removed and new devices get new buttons.
void LiveViewController::reloadDeviceButtons() {
    if (!devicesScrollView) return;
    const int remembered = selectedDeviceButton_ ? selectedDeviceButton_->tag() : -1;
    selectedDeviceButton_ = nullptr;
    std::vector<WeakView<ZButton>> old;
    old.swap(deviceButtons_);
    const CGFloat h = devicesScrollView->bounds().size.height;
    auto devices = QvDeviceManager::sharedInstance().devices();
    std::shared_ptr<preConDelegate> me = std::static_pointer_cast<preConDelegate>(self());
    for (size_t i = 0; i < devices.size(); ++i) {
        Device& d = *devices[i];
        d.preconDele = me;
        ZButton* b = nullptr;
        for (auto& o : old)
            if (o && o->tag() == d.deviceId) {
                b = o.data();
                o = nullptr;
                break;
            }
        if (!b) {
            b = new ZButton();
            b->setTag(d.deviceId);
            b->setTitleEdgeInsets(UIEdgeInsets{20, 0, 0, 0});
            b->setFont(UIFont::systemFontOfSize(10));
            b->addTarget(this, [this](UIControl* c, UIEvent*) { deviceButtonTapped(static_cast<UIButton*>(c)); },
                         UIControlEventTouchUpInside);
            devicesScrollView->addSubview(b);
        }
        b->setFrame(CGRect{{50.0 * i, (h - 39) / 2}, {43, 43}});
        setViewName(b, "deviceButton" + std::to_string(i + 1));
        if (d.deviceConType.load() == 1) d.goforgetisOnline();
        // Bringing the strip up to date ends a blink, as building it afresh would.
        b->stopActionwithImage(normalImage(d));
        b->setTitle(d.name.value(), UIControlStateNormal);
        b->setBackgroundImage(selectedImage(d), UIControlStateSelected);
        b->setSelected(d.deviceId == remembered);
        if (d.deviceId == remembered) selectedDeviceButton_ = b;
        deviceButtons_.emplace_back(b);
    }
    for (auto& o : old)
        if (o) {
            o->removeFromSuperview();
            delete o.data();
        }
    devicesScrollView->setContentSize(CGSize{50.0 * devices.size() + 46, 0});
}

void LiveViewController::reloadChannelButtons(int deviceId, int channelNumber) {
    if (!channelScrollView) return;
    // The same device's strip again: the buttons stay (a finger may be on
    // one, and its tap counts on the lift), only their marks are renewed.
    bool same = deviceId == channelStripDeviceId_ && channelButtons_.size() == static_cast<size_t>(channelNumber);
    for (auto& b : channelButtons_) same = same && b;
    if (same && channelNumber > 0) {
        for (int i = 0; i < channelNumber; ++i)
            channelButtons_[i]->setSelected(cmcController_ &&
                                            cmcController_->findWorkingChannelViewControllerForDevice(deviceId, i));
        return;
    }
    channelStripDeviceId_ = deviceId;
    for (auto& b : channelButtons_)
        if (b) {
            b->removeFromSuperview();
            delete b.data();
        }
    channelButtons_.clear();
    const CGFloat h = channelScrollView->bounds().size.height;
    auto ch = UIImage::imageNamed("channel.png"), ch2 = UIImage::imageNamed("channel02.png");
    for (int i = 0; i < channelNumber; ++i) {
        auto* b = new UIButton(CGRect{{17 + 50.0 * i, (h - 39) / 2}, {39, 39}});
        b->setBackgroundImage(ch, UIControlStateNormal);
        b->setBackgroundImage(ch2, UIControlStateSelected);
        b->setTitle(std::to_string(i + 1), UIControlStateNormal);
        b->setTitle(std::to_string(i + 1), UIControlStateSelected);
        b->setTitleColor(UIColor::blackColor(), UIControlStateNormal);
        b->setTitleColor(UIColor::blackColor(), UIControlStateSelected);
        b->setFont(UIFont::systemFontOfSize(12));
        // On the lift, not the touch-down: a finger that swipes the strip
        // along is claimed by the scroll and starts no channel.
        b->addTarget(this, [this](UIControl* c, UIEvent*) { channelButtonTapped(static_cast<UIButton*>(c)); },
                     UIControlEventTouchUpInside);
        b->setTag(kChannelTagBase + i);
        setViewName(b, "channelButton" + std::to_string(i + 1));
        if (cmcController_ && cmcController_->findWorkingChannelViewControllerForDevice(deviceId, i))
            b->setSelected(true);
        channelButtons_.emplace_back(b);
        channelScrollView->addSubview(b);
    }
    channelScrollView->setContentSize(CGSize{channelNumber > 0 ? 17 + 50.0 * channelNumber : 17, 0});
    channelScrollView->setContentOffset(CGPoint{30, 0}, false);
    channelScrollView->setContentOffset(CGPoint{0, 0}, true);
}

void LiveViewController::deviceButtonTapped(UIButton* button) {
    if (!button) return;
    if (selectedDeviceButton_) selectedDeviceButton_->setSelected(false);
    closeMoreView();
    auto device = QvDeviceManager::sharedInstance().deviceWithId(button->tag());
    button->setSelected(true);
    selectedDeviceButton_ = dynamic_cast<ZButton*>(button);
    if (!device) return;
    std::weak_ptr<LiveViewController> weak = self();
    const int id = device->deviceId, n = device->channelNum.load() == 0 ? 1 : device->channelNum.load();
    DispatchQueue::main()->async([weak, id, n] {
        auto s = weak.lock();
        // The strip always shows the device selected when it is rebuilt.
        if (s && s->selectedDeviceButton_ && s->selectedDeviceButton_->tag() == id) s->reloadChannelButtons(id, n);
    });
}

void LiveViewController::channelButtonTapped(UIButton* button) {
    if (!button || !cmcController_) return;
    const int selectedId = selectedDeviceButton_ ? selectedDeviceButton_->tag() : -1;
    const int ch = button->tag() - kChannelTagBase;
    if (button->isSelected()) {
        button->setSelected(false);
        ChannelViewController* pane = cmcController_->findWorkingChannelViewControllerForDevice(selectedId, ch);
        if (!pane) return;
        pane->stopLive();
        if (voiceButton) voiceButton->setSelected(false);
        if (talkButton) talkButton->setSelected(false);
        if (recordButton) recordButton->setSelected(false);
        return;
    }
    button->setSelected(true);
    ChannelViewController* pane = cmcController_->findAvailableChannelViewController();
    if (!pane) return;
    const int index = cmcController_->indexOfChannelViewController(pane);
    auto shared = cmcController_->sharedChannelViewControllerAtIndex(index);
    pane->setDelegate(std::static_pointer_cast<ChannelViewControllerDelegate>(self()));
    if (pane->deviceId() == selectedId)
        if (UIButton* old = channelButtonWithTag(pane->channel() + kChannelTagBase); old && old != button)
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

void LiveViewController::selectChannelBtn(int channel) {
    UIButton* b = channelButtonWithTag(channel + kChannelTagBase);
    if (!b || !channelScrollView) return;
    const int x = static_cast<int>(b->frame().origin.x - 17);
    if (x == 0) return;
    const CGFloat bw = channelScrollView->bounds().size.width;
    const CGFloat m = channelScrollView->contentSize().width - bw;
    CGFloat offset;
    if (x < m) offset = x;
    else if (x < bw - 17) offset = 0;
    else offset = m;
    channelScrollView->setContentOffset(CGPoint{offset, 0}, true);
}

void LiveViewController::scrollDeviceStripToSelected() {
    if (!devicesScrollView) return;
    const CGFloat x = selectedDeviceButton_ ? selectedDeviceButton_->frame().origin.x : 0;
    if (x < devicesScrollView->contentSize().width - devicesScrollView->bounds().size.width)
        devicesScrollView->setContentOffset(CGPoint{x, 0}, true);
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
    for (auto& b : channelButtons_)
        if (b) b->setSelected(false);
}

// ---------------------------------------------------------------- pane callbacks

void LiveViewController::channelViewControllerDidReceiveChannelNumber(ChannelViewController* pane, int n) {
    if (pane && selectedDeviceButton_ && pane->deviceId() == selectedDeviceButton_->tag())
        reloadChannelButtons(pane->deviceId(), n);
}

void LiveViewController::channelViewControllerSessionFailedForDevice(ChannelViewController*, int deviceId,
                                                                     int channel) {
    if (selectedDeviceButton_ && selectedDeviceButton_->tag() == deviceId)
        if (UIButton* b = channelButtonWithTag(channel + kChannelTagBase)) b->setSelected(false);
}

void LiveViewController::channelViewControllerDidStop(ChannelViewController*, bool stopped) {
    if (!stopped) return;
    std::weak_ptr<LiveViewController> weak = self();
    DispatchQueue::main()->async([weak] {
        auto s = weak.lock();
        if (!s) return;
        for (UIButton* b : {s->talkButton.data(), s->voiceButton.data(), s->recordButton.data()})
            if (b) b->setSelected(false);
    });
}

void LiveViewController::channelViewControllerDidFailedTalk(ChannelViewController*, bool failed) {
    std::weak_ptr<LiveViewController> weak = self();
    DispatchQueue::main()->async([weak, failed] {
        auto s = weak.lock();
        if (s && s->talkButton) s->talkButton->setSelected(!failed);
    });
}

void LiveViewController::channelViewControllerShouldReloadButton(ChannelViewController*, bool reloadchannel) {
    std::weak_ptr<LiveViewController> weak = self();
    DispatchQueue::main()->async([weak, reloadchannel] {
        auto s = weak.lock();
        if (!s) return;
        s->reloadDeviceButtons();
        if (reloadchannel && s->selectedDeviceButton_) s->deviceButtonTapped(s->selectedDeviceButton_.data());
        // A pane that plays again (restarted by a tap on it) marks its channel.
        else if (s->channelStripDeviceId_ != -1)
            s->reloadChannelButtons(s->channelStripDeviceId_, static_cast<int>(s->channelButtons_.size()));
    });
}

// ---------------------------------------------------------------- grid notifications

void LiveViewController::aChannelSessionAutoClosed(int deviceId, int channel) {
    if (selectedDeviceButton_ && selectedDeviceButton_->tag() == deviceId)
        if (UIButton* b = channelButtonWithTag(channel + kChannelTagBase)) b->setSelected(false);
}

void LiveViewController::aChannelViewSelected(int id) {
    closeMoreView();
    ChannelViewController* pane = cmcController_ ? cmcController_->selectedChannelViewController() : nullptr;
    if (!pane) return;
    const int c = pane->channel();
    if (recordButton) recordButton->setSelected(pane->state() == 2);
    if (voiceButton) voiceButton->setSelected(pane->isStartAudio());
    if (talkButton) talkButton->setSelected(pane->isStartTalk());
    if (selectedDeviceButton_ && id >= 0 && id != selectedDeviceButton_->tag()) {
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
    UIView* v = view();
    const UIInterfaceOrientation o = interfaceOrientation();
    const bool landscape = o == UIInterfaceOrientation::LandscapeLeft || o == UIInterfaceOrientation::LandscapeRight;
    if (o == UIInterfaceOrientation::PortraitUpsideDown) return;
    auto setHidden = [](UIView* x, bool h) {
        if (x) x->setHidden(h);
    };
    if (landscape) {
        v->setBackgroundColor(UIColor::colorWithPatternImage(UIImage::imageNamed("paduistyle2_landscap_bg.png")));
        for (UIView* x : {static_cast<UIView*>(toolBarView.data()), static_cast<UIView*>(channelScrollView.data()),
                          static_cast<UIView*>(devicesScrollView.data()), static_cast<UIView*>(toolPanel.data()),
                          leftButtonView.data(), rightButtonView.data(), scrollContainerView.data(), moreView.data(),
                          static_cast<UIView*>(ptzScrollView.data())})
            setHidden(x, true);
        if (cmcController_) {
            cmcController_->view()->setFrame(v->bounds());
            cmcController_->setIsLandscapeLayout(true);
        }
        return;
    }
    v->setBackgroundColor(UIColor::colorWithPatternImage(UIImage::imageNamed("paduistyle2_portrait_bg.png")));
    for (UIView* x : {static_cast<UIView*>(toolBarView.data()), static_cast<UIView*>(channelScrollView.data()),
                      static_cast<UIView*>(devicesScrollView.data()), leftButtonView.data(), scrollContainerView.data(),
                      moreView.data()})
        setHidden(x, false);
    setHidden(toolPanel.data(), true);
    setHidden(rightButtonView.data(), true);
    if (cmcController_) {
        cmcController_->view()->setFrame(cmcViewFrame_);
        cmcController_->setIsLandscapeLayout(false);
    }
}

void LiveViewController::plugLayout() {
    if (leftButtonView) leftButtonView->setHidden(true);
    for (UIScrollView* s : {devicesScrollView.data(), channelScrollView.data()}) {
        if (!s) continue;
        CGRect f = s->frame();
        f.size.width = 320;
        s->setFrame(f);
    }
}

// ---------------------------------------------------------------- tool bar

void LiveViewController::ptz(int code) {
    if (!cmcController_) return;
    if (ChannelViewController* p = cmcController_->selectedChannelViewController()) p->ptzControl(code);
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

void LiveViewController::audioController() {
    ChannelViewController* p = cmcController_ ? cmcController_->selectedChannelViewController() : nullptr;
    if (!p || (p->state() != 1 && p->state() != 2)) return;
    bool on;
    if (p->isStartAudio()) {
        p->stopAudio();
        on = false;
    } else {
        if (ChannelViewController* other = cmcController_->findAudioPlayingViewController(); other && other != p) {
            other->stopAudio();
            if (voiceButton) voiceButton->setSelected(false);
        }
        if (!p->startAudio()) return;
        on = true;
    }
    isClickAudio_ = on;
    if (voiceButton) voiceButton->setSelected(on);
}

void LiveViewController::talkController() {
    ChannelViewController* p = cmcController_ ? cmcController_->selectedChannelViewController() : nullptr;
    if (!p || (p->state() != 1 && p->state() != 2)) return;
    if (p->isStartTalk()) {
        p->stopTalk();
        if (talkButton) talkButton->setSelected(false);
        if (p->isStartAudio() && !isClickAudio_) {
            p->stopAudio();
            if (voiceButton) voiceButton->setSelected(false);
        }
        return;
    }
    if (ChannelViewController* other = cmcController_->findTalkingViewController(); other && other != p) {
        other->stopTalk();
        if (talkButton) talkButton->setSelected(false);
        p->startTalk();
        if (talkButton) talkButton->setSelected(true);
        other->stopAudio();
        if (voiceButton) voiceButton->setSelected(false);
    } else {
        p->startTalk();
        if (talkButton) talkButton->setSelected(true);
    }
    if (!isClickAudio_ && !p->isStartAudio())
        if (p->startAudio() && voiceButton) voiceButton->setSelected(true);
}

void LiveViewController::takeRecord() {
    ChannelViewController* p = cmcController_ ? cmcController_->selectedChannelViewController() : nullptr;
    if (!p) return;
    if (p->state() == 1) {
        if (p->spinner() && p->spinner()->isAnimating()) return;
        p->startRecord();
        if (recordButton) recordButton->setSelected(true);
    } else if (p->state() == 2) {
        p->stopRecord();
        if (recordButton) recordButton->setSelected(false);
    }
}

void LiveViewController::snapshot() {
    if (!cmcController_) return;
    if (ChannelViewController* p = cmcController_->selectedChannelViewController()) p->snapshot();
}

bool LiveViewController::isMoreViewOpen() const { return moreView && moreView->frame().origin.y == 42; }

void LiveViewController::closeMoreView() {
    UIViewAnimation::animateWithDuration(0.5, [this] {
        if (isMoreViewOpen()) moreView->setFrame(kMoreClosed);
        if (ptzScrollView) ptzScrollView->setHidden(true);
        if (ptzbtn) ptzbtn->setSelected(false);
        if (moreButon) moreButon->setSelected(false);
    });
}

void LiveViewController::showPtzPanel(UIButton* sender) {
    UIViewAnimation::animateWithDuration(0.5, [this] {
        if (isMoreViewOpen()) {
            moreView->setFrame(kMoreClosed);
            if (moreButon) moreButon->setSelected(false);
            if (ptzScrollView) ptzScrollView->setHidden(true);
        }
    });
    if (!ptzScrollView) return;
    // Toggle against the strip's state before the tap.
    const bool wasHidden = ptzScrollView->isHidden();
    ptzScrollView->setHidden(!wasHidden);
    if (sender) sender->setSelected(wasHidden);
    ptzScrollView->setContentOffset(CGPoint{120, 0}, false);
    ptzScrollView->setContentOffset(CGPoint{0, 0}, true);
}

void LiveViewController::showMoreView() {
    if (moreButon) moreButon->setImage(UIImage::imageNamed("more02.png"), UIControlStateSelected);
    if (ptzScrollView) ptzScrollView->setHidden(true);
    if (ptzbtn) ptzbtn->setSelected(false);
    UIViewAnimation::animateWithDuration(0.5, [this] {
        if (!moreView) return;
        if (isMoreViewOpen()) {
            moreView->setFrame(kMoreClosed);
            if (moreButon) moreButon->setSelected(false);
        } else {
            moreView->setFrame(kMoreOpen);
            if (moreButon) moreButon->setSelected(true);
        }
    });
}

void LiveViewController::toggleSwitchViewDisplay(UIButton* sender) {
    if (!sender || !scrollContainerView) return;
    CGRect f = scrollContainerView->frame();
    if (sender->isSelected()) {
        sender->setSelected(false);
        f.origin.x += 320;
    } else {
        sender->setSelected(true);
        f.origin.x -= 320;
    }
    UIViewAnimation::animateWithDuration(0.3, [this, f] { scrollContainerView->setFrame(f); });
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

}  // namespace lumora

namespace lumora {

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
    auto device = selectedDeviceButton_ ? QvDeviceManager::sharedInstance().deviceWithId(selectedDeviceButton_->tag())
                                        : nullptr;
    if (selectedDeviceButton_ && device) {
        if (device->channelNum.load() != static_cast<int>(channelButtons_.size()))
            reloadChannelButtons(device->deviceId, device->channelNum.load());
    } else if (!selectedDeviceButton_) {
        reloadChannelButtons(-1, 0);
    }
    resumeChannelViews();
}

void LiveViewController::deviceDetailViewControllerDidAddDevice(DeviceDetailViewController*,
                                                                const std::shared_ptr<Device>& device) {
    if (!device) return;
    reloadDeviceButtons();
    if (ZButton* b = deviceButtonWithTag(device->deviceId)) {
        const bool single = device->channelNum.load() < 2;
        b->startAction(UIImage::imageNamed(single ? "deviceipconline.png" : "deviceonline.png"),
                       UIImage::imageNamed(single ? "deviceIpc.png" : "device.png"));
    }
    device->startPreConnection();
    searchAllDeviceState();
    resumeChannelViews();
}

void LiveViewController::deviceDetailViewControllerDidEditDevice(DeviceDetailViewController*,
                                                                 const std::shared_ptr<Device>& device) {
    if (!device) return;
    reloadDeviceButtons();
    if (ZButton* b = deviceButtonWithTag(device->deviceId)) {
        const bool single = device->channelNum.load() < 2;
        b->startAction(UIImage::imageNamed(single ? "deviceipconline.png" : "deviceonline.png"),
                       UIImage::imageNamed(single ? "deviceIpc.png" : "device.png"));
    }
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
