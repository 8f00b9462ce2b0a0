#pragma once

#include "ui/kit/WeakView.h"
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/PhoneRootScreen.h"
#include "app/core/Device.h"
#include "base/link/AllSearchDelegate.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/NotificationCenter.h"
#include "platform/runloop/RunLoop.h"
#include "ui/common/FloatingPanelView.h"
#include "ui/common/ZButton.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UINavigationBar.h"
#include "ui/kit/UIScrollView.h"
#include "ui/kit/UIViewController.h"
#include "ui/common/DeviceSearchingViewController.h"
#include "ui/common/DeviceStatePoll.h"
#include "ui/common/HelpAndAboutViewController.h"
#include "ui/common/UIDeviceAddViewController.h"
#include "ui/phone/ChannelStripView.h"
#include "ui/phone/ChannelViewControllerDelegate.h"
#include "ui/phone/ConfigViewController.h"
#include "ui/phone/DeviceDetailViewController.h"
#include "ui/phone/DeviceMgmtController.h"
#include "ui/phone/DeviceStripView.h"
#include "ui/phone/FileMgmtController.h"
#include "ui/phone/LivePaneActions.h"
#include "ui/phone/LiveToolBar.h"
#include "ui/phone/LiveToolBarDelegate.h"

namespace lumora {

class ChannelMgmtController;
class ChannelViewController;
class DataController;

// The phone application's main screen and the root of its window: the pane
// grid, a strip of device buttons (one per stored device, DeviceStripView)
// and a strip of channel buttons for the selected device (ChannelStripView),
// and the tool bar that acts on the selected pane (LiveToolBar, its actions
// in LivePaneActions); the strips and the tool bar report here. At load it pre-connects the devices reached by UID,
// opens the relay/look-up server connections and then asks for every
// device's online state once a minute. Made from the interface file
// "LiveViewController". Main thread only, except the callbacks noted.
class LiveViewController : public UIViewController,
                           public PhoneRootScreen,
                           public ChannelViewControllerDelegate,
                           public AllSearchDelegate,
                           public preConDelegate,
                           public DeviceMgmtControllerDelegate,
                           public DeviceDetailViewControllerDelegate,
                           public ConfigViewControllerDelegate,
                           public HelpControllerDelegate,
                           public UIDeviceAddViewControllerDelegate,
                           public DeviceSearchingViewControllerDelegate,
                           public FileMgmtControllerDelegate,
                           public LiveToolBarDelegate {
public:
    // Makes the local media browser (by default a FileMgmtController that
    // reports back to the opener); unset, the media button does nothing.
    using FileMgmtFactory = std::function<std::shared_ptr<UIViewController>(LiveViewController& opener)>;
    static FileMgmtFactory& fileMgmtFactory();

    static constexpr const char* kInterfaceName = "LiveViewController";
    static constexpr double kBlinkInterval = 0.7;
    static constexpr double kPollInterval = 60.0;
    static constexpr double kFirstPollDelay = 1.0;

    LiveViewController();
    ~LiveViewController() override;

    // Registers the interface file's builder (once per process).
    static void registerInterface();

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override;
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation from) override;

    // ---- PhoneRootScreen (the application delegate)
    void searchAllDeviceState() override;
    void playDevice(const std::shared_ptr<Device>& device, int32_t channel) override;
    void stopAll() override;

    // ---- preConDelegate, AllSearchDelegate
    void didpreCondvid(int32_t deviceId, bool ret) override;
    void AllSearchdidEnd() override;

    // ---- ChannelViewControllerDelegate
    void channelViewControllerDidReceiveChannelNumber(ChannelViewController* pane, int n) override;
    void channelViewControllerSessionFailedForDevice(ChannelViewController* pane, int deviceId, int channel) override;
    void channelViewControllerDidStop(ChannelViewController* pane, bool stopped) override;
    void channelViewControllerDidFailedTalk(ChannelViewController* pane, bool failed) override;
    void channelViewControllerShouldReloadButton(ChannelViewController* pane, bool reloadchannel) override;

