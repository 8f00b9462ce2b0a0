#include "ui/common/HelpViewController.h"

#include <cctype>
#include <cstdio>

#include "platform/Config.h"
#include "platform/InterfaceIdiom.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UINavigationItem.h"
#include "ui/kit/UIScreen.h"

namespace lumora {

namespace {

std::string queryEscaped(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

std::string onSite(const std::string& path) {
    std::string site = Config::shared().webSite;
    if (!site.empty() && site.back() != '/') site += '/';
    return site + path;
}

}  // namespace

std::string HelpViewController::feedbackURL() {
    return onSite("send.php") + "?N=" + queryEscaped(Config::shared().productName) + "&V=" + kFeedbackVersion;
}

std::string HelpViewController::helpURL() { return onSite(InterfaceIdiom::isPad() ? "ipadhelp.html" : "help.html"); }

void HelpViewController::loadView() {
    auto* v = new UIView(UIScreen::mainScreen().bounds());
    v->setBackgroundColor(UIColor::blackColor());
    setView(v);
    // The web view lies under the pages; openHelp brings it forward.
    auto* web = new UIWebView(v->bounds());
    setViewName(web, "webView");
    web->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    webView_ = web;
    v->addSubview(web);
}

void HelpViewController::viewDidLoad() {
    UIApplication::sharedApplication().setStatusBarHidden(true);
    if (presentMode == 1) {
        std::weak_ptr<UIViewController> weak = weak_from_this();
        navigationItem().setLeftBarButtonItem(
            UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::Cancel, [weak](UIBarButtonItem&) {
                if (auto self = std::dynamic_pointer_cast<HelpViewController>(weak.lock())) self->onClose();
            }));
    }
    if (aboutFlag == 1) {
        if (webView_) webView_->loadRequest(feedbackURL());
        return;
    }
    if (InterfaceIdiom::isPad())
        buildTabletPages();
    else
        buildPhonePages();
    if (scrollview_) {
        scrollview_->setPagingEnabled(true);
        scrollview_->setScrollEnabled(true);
        scrollview_->delegate = this;
        scrollview_->setBackgroundColor(UIColor::colorWithRed(0, 0, 0, 1));
        view()->addSubview(scrollview_);
    }
    if (pageControl_) {
        pageControl_->setCurrentPage(0);
        UIPageControl* pc = pageControl_;
        pc->addTarget(this, [this, pc](UIControl*, UIEvent*) { pageValueChangedManually(pc); },
                      UIControlEventValueChanged);
        view()->addSubview(pageControl_);
    }
}

void HelpViewController::buildPhonePages() {
    const CGRect screen = UIScreen::mainScreen().bounds();
    const CGFloat W = view()->bounds().size.width;
    auto* pager = new UIScrollView(screen);
    setViewName(pager, "helpPager");
    scrollview_ = pager;
    const CGFloat cx = view()->bounds().size.width / 2;
    for (int k = 0; k < 4; ++k) {
        auto image = UIImage::imageNamed("help" + std::to_string(k + 1) + ".png");
        auto* page = new UIImageView(image);
        setViewName(page, "helpPage" + std::to_string(k + 1));
        CGSize size = image ? image->size() : CGSize{W, screen.size.height - 44};
        page->setFrame(CGRectMake(k * W, 0, size.width, size.height));
        page->setCenter(CGPointMake(cx + 320 * k, (screen.size.height - 44) / 2));
        pager->addSubview(page);
    }
    pager->setContentSize(CGSize{4 * W, 0});
    // 50 points wide at x 135 holds three dots: four get a wider control on
    // the same centre, so none is cut off.
    const CGFloat pcWidth = 70;
    auto* pc = new UIPageControl(CGRectMake(160 - pcWidth / 2, screen.size.height >= 568 ? 450 : 400, pcWidth, 20));
    setViewName(pc, "pageControl");
    pc->setNumberOfPages(4);
    pageControl_ = pc;
}

void HelpViewController::buildTabletPages() {
    auto* pager = new UIScrollView(CGRectMake(0, 0, 1024, 724));
    setViewName(pager, "helpPager");
    scrollview_ = pager;
    for (int k = 0; k < 2; ++k) {
        // Read from the picture files, not the image cache.
        auto image = UIImage::imageNamed("Padhelp" + std::to_string(k + 1) + ".png");
        auto* page = new UIImageView(image);
        setViewName(page, "helpPage" + std::to_string(k + 1));
        page->setContentMode(UIViewContentMode::TopLeft);
        page->setFrame(CGRectMake(1024 * k, 0, 1024, 704));
        pager->addSubview(page);
    }
    pager->setContentSize(CGSize{2048, 0});
    auto* pc = new UIPageControl(CGRectMake(112, 600, 50, 20));
    setViewName(pc, "pageControl");
    pc->setNumberOfPages(2);
    pageControl_ = pc;
}

void HelpViewController::scrollViewDidEndDecelerating(UIScrollView* scrollView) {
    if (!scrollView || !pageControl_) return;
    const CGFloat w = scrollView->frame().size.width;
    if (w <= 0) return;
    pageControl_->setCurrentPage(static_cast<int>(scrollView->contentOffset().x / w));
}

void HelpViewController::pageValueChangedManually(UIPageControl* control) {
    if (!control || !scrollview_) return;
    const CGRect f = scrollview_->frame();
    scrollview_->scrollRectToVisible(CGRectMake(f.size.width * control->currentPage(), f.origin.y, f.size.width,
                                                f.size.height),
                                     true);
}

void HelpViewController::openHelp() {
    if (!webView_) return;
    webView_->loadRequest(helpURL());
    if (UIView* v = viewIfLoaded()) v->bringSubviewToFront(webView_);
}

void HelpViewController::onClose() {
    if (auto* nav = navigationController())
        nav->dismissViewControllerAnimated(true);
    else
        dismissViewControllerAnimated(true);
}

}  // namespace lumora
