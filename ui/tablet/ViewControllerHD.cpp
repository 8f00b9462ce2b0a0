#include "ui/tablet/ViewControllerHD.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/text/Localization.h"
#include "ui/kit/InterfaceFile.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UIScreen.h"
#include "ui/tablet/FileMgmtControllerHD.h"
#include "ui/tablet/LiveViewControllerHD.h"
#include "ui/tablet/SysConfigurationViewControllerHD.h"

namespace lumora {

namespace {

constexpr CGFloat kBannerHeight = 300;
constexpr CGFloat kButtonWidth = 210;
constexpr CGFloat kButtonHeight = 120;
constexpr CGFloat kButtonGap = 36;
const UIColor kHomeBackground = UIColor::colorWithRed(0.11, 0.12, 0.14, 1);
// The banner's page indicator, centred near its foot.
constexpr CGSize kPageControlSize{200, 24};

struct HomeButton {
    const char* name;      // object name (the outlet)
    const char* titleKey;  // nullptr: no title
    bool pressedImage;     // gets "22.png" for the highlighted state
    const char* image;     // a picture on the button, or nullptr
    void (ViewControllerHD::*action)();
};

// In reading order: two rows of three.
const HomeButton kButtons[] = {
    {"liveViewBtn", "Live", true, nullptr, &ViewControllerHD::presentLiveView},
    {"fileViewBtn", "Local", true, nullptr, &ViewControllerHD::presentFileView},
    {"recordViewBtn", "SysSetting", true, nullptr, &ViewControllerHD::presentConfView},
    {"helpBtn", "HelpFeedBack", true, nullptr, &ViewControllerHD::presentHelpView},
    {"remoterecordViewBtn", "Remote", false, nullptr, &ViewControllerHD::presentRemoteView},
    {"aboutBtn", nullptr, true, "about.png", &ViewControllerHD::presentAboutView},
};

std::string bannerPageName(int page) { return "bannerPage" + std::to_string(page); }

// The interface file: the banner with its pages and page indicator, the web
// view, the home buttons (placed by the screen for the window's size).
UIView* buildHome(void* owner) {
    auto* home = static_cast<ViewControllerHD*>(owner);
    const CGRect screen = UIScreen::mainScreen().bounds();
    auto* root = new UIView(CGRect{{0, 0}, {std::max(screen.size.width, screen.size.height),
                                            std::min(screen.size.width, screen.size.height)}});
    root->setBackgroundColor(kHomeBackground);
    setViewName(root, ViewControllerHD::kInterfaceName);

    auto* banner = new UIScrollView(CGRectZero);
    banner->setPagingEnabled(true);
    banner->showsHorizontalScrollIndicator = false;
    banner->showsVerticalScrollIndicator = false;
    banner->bounces = false;
    setViewName(banner, "scrollView");
    for (int i = 0; i < ViewControllerHD::kBannerPages; ++i) {
        auto* page = new UIImageView(UIImage::imageNamed("banner" + std::to_string(i + 1) + ".png"));
        setViewName(page, bannerPageName(i));
        banner->addSubview(page);
    }
    root->addSubview(banner);

    auto* dots = new UIPageControl(CGRectZero);
    dots->setNumberOfPages(ViewControllerHD::kBannerPages);
    setViewName(dots, "pageControl");
    if (home)
        dots->addTarget(home, [home](UIControl*, UIEvent*) { home->pageValueChangedManually(); },
                        UIControlEventValueChanged);
    root->addSubview(dots);

    auto* web = new UIWebView(CGRectZero);
    setViewName(web, "showTimePage");
    root->addSubview(web);

    for (const HomeButton& button : kButtons) {
        auto* b = new UIButton(CGRect{{0, 0}, {kButtonWidth, kButtonHeight}});
        b->setBackgroundImage(UIImage::imageNamed("homebtn.png"), UIControlStateNormal);
        if (button.image) b->setImage(UIImage::imageNamed(button.image), UIControlStateNormal);
        setViewName(b, button.name);
        if (home) {
            auto action = button.action;
            b->addTarget(home, [home, action](UIControl*, UIEvent*) { (home->*action)(); },
                         UIControlEventTouchUpInside);
        }
        root->addSubview(b);
    }
    return root;
}

}  // namespace

void ViewControllerHD::registerInterface() {
    if (!InterfaceFile::exists(kInterfaceName)) InterfaceFile::registerFile(kInterfaceName, buildHome);
}

ViewControllerHD::ViewControllerHD() = default;

ViewControllerHD::~ViewControllerHD() {
    if (pptTimer_) pptTimer_->invalidate();
    if (scrollView) scrollView->delegate = nullptr;
}

void ViewControllerHD::loadView() {
    registerInterface();
    UIView* root = InterfaceFile::load(kInterfaceName, this);
    if (!root) root = new UIView(UIScreen::mainScreen().bounds());
    setView(root);
    liveViewBtn = root->viewWithName<UIButton>("liveViewBtn");
    fileViewBtn = root->viewWithName<UIButton>("fileViewBtn");
    recordViewBtn = root->viewWithName<UIButton>("recordViewBtn");
    helpBtn = root->viewWithName<UIButton>("helpBtn");
    aboutBtn = root->viewWithName<UIButton>("aboutBtn");
    remoterecordViewBtn = root->viewWithName<UIButton>("remoterecordViewBtn");
    scrollView = root->viewWithName<UIScrollView>("scrollView");
    pageControl = root->viewWithName<UIPageControl>("pageControl");
    showTimePage = root->viewWithName<UIWebView>("showTimePage");
}

void ViewControllerHD::viewDidLoad() {
    UIApplication::sharedApplication().setStatusBarHidden(true);
    UIView* root = view();
    for (const HomeButton& button : kButtons) {
        auto* b = root->viewWithName<UIButton>(button.name);
        if (!b) continue;
        if (button.pressedImage) b->setBackgroundImage(UIImage::imageNamed("22.png"), UIControlStateHighlighted);
        if (button.titleKey) b->setTitle(Localization::string(button.titleKey), UIControlStateNormal);
    }
    if (scrollView) scrollView->delegate = this;

    if (!pptTimer_) {
        std::weak_ptr<UIViewController> weak = weak_from_this();
        pptTimer_ = RunLoopTimer::scheduled(
            RunLoop::main(), std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(kBannerInterval)),
            true, [weak](RunLoopTimer&) {
                if (auto self = std::dynamic_pointer_cast<ViewControllerHD>(weak.lock())) self->slideChange();
            });
    }
    // The one live screen, kept for the life of the process.
    if (!liveViewController_) liveViewController_ = std::make_shared<LiveViewControllerHD>();
    layoutHome();
}

