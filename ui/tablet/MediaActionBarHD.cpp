#include "ui/tablet/MediaActionBarHD.h"

#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "app/core/QvUtility.h"
#include "platform/text/Localization.h"
#include "ui/common/QvToastViewHD.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWindow.h"
#include "ui/tablet/TranslucentToolbar.h"

namespace lumora {

namespace {

constexpr const char* kToolbarName = "mediaToolBar";

UIButton* imageButton(const CGRect& frame, const std::string& name, const std::string& image,
                      std::function<void()> action) {
    auto* b = new UIButton(frame);
    setViewName(b, name);
    b->setBackgroundImage(UIImage::imageNamed(image + ".png"), UIControlStateNormal);
    b->setBackgroundImage(UIImage::imageNamed(image + "_clk.png"), UIControlStateHighlighted);
    b->addTarget(nullptr, [action = std::move(action)](UIControl*, UIEvent*) {
        if (action) action();
    }, UIControlEventTouchUpInside);
    return b;
}

}  // namespace

UIImageView* MediaActionBarHD::makeBackground(CGFloat width) {
    auto* bg = new UIImageView(UIImage::imageNamed("ttoolbarbg.png"));
    setViewName(bg, "toolBarBgView");
    bg->setUserInteractionEnabled(true);
    bg->setFrame(CGRectMake(0, 0, width, kHeight));
    return bg;
}

void MediaActionBarHD::installToolbar(UIImageView* background, UILabel* centre, Actions actions) {
    if (!background) return;
    const CGFloat width = background->frame().size.width;
    if (auto* old = background->viewWithName(kToolbarName)) {
        // The centre label is the caller's: keep it out of the old bar's deletion.
        if (centre && centre->superview()) centre->removeFromSuperview();
        old->removeFromSuperview();
        old->deleteLater();
    }
    auto* bar = new TranslucentToolbar(CGRectMake(0, 7, width, 44));
    setViewName(bar, kToolbarName);
    bar->setBackgroundColor(UIColor::clearColor());

    auto* back = imageButton(CGRectMake(0, 0, 41, 41), "backButton", "back", std::move(actions.back));
    auto* actionView = new UIView(CGRectMake(0, 0, 201, kHeight));
    setViewName(actionView, "mediaActions");
    actionView->setBackgroundColor(UIColor::clearColor());
    auto* save = imageButton(CGRectMake(0, 9, 155, 41), "saveButton", "savetoalbum", std::move(actions.save));
    save->setTitle(Localization::string("SavetoPhoto"));
    save->setFont(UIFont::boldSystemFontOfSize(14));
    actionView->addSubview(save);
    actionView->addSubview(imageButton(CGRectMake(161, 9, 41, 41), "deleteButton", "collect", std::move(actions.remove)));

    std::vector<std::shared_ptr<UIBarButtonItem>> items{
        UIBarButtonItem::withCustomView(back),
        UIBarButtonItem::withSystemItem(UIBarButtonSystemItem::FlexibleSpace, nullptr)};
    items.push_back(UIBarButtonItem::withCustomView(actionView));
    bar->setItems(std::move(items), true);
    // The title sits in the middle of the bar whatever the widths of the
    // buttons on either side.
    if (centre) {
        const CGRect f = centre->frame();
        centre->setFrame(CGRectMake((width - f.size.width) / 2, (44 - f.size.height) / 2, f.size.width, f.size.height));
        bar->addSubview(centre);
    }
    background->addSubview(bar);
}

CGRect MediaActionBarHD::viewFrame(const UIViewController& screen) {
    if (UIWindow* w = screen.window()) return w->bounds();
    const CGRect portrait = UIScreen::mainScreen().bounds();
    return CGRectMake(0, 0, portrait.size.height, portrait.size.width);
}

bool MediaActionBarHD::removeFile(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::remove(path, ec) && !ec) return true;
    QvUtility::showAlert(Localization::string("DeleteFailed"), Localization::string("DeleteFailedDetail"));
    return false;
}

namespace {

// Holds the viewers' toasts over the whole view. While a toast shows, the
// picture below ignores touches as under any toast, but the action bar
// stays live: a tap on Back during "Saved" goes back. Without a toast the
// host lets every touch through.
class ToastHost : public UIView {
public:
    explicit ToastHost(const CGRect& frame) : UIView(frame) {
        setBackgroundColor(UIColor::clearColor());
        setViewName(this, "toastHost");
    }
    UIView* hitTest(CGPoint point, UIEvent*) override {
        if (point.y < MediaActionBarHD::kHeight || subviews().empty()) return nullptr;
        return CGRectContainsPoint(bounds(), point) ? this : nullptr;
    }
    void touchesBegan(const UITouchSet&, UIEvent*) override {}
    void touchesEnded(const UITouchSet&, UIEvent*) override {}
};

}  // namespace

void MediaActionBarHD::showSaved(UIView* view) {
    if (!view) return;
    UIView* host = view->viewWithName("toastHost");
    if (!host) {
        host = new ToastHost(view->bounds());
        host->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        view->addSubview(host);
    }
    view->bringSubviewToFront(host);
    auto* toast = new QvToastViewHD(Localization::string("Saved"));
    toast->presentToastView(host);
}

}  // namespace lumora