    // ---- strips and blinking
    void reloadDeviceButtons();
    void reloadChannelButtons(int deviceId, int channelNumber);
    void deviceButtonTapped(UIButton* button);
    void channelButtonTapped(UIButton* button);
    void selectChannelBtn(int channel) {
        if (channelStrip_) channelStrip_->scrollToChannel(channel);
    }
    void shanyishan() {
        if (deviceStrip_) deviceStrip_->blinkOnce();
    }
    void closeshan();
    void closeshanwithid(int deviceId) {
        if (deviceStrip_) deviceStrip_->showDeviceState(deviceId);
    }
    void startaaa();
    void beginsearch();
    void beginTimmer();
    void initDisplayViews();
    void layoutSubviewsForOrientationChange();
    void changeCanRotate(bool can) override { canRotate_ = can; }
    void startAutoPlay() override;
    void plugLayout();
    // Stops every pane, shows the navigation bar again and pops this screen
    // (when it was pushed by the start page).
    void backAction();

    // ---- tool bar (every action on the selected pane)
    void zoomIn() { ptz(5); }
    void zoomOut() { ptz(6); }
    void focusIncrease() { ptz(7); }
    void focusDecrease() { ptz(8); }
    void ptzMoveUp() { ptz(9); }
    void ptzMoveDown() { ptz(10); }
    void ptzMoveLeft() { ptz(11); }
    void ptzMoveRight() { ptz(12); }
    void irisIncrease() { ptz(13); }
    void irisDecrease() { ptz(14); }
    void stopAction();
    // A pan/tilt/zoom button went down: its move runs, and is renewed every
    // half second while the finger stays (the session stops a move 1 s after
    // its last renewal), until the release (stopAction) ends it.
    void holdPtz(void (LiveViewController::*action)());
    bool isHoldingPtz() const { return ptzHoldTimer_ != nullptr; }
    void audioController() { paneActions_.toggleListening(); }
    void talkController() { paneActions_.toggleTalking(); }
    void takeRecord() { paneActions_.toggleRecording(); }
    void snapshot() { paneActions_.snapshot(); }
    void showPtzPanel(UIButton* sender);
    void showMoreView();
    void toggleSwitchViewDisplay(UIButton* sender);
    void closeMoreView();
    // The one/four-pane switch of the more panel.
    void toggleLayout();
    // ---- LiveToolBarDelegate
    void liveToolBarDidTap(Tool tool, UIButton* sender) override;
    void liveToolBarPtzPressed(int code) override;
    void liveToolBarPtzReleased() override { stopAction(); }

    // ---- the screens opened from here (each modal; most pause the panes)
    void showDeviceList();
    void remoteRecordController();
    void showFileMgmtView();
    void showSettingsView();
    void showHelp();
    void addOneDevice();
    // Panes keep their sessions and stop drawing while a screen covers them.
    void pauseChannelViews();
    // Re-lays out when the orientation changed meanwhile, draws again, dismisses.
    void resumeChannelViews();
    void fileMgmtControllerDidClose(FileMgmtController* controller) override;

    // ---- DeviceMgmtControllerDelegate
    void deviceMgmtControllerDidClose(DeviceMgmtController* list) override;
    void deviceMgmtControllerAddDevice(DeviceMgmtController* list) override;
    // ---- DeviceDetailViewControllerDelegate
    void deviceDetailViewControllerDidCancel(DeviceDetailViewController* editor) override;
    void deviceDetailViewControllerDidAddDevice(DeviceDetailViewController* editor,
                                                const std::shared_ptr<Device>& device) override;
    void deviceDetailViewControllerDidEditDevice(DeviceDetailViewController* editor,
                                                 const std::shared_ptr<Device>& device) override;
    void deviceDetailViewControllerDidDeleteDevice(DeviceDetailViewController*, int32_t) override {}
    // ---- ConfigViewControllerDelegate, HelpControllerDelegate
    void configViewControllerDidClose(UIViewController* controller) override;
    void configViewControllerDidCommit(UIViewController* controller) override;
    void helpControllerDidClose(HelpAndAboutViewController* controller) override;
    // ---- UIDeviceAddViewControllerDelegate, DeviceSearchingViewControllerDelegate
    bool addDeviceFromTyping() override;
    bool addDeviceFromUID(const std::string& uid, const std::string& deviceName) override;
    bool presentZBarReaderWindow(const std::shared_ptr<ZBarReaderViewController>& reader) override;
    bool addDeviceWithInfoFromZBarCode() override;
    void addMultiDevicesFromMulticaseSearching() override;
    bool addDeviceWithLANScanning() override;
    void addDeviceItemFromLanSearch(const std::string& uid) override;

