#pragma once

#include <memory>

#include "base/utilities/ZBarReaderDelegate.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/RunLoop.h"
#include "ui/common/DeviceSearchingViewController.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIPageControl.h"
#include "ui/kit/UIPickerView.h"
#include "ui/kit/UIPopoverController.h"
#include "ui/kit/UIScrollView.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/WeakView.h"
#include "ui/tablet/ChannelMgmtControllerHD.h"
#include "ui/tablet/ChannelViewControllerHDDelegate.h"
#include "ui/tablet/ControlStripHD.h"
#include "ui/tablet/ControlStripHDDelegate.h"
#include "ui/tablet/DeviceMgmtControllerHD.h"
#include "ui/tablet/DeviceMgmtControllerHDDelegate.h"
#include "ui/tablet/SidePanelSlideHD.h"

namespace lumora {

class Device;
class ZBarReaderViewController;

// The tablet's live-view screen: the sixteen-tile grid on the left and a
// side panel on the right with the device list above two pages of control
// buttons that act on the selected tile (ControlStripHD, which calls the
// controls here). Remembers which device channel each
// tile shows in the live-view history and resumes it when auto play is on.
// Polls the devices reached by address at load and every 60 s. The home
// screen makes the one instance and presents it; the panel's home button
// dismisses it. Made from the interface file "LiveViewControllerHD". Main
// thread only, except the callbacks noted.
class LiveViewControllerHD : public UIViewController,
                             public DeviceMgmtControllerHDDelegate,
                             public ChannelViewControllerHDDelegate,
                             public ChannelMgmtControllerDelegate,
                             public UIScrollViewDelegate,
                             public DeviceSearchingViewControllerDelegate,
                             public ZBarReaderDelegate,
                             public UIAlertViewDelegate,
                             public ControlStripHDDelegate {
public:
    static constexpr const char* kInterfaceName = "LiveViewControllerHD";
    static constexpr double kPollInterval = 60.0;
    static constexpr double kHideOpenButtonDelay = 3.0;
    static constexpr double kPanelAnimation = 1.0;
    static constexpr double kLayoutAnimation = 0.5;
    static constexpr CGFloat kPanelWidth = 256;

    LiveViewControllerHD();
    ~LiveViewControllerHD() override;
    static void registerInterface();

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override;

    // ---- the home screen's calls (the application delegate's requests)
    // Stops the first tile and starts it on that device and channel.
    void playDv(const std::shared_ptr<Device>& device, int channel);
    void stopAll();
    void startshan();
    // With auto play on: the saved layout and every saved tile again.
    void startAutoPlay();

    // ---- DeviceMgmtControllerHDDelegate
    void ChannelViewControllerHDClickChannel(void* sender, int channel, int deviceId, bool selected) override;
    bool queryDeviceChannelBusyStatus(void* sender, int deviceId, int channel) override;
    void showPopover(UIView* inView, const CGRect& rect, int startIndex);
    void showPopover(void*, UIView* inView, const CGRect& rect, int startIndex) override {
        showPopover(inView, rect, startIndex);
    }
    void returnToHomePage(void*) override { dismissViewControllerAnimated(true); }
    void pickerHide() override;
    void confirmPickView() override;
    void searchAllDeviceState() override;
    void showLanSearchController() override { searchAllDeviceState(); }

    // ---- adding a device: the panel's QR scan and LAN search, their results back to the panel
    void popUpCameraForScanningTDCode(void* sender) override;
    void popUpDeviceSearchingView(void* sender) override;
    // ZBarReaderDelegate
    void imagePickerController(ZBarReader& reader, const ZBarReaderInfo& info) override;
    void imagePickerControllerDidCancel(ZBarReader& reader) override;
    // DeviceSearchingViewControllerDelegate
    void addDeviceItemFromLanSearch(const std::string& uid) override;
    void addMultiDevicesFromMulticaseSearching() override;
    // UIAlertViewDelegate: only the advertisement reminder's "Ok" (index 1)
    // turns the reminder off; the QR alerts' buttons change nothing.
    void alertViewClickedButtonAtIndex(UIAlertView* alert, int buttonIndex) override;
    void dismissAdReminder();
    void showAdBannerView(const std::shared_ptr<RunLoopTimer>& timer);

    // ---- ChannelViewControllerHDDelegate
    void ChannelViewControllerHDDidReceiveChannelNumber(ChannelViewControllerHD* tile, int count) override;
    void ChannelViewControllerHDSessionFailedForDevice(ChannelViewControllerHD*, int, int) override;
    void ChannelViewControllerHDSessionClosedForDeviceNormal(ChannelViewControllerHD*, int, int) override;
    void channelViewControllerHDDidFailedTalk(ChannelViewControllerHD*, bool failed) override;
    void channelViewControllerHDStop(ChannelViewControllerHD*) override;
    void channelViewControllerHDDidStopRecord(ChannelViewControllerHD*, bool) override;
    void channelViewControllerHDShouldReloadButton(ChannelViewControllerHD*) override;
    void ChannelViewControllerHDDeleteDeviceWithId(int deviceId);

    // ---- ChannelMgmtControllerDelegate
    void channelMgmtControllerTouchesBegin(ChannelMgmtControllerHD*, const UITouchSet&) override;
    void channelMgmtControllerTouchesEnd(ChannelMgmtControllerHD*, ChannelViewControllerHD* tile,
                                         const UITouchSet&) override;

    // ---- UIScrollViewDelegate (the control strip)
    void scrollViewDidScroll(UIScrollView* scrollView) override;
    // Turns the control strip to the page its dots show.
    void showControlPage();

    // ---- side panel (SidePanelSlideHD)
    void openPanel();
    void closePanel();
    void slideOpenBtnToHidden();
    bool isPanelOpen() const;
    bool isHideTimerValid() const { return panelSlide_.isHideTimerValid(); }

    // ---- controls (the selected tile), the control strip's buttons
    void moveUpCtrl() override { ptz(9); }
    void moveDownCtrl() override { ptz(10); }
    void moveLeftCtrl() override { ptz(11); }
    void moveRightCtrl() override { ptz(12); }
    void zoomDownCtrl() override { ptz(5); }
    void zoomUpCtrl() override { ptz(6); }
    void tUpCtrl() override { ptz(7); }
    void tDownCtrl() override { ptz(8); }
    void iUpCtrl() override { ptz(13); }
    void iDownCtrl() override { ptz(14); }
    void stopCtrl() override;
    // A pan/tilt/zoom button went down: its move runs, and is renewed every
    // half second while the finger stays (the session stops a move 1 s after
    // its last renewal), until the release (stopCtrl) ends it.
    // The action is called through the strip's delegate interface, the
    // type it was named in.
    void holdPtzControl(void (ControlStripHDDelegate::*action)()) override;
    bool isHoldingPtz() const { return ptzHoldTimer_ != nullptr; }
    void stopPtz(const std::shared_ptr<ChannelViewControllerHD>& tile);
    void playCtrl() override;
    void voiceCtrl() override;
    void talkCtrl() override;
    void recordCtrl() override;
    void snapshotCtrl() override;
    void stopAllCtrl() override;
    void oneViewMode() override { layoutTo(0); }
    void fourViewMode() override { layoutTo(1); }
    void sixViewMode() override { layoutTo(2); }
    void nineViewMode() override { layoutTo(3); }
    void sixtnViewMode() override { layoutTo(4); }

    // ---- state for the home screen and tests
    ChannelMgmtControllerHD* chanMgmtController() const { return chanMgmtController_.get(); }
    DeviceMgmtControllerHD* dvcMgmtController() const { return dvcMgmtController_.get(); }
    UIPopoverController* popover() const { return popover_.get(); }
    UIPickerView* picker() const { return picker_.data(); }
    bool isClickAudio() const { return isClickAudio_; }
    bool attmpAutoConnect() const { return attmpAutoConnect_; }
    int numOfDvcToStop() const { return numOfDvcToStop_; }
    const DispatchQueuePtr& stopQueue() const { return stopQueue_; }
    DeviceSearchingViewController* dsvc() const { return dsvc_.get(); }
    // The reader of the last QR scan while it is alive.
    std::shared_ptr<ZBarReaderViewController> reader() const { return reader_.lock(); }
    ChannelViewControllerHD* selectedTile() const;

    // Outlets (object names as in the interface file).
    WeakView<UIView> rightPanel, firstCtrlPage, secondCtrlPage;
    WeakView<UIButton> openPanelButton, closePanelButton;
    WeakView<UIPageControl> pageControl;
    WeakView<UIButton> upBtn, downBtn, leftBtn, rightBtn, iupBtn, idownBtn, tupBtn, tdownBtn, zoomupBtn, zoomdownBtn,
        voiceBtn, talkBtn, stopAllBtn, recordBtn, snapshotBtn, oneViewModeBtn, fourViewModeBtn, sixViewModeBtn,
        nineViewModeBtn, sixtnViewModeBtn, playBtn;

private:
    void ptz(int code);
    void layoutTo(int mode);
    // Marks the layout button of that mode (0 one tile … 4 sixteen) as the one in use.
    void showLayoutInUse(int mode);
    void unselectTalkListenRecord();
    std::shared_ptr<LiveViewControllerHD> self();

    std::shared_ptr<ChannelMgmtControllerHD> chanMgmtController_;
    std::shared_ptr<DeviceMgmtControllerHD> dvcMgmtController_;
    WeakView<ControlStripHD> scrollView_;  // the control strip
    std::shared_ptr<UIPopoverController> popover_;
    WeakView<UIPickerView> picker_;
    std::shared_ptr<RunLoopTimer> pollTimer_;
    std::shared_ptr<RunLoopTimer> ptzHoldTimer_;  // renews the held move
    SidePanelSlideHD panelSlide_;  // the side panel sliding in and out
    bool attmpAutoConnect_ = false;
    int numOfDvcToStop_ = 0;
    bool isClickAudio_ = false;
    bool loaded_ = false;
    DispatchQueuePtr stopQueue_;
    std::shared_ptr<DeviceSearchingViewController> dsvc_;
    std::weak_ptr<ZBarReaderViewController> reader_;  // kept by the presentation
    WeakView<UIAlertView> adReminder_;                  // nothing shows one yet
};

}  // namespace lumora