void ViewControllerHD::viewWillAppear(bool) {
    // Back from the live view (or any other screen): the home page shows.
    isOnLivePage_ = false;
    layoutHome();
}

void ViewControllerHD::viewDidAppear(bool) {
    if (showTimePage) showTimePage->setHidden(true);
}

void ViewControllerHD::didRotateFromInterfaceOrientation(UIInterfaceOrientation) { layoutHome(); }

void ViewControllerHD::layoutHome() {
    UIView* root = viewIfLoaded();
    if (!root) return;
    const CGFloat W = root->bounds().size.width, H = root->bounds().size.height;
    const CGFloat bannerH = std::min(kBannerHeight, H / 2);
    if (scrollView) {
        const int page = pageControl ? pageControl->currentPage() : 0;
        scrollView->setFrame(CGRect{{0, 0}, {W, bannerH}});
        scrollView->setContentSize(CGSize{W * kBannerPages, bannerH});
        for (int i = 0; i < kBannerPages; ++i)
            if (UIView* p = scrollView->viewWithName(bannerPageName(i))) p->setFrame(CGRect{{W * i, 0}, {W, bannerH}});
        scrollView->setContentOffset(CGPoint{W * page, 0});
    }
    if (pageControl) pageControl->setFrame(CGRect{{(W - kPageControlSize.width) / 2, bannerH - 30}, kPageControlSize});
    if (showTimePage) showTimePage->setFrame(CGRect{{0, 0}, {W, bannerH}});
    const CGFloat gridW = 3 * kButtonWidth + 2 * kButtonGap;
    const CGFloat gridH = 2 * kButtonHeight + kButtonGap;
    const CGFloat x0 = (W - gridW) / 2;
    const CGFloat y0 = bannerH + std::max<CGFloat>(0, (H - bannerH - gridH) / 2);
    int i = 0;
    for (const HomeButton& button : kButtons) {
        if (auto* b = root->viewWithName<UIButton>(button.name))
            b->setFrame(CGRect{{x0 + (i % 3) * (kButtonWidth + kButtonGap), y0 + (i / 3) * (kButtonHeight + kButtonGap)},
                               {kButtonWidth, kButtonHeight}});
        ++i;
    }
}

