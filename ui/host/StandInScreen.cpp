#include "ui/host/StandInScreen.h"

#include "app/core/Device.h"
#include "ui/host/StandInPane.h"
#include "ui/kit/UIScreen.h"

namespace lumora {

StandInScreen::StandInScreen(bool tablet) : tablet_(tablet) {}

void StandInScreen::loadView() {
    auto* root = new UIView(UIScreen::mainScreen().bounds());
    setViewName(root, tablet_ ? "ViewControllerHD" : "LiveViewController");
    root->setBackgroundColor(UIColor::colorWithWhite(0.2, 1));
    setView(root);
}

void StandInScreen::viewDidLoad() {
    UIView* root = view();
    auto* title = new UILabel(CGRectZero);
    setViewName(title, "title");
    title->setText(tablet_ ? "lumora HD" : "lumora");
    title->setFont(UIFont::boldSystemFontOfSize(20));
    title->setTextColor(UIColor::whiteColor());
    title->setTextAlignment(UITextAlignment::Center);
    title->setBackgroundColor(UIColor::colorWithRed(0.25, 0.33, 0.45, 1));
    title_ = title;
    root->addSubview(title);
    int count = tablet_ ? 16 : 4;
    for (int i = 0; i < count; ++i) {
        auto* pane = new StandInPane(CGRectZero, i + 1);
        setViewName(pane, "pane" + std::to_string(i + 1));
        pane->onTap = [this, i](StandInPane*) {
            selected_ = i;
            for (size_t k = 0; k < panes_.size(); ++k)
                if (panes_[k]) panes_[k]->setSelected(static_cast<int>(k) == i);
        };
        panes_.push_back(pane);
        root->addSubview(pane);
    }
    panes_[0]->setSelected(true);
    auto* status = new UILabel(CGRectZero);
    setViewName(status, "status");
    status->setTextColor(UIColor::colorWithWhite(0.8, 1));
    status->setFont(UIFont::systemFontOfSize(13));
    status->setTextAlignment(UITextAlignment::Center);
    status->setText(lastRequest_.empty() ? "The screens come in later; this stands in for them."
                                         : "Asked: " + lastRequest_);
    status_ = status;
    root->addSubview(status);
    layout();
}

bool StandInScreen::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) {
    // The tablet is used in landscape, the phone either way.
    return tablet_ ? UIInterfaceOrientationIsLandscape(o) : o != UIInterfaceOrientation::PortraitUpsideDown;
}

void StandInScreen::didRotateFromInterfaceOrientation(UIInterfaceOrientation) { layout(); }

void StandInScreen::layout() {
    UIView* root = viewIfLoaded();
    if (!root) return;
    CGRect b = root->bounds();
    if (title_) title_->setFrame(CGRectMake(0, 0, b.size.width, 44));
    int cols = tablet_ ? 4 : 2;
    int rows = static_cast<int>(panes_.size()) / cols;
    CGFloat top = 50, bottom = 40;
    CGFloat w = (b.size.width - 6) / cols, h = std::min(w * 3 / 4, (b.size.height - top - bottom) / rows);
    for (size_t i = 0; i < panes_.size(); ++i) {
        if (!panes_[i]) continue;
        int r = static_cast<int>(i) / cols, c = static_cast<int>(i) % cols;
        panes_[i]->setFrame(CGRectMake(3 + c * w, top + r * h, w - 2, h - 2));
    }
    if (status_) status_->setFrame(CGRectMake(0, b.size.height - bottom, b.size.width, bottom));
}

void StandInScreen::playDevice(const std::shared_ptr<Device>& device, int32_t channel) {
    if (!device) return;
    note("play \"" + device->name.value() + "\" channel " + std::to_string(channel));
}

void StandInScreen::note(const std::string& what) {
    lastRequest_ = what;
    requests_.push_back(what);
    if (status_) status_->setText("Asked: " + what);
}

}  // namespace lumora