    UIDeviceAddViewController* davc() const { return davc_.get(); }
    DeviceSearchingViewController* dsvc() const { return dsvc_.get(); }
    UIInterfaceOrientation orientationBeforeOpenModelView() const { return orientationBeforeOpenModelView_; }

    // ---- notifications from the grid
    void aChannelViewSelected(int deviceId);
    void aChannelSessionAutoClosed(int deviceId, int channel);

    // ---- state for the screens and tests
    ChannelMgmtController* cmcController() const { return cmcController_.get(); }
    const std::vector<WeakView<ZButton>>& deviceButtons() const {
        static const std::vector<WeakView<ZButton>> none;
        return deviceStrip_ ? deviceStrip_->buttons() : none;
    }
    const std::vector<WeakView<UIButton>>& channelButtons() const {
        static const std::vector<WeakView<UIButton>> none;
        return channelStrip_ ? channelStrip_->buttons() : none;
    }
    ZButton* selectedDeviceButton() const { return deviceStrip_ ? deviceStrip_->selectedButton() : nullptr; }
    bool isShanRunning() const { return deviceStrip_ && deviceStrip_->isBlinking(); }
    bool startShan() const { return startShan_; }
    bool isClickAudio() const { return paneActions_.isClickAudio(); }
    bool canRotate() const { return canRotate_; }
    const DispatchQueuePtr& queryQueue() { return poll_.queryQueue(); }
    const DispatchQueuePtr& stopQueue() const { return stopQueue_; }
    const std::shared_ptr<DataController>& datacontrol() const { return poll_.datacontrol(); }
    bool isMoreViewOpen() const;

    // Outlets (object names as in the interface file).
    WeakView<FloatingPanelView> toolPanel;
    WeakView<UIScrollView> toolBarView, devicesScrollView, channelScrollView, ptzScrollView;
    WeakView<UIView> scrollContainerView, leftButtonView, rightButtonView, moreView;
    WeakView<UIButton> backButton, settingButton, abtButton, fileButton, remoteButton, addButon, moreButon, ptzbtn,
        recordButton, voiceButton, talkButton, snapshotButton, switchButton, layoutButton;

private:
    void ptz(int code) { paneActions_.ptz(code); }
    std::shared_ptr<LiveViewController> self();
    ZButton* deviceButtonWithTag(int tag) const { return deviceStrip_ ? deviceStrip_->buttonWithTag(tag) : nullptr; }
    void scrollDeviceStripToSelected() {
        if (deviceStrip_) deviceStrip_->scrollToSelected();
    }
    int selectedDeviceId() const { return deviceStrip_ ? deviceStrip_->selectedDeviceId() : -1; }

    std::shared_ptr<ChannelMgmtController> cmcController_;
    CGRect cmcViewFrame_;
    WeakView<DeviceStripView> deviceStrip_;
    WeakView<ChannelStripView> channelStrip_;
    WeakView<LiveToolBar> toolBar_;
    LivePaneActions paneActions_;  // the tool bar's actions on the selected pane
    bool isInit_ = false;
    bool canRotate_ = true;
    bool startShan_ = false;
    bool loadedOnce_ = false;
    DispatchQueuePtr stopQueue_;
    DeviceStatePoll poll_;  // the screen's own session controller for the state search
    std::shared_ptr<RunLoopTimer> ptzHoldTimer_;  // renews the held move
    std::vector<NotificationCenter::ObserverId> observers_;
    UIInterfaceOrientation orientationBeforeOpenModelView_ = UIInterfaceOrientation::Portrait;
    std::shared_ptr<UIDeviceAddViewController> davc_;
    std::shared_ptr<DeviceSearchingViewController> dsvc_;
    void openEditor(const std::string* uid);
};

}  // namespace lumora
