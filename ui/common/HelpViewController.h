#pragma once

#include "ui/kit/WeakView.h"
#include "ui/kit/UIPageControl.h"
#include "ui/kit/UIScrollView.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWebView.h"

namespace lumora {

// Help pages (full-screen pictures paged sideways with a page indicator;
// four phone pictures or two tablet ones) or, with aboutFlag 1, the
// feedback page of the maker's web site in a web view. Addresses come from
// the configuration (webSite, productName).
class HelpViewController : public UIViewController, public UIScrollViewDelegate {
public:
    static constexpr const char* kFeedbackVersion = "1.0.1";

    // 1: the feedback page; anything else: the help pages.
    int aboutFlag = 0;
    // 1: a Cancel button that dismisses the screen (modal presentation).
    int presentMode = 0;

    UIScrollView* scrollview() const { return scrollview_.data(); }
    UIPageControl* pageControl() const { return pageControl_.data(); }
    UIWebView* webView() const { return webView_.data(); }

    void loadView() override;
    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return o == UIInterfaceOrientation::Portrait;
    }

    void scrollViewDidEndDecelerating(UIScrollView* scrollView) override;
    void pageValueChangedManually(UIPageControl* control);
    // Loads the help web page ("ipadhelp.html" on a tablet, else "help.html")
    // and brings the web view to the front.
    void openHelp();
    void onClose();

    // The feedback address: <webSite>send.php?N=<product>&V=1.0.1.
    static std::string feedbackURL();
    static std::string helpURL();

private:
    void buildPhonePages();
    void buildTabletPages();

    WeakView<UIScrollView> scrollview_;
    WeakView<UIPageControl> pageControl_;
    WeakView<UIWebView> webView_;
};

}  // namespace lumora