bool ViewControllerHD::isBannerTimerValid() const { return pptTimer_ && pptTimer_->isValid(); }

// ---------------------------------------------------------------- the banner

void ViewControllerHD::scrollBannerTo(int page) {
    if (!scrollView) return;
    const CGRect f = scrollView->frame();
    scrollView->scrollRectToVisible(CGRect{{page * f.size.width, f.origin.y}, f.size}, true);
}

void ViewControllerHD::slideChange() {
    if (!pageControl) return;
    const int pages = pageControl->numberOfPages();
    if (pages <= 0) return;
    const int next = (pageControl->currentPage() + 1) % pages;
    scrollBannerTo(next);
    pageControl->setCurrentPage(next);
}

void ViewControllerHD::pageValueChangedManually() {
    if (pageControl) scrollBannerTo(pageControl->currentPage());
}

void ViewControllerHD::scrollViewDidEndDecelerating(UIScrollView* s) {
    // A swipe on the banner moves the indicator with it.
    if (s != scrollView || !pageControl) return;
    const CGFloat width = s->frame().size.width;
    if (width > 0) pageControl->setCurrentPage(static_cast<int>(s->contentOffset().x / width + 0.5));
}

// ---------------------------------------------------------------- the buttons

void ViewControllerHD::presentScreen(std::shared_ptr<UIViewController> screen) {
    // One screen at a time: a second tap during a presentation opens nothing.
    if (!screen || presentedViewController()) return;
    presentViewController(std::move(screen), true);
}

void ViewControllerHD::presentLiveView() {
    if (!liveViewController_ || presentedViewController()) return;
    presentViewController(liveViewController_, true);
    isOnLivePage_ = presentedViewController() == liveViewController_.get();
}

void ViewControllerHD::presentFileView() { presentScreen(std::make_shared<FileMgmtControllerHD>()); }

void ViewControllerHD::presentConfView() {
    auto settings = std::make_shared<SysConfigurationViewControllerHD>();
    settings->delegate = this;
    presentScreen(settings);
}

void ViewControllerHD::presentHelpView() {
    auto help = std::make_shared<HelpAndAboutViewController>();
    help->delegate = this;
    presentScreen(std::make_shared<UINavigationController>(help));
}

void ViewControllerHD::presentRemoteView() {
    auto list = std::make_shared<DeviceMgmtController>(1);
    list->delegate = this;
    presentScreen(list);
}

void ViewControllerHD::cancelButtonTapped() { dismissViewControllerAnimated(true); }

void ViewControllerHD::configViewControllerDidClose(UIViewController*) { dismissViewControllerAnimated(true); }
void ViewControllerHD::configViewControllerDidCommit(UIViewController*) { dismissViewControllerAnimated(true); }
void ViewControllerHD::helpControllerDidClose(HelpAndAboutViewController*) { dismissViewControllerAnimated(true); }
void ViewControllerHD::deviceMgmtControllerDidClose(DeviceMgmtController*) { dismissViewControllerAnimated(true); }

// ---------------------------------------------------------------- the application delegate's requests

void ViewControllerHD::skipToLiveView() {
    view();  // the live screen is made when the view loads
    if (!liveViewController_) return;
    if (UIViewController* shown = presentedViewController()) {
        if (shown == liveViewController_.get()) {
            isOnLivePage_ = true;
            return;
        }
        // Settings, help, media or recordings are up: they give way to the
        // live view, which would otherwise not be shown at all.
        dismissViewControllerAnimated(false);
    }
    presentLiveView();
}

void ViewControllerHD::playDevice(const std::shared_ptr<Device>& device, int32_t channel) {
    if (!device) return;
    if (!isOnLivePage_) skipToLiveView();
    if (liveViewController_) liveViewController_->playDv(device, channel);
}

void ViewControllerHD::liveViewStopAll() {
    if (liveViewController_) liveViewController_->stopAll();
}

void ViewControllerHD::startShan() {
    if (liveViewController_) liveViewController_->startshan();
}

void ViewControllerHD::startAutoPlay() {
    if (isOnLivePage_ && liveViewController_) liveViewController_->startAutoPlay();
}

}  // namespace lumora
