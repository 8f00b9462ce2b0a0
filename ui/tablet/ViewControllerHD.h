#pragma once

#include <memory>

#include "app/TabletRootScreen.h"
#include "platform/runloop/RunLoop.h"
#include "ui/common/HelpAndAboutViewController.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIPageControl.h"
#include "ui/kit/UIScrollView.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWebView.h"
#include "ui/kit/WeakView.h"
#include "ui/phone/ConfigViewController.h"
#include "ui/phone/DeviceMgmtController.h"

namespace lumora {

class Device;
class LiveViewControllerHD;

// The tablet application's home screen and its window's root: a banner of
// pages that turns every 3 s above the buttons that open the live view,
// the local media, the settings, help and feedback, and the recordings kept
// on devices. Owns the one live screen for the life of the process and
// forwards the application delegate's requests to it. Made from the
// interface file "ViewControllerHD". Landscape only. Main thread only.
class ViewControllerHD : public UIViewController,
                         public TabletRootScreen,
                         public ConfigViewControllerDelegate,
                         public HelpControllerDelegate,
                         public DeviceMgmtControllerDelegate,
                         public UIScrollViewDelegate {
public:
    static constexpr const char* kInterfaceName = "ViewControllerHD";
    static constexpr double kBannerInterval = 3.0;
    static constexpr int kBannerPages = 3;

    ViewControllerHD();
    ~ViewControllerHD() override;
    static void registerInterface();

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return UIInterfaceOrientationIsLandscape(o);
    }
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation from) override;

    // ---- TabletRootScreen (the application delegate)
    void skipToLiveView() override;
    void playDevice(const std::shared_ptr<Device>& device, int32_t channel) override;
    void liveViewStopAll() override;
    void startShan() override;
    void startAutoPlay() override;

    // ---- the buttons
    void presentLiveView();
    void presentFileView();
    void presentConfView();
    void presentHelpView();
    void presentRemoteView();
    void presentAboutView() {}
    void cancelButtonTapped();

    // ---- the banner
    void slideChange();
    void pageValueChangedManually();
    void scrollViewDidEndDecelerating(UIScrollView* scrollView) override;

    // ---- what the presented screens report
    void configViewControllerDidClose(UIViewController* controller) override;
    void configViewControllerDidCommit(UIViewController* controller) override;
    void helpControllerDidClose(HelpAndAboutViewController* controller) override;
    void deviceMgmtControllerDidClose(DeviceMgmtController* list) override;
    void deviceMgmtControllerAddDevice(DeviceMgmtController*) override {}

    // ---- state
    // Made when the view loads.
    const std::shared_ptr<LiveViewControllerHD>& liveViewController() const { return liveViewController_; }
    bool isOnLivePage() const { return isOnLivePage_; }
    bool isBannerTimerValid() const;

    // Outlets (object names as in the interface file).
    WeakView<UIButton> liveViewBtn, fileViewBtn, recordViewBtn, helpBtn, aboutBtn, remoterecordViewBtn;
    WeakView<UIScrollView> scrollView;
    WeakView<UIPageControl> pageControl;
    WeakView<UIWebView> showTimePage;

private:
    void layoutHome();
    void scrollBannerTo(int page);
    // Presents a screen made for this visit (nothing while another is up).
    void presentScreen(std::shared_ptr<UIViewController> screen);

    std::shared_ptr<LiveViewControllerHD> liveViewController_;
    std::shared_ptr<RunLoopTimer> pptTimer_;
    bool isOnLivePage_ = false;
};

}  // namespace lumora
