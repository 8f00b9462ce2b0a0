#include "ui/phone/LiveToolBar.h"

#include <memory>

#include "ui/kit/ToggleLook.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UIViewAnimation.h"

namespace lumora {

const CGRect LiveToolBar::kMoreOpen{{0, 42}, {320, 42}};
const CGRect LiveToolBar::kMoreClosed{{0, 84}, {320, 42}};

namespace {

using Tool = LiveToolBarDelegate::Tool;

void onTap(UIButton* b, LiveToolBarDelegate* delegate, Tool tool) {
    if (b) b->addTarget(delegate, [delegate, tool](UIControl* c, UIEvent*) {
        delegate->liveToolBarDidTap(tool, static_cast<UIButton*>(c));
    }, UIControlEventTouchUpInside);
}

}  // namespace

UIButton* LiveToolBar::makeButton(UIView* parent, const std::string& name, const std::string& image, CGRect frame) {
    auto* b = new UIButton(frame);
    auto img = UIImage::imageNamed(image);
    b->setImage(img, UIControlStateNormal);
    setToggleOnLook(b, toggleOnAccent());
    setViewName(b, name);
    parent->addSubview(b);
    return b;
}

LiveToolBar::LiveToolBar(const CGRect& frame, LiveToolBarDelegate* delegate) : UIScrollView(frame) {
    setViewName(this, "toolBarView");
    const struct {
        const char* name;
        const char* image;
        Tool tool;
    } tools[] = {{"ptzbtn", "ptz.png", Tool::Ptz},           {"voiceButton", "voice.png", Tool::Listen},
                 {"talkButton", "talk.png", Tool::Talk},      {"recordButton", "record.png", Tool::Record},
                 {"snapshotButton", "snapshot.png", Tool::Snapshot}, {"moreButon", "more.png", Tool::More}};
    for (int i = 0; i < 6; ++i) {
        UIButton* b = makeButton(this, tools[i].name, tools[i].image, CGRect{{6 + 52.0 * i, 0}, {44, 43}});
        if (tools[i].tool == Tool::Record) setToggleOnLook(b, recordingAccent());
        if (tools[i].tool == Tool::Ptz) ptzButton_ = b;
        if (tools[i].tool == Tool::More) moreButton_ = b;
        if (tools[i].tool == Tool::Listen) listenButton_ = b;
        if (tools[i].tool == Tool::Talk) talkButton_ = b;
        if (tools[i].tool == Tool::Record) recordButton_ = b;
        onTap(b, delegate, tools[i].tool);
    }
}

UIScrollView* LiveToolBar::makePtzStrip(const CGRect& frame, LiveToolBarDelegate* delegate) {
    auto* strip = new UIScrollView(frame);
    setViewName(strip, "ptzScrollView");
    const struct {
        const char* name;
        const char* image;
        int code;
    } buttons[] = {
        {"ptzUp", "up.png", 9},           {"ptzDown", "down.png", 10},       {"ptzLeft", "left.png", 11},
        {"ptzRight", "right.png", 12},    {"zoomIn", "zoomdown.png", 5},     {"zoomOut", "zoomup.png", 6},
        {"focusIncrease", "tup.png", 7},  {"focusDecrease", "tdown.png", 8}, {"irisIncrease", "iup.png", 13},
        {"irisDecrease", "idown.png", 14},
    };
    for (int i = 0; i < 10; ++i) {
        UIButton* b = makeButton(strip, buttons[i].name, buttons[i].image, CGRect{{4 + 53.0 * i, 0}, {44, 43}});
        const int code = buttons[i].code;
        b->addTarget(delegate, [delegate, code](UIControl*, UIEvent*) { delegate->liveToolBarPtzPressed(code); },
                     UIControlEventTouchDown);
        b->addTarget(delegate, [delegate](UIControl*, UIEvent*) { delegate->liveToolBarPtzReleased(); },
                     UIControlEventTouchUpInside | UIControlEventTouchUpOutside | UIControlEventTouchCancel);
    }
    return strip;
}

UIView* LiveToolBar::makeMorePanel(LiveToolBarDelegate* delegate) {
    auto* more = new UIView(kMoreClosed);
    more->setBackgroundColor(UIColor::colorWithRed(0.17, 0.18, 0.21, 1));
    setViewName(more, "moreView");
    // The device button opens the device list: there the stored devices are
    // viewed, edited and deleted, and its add button brings up the ways of
    // adding one.
    const struct {
        const char* name;
        const char* image;
        Tool tool;
    } buttons[] = {{"settingButton", "setting.png", Tool::Settings}, {"abtButton", "about.png", Tool::About},
                   {"fileButton", "media.png", Tool::Files},         {"remoteButton", "remote.png", Tool::Remote},
                   {"addButon", "dvcadd.png", Tool::Devices},         {"layoutButton", "4viewmode.png", Tool::Layout}};
    for (int i = 0; i < 6; ++i)
        onTap(makeButton(more, buttons[i].name, buttons[i].image, CGRect{{6 + 52.0 * i, 1}, {40, 40}}), delegate,
              buttons[i].tool);
    return more;
}

void LiveToolBar::attachPanels(UIScrollView* ptzStrip, UIView* morePanel) {
    ptzStrip_ = ptzStrip;
    morePanel_ = morePanel;
}

void LiveToolBar::showBackgrounds() {
    auto bkg = UIImage::imageNamed("toolbar_bkg.png");
    for (UIScrollView* s : {static_cast<UIScrollView*>(this), ptzStrip_.data()}) {
        if (!s) continue;
        auto* iv = new UIImageView(bkg);
        iv->setFrame(CGRect{{0, 0}, {530, 43}});
        s->insertSubviewAtIndex(iv, 0);
    }
    setContentSize(CGSize{320, 0});
    if (ptzStrip_) {
        ptzStrip_->setContentSize(CGSize{530, 0});
        ptzStrip_->setHidden(true);
    }
}

bool LiveToolBar::isMorePanelOpen() const { return morePanel_ && morePanel_->frame().origin.y == 42; }

void LiveToolBar::closePanels() {
    WeakView<LiveToolBar> bar = this;
    UIViewAnimation::animateWithDuration(0.5, [bar] {
        if (!bar) return;
        if (bar->isMorePanelOpen()) bar->morePanel_->setFrame(kMoreClosed);
        if (bar->ptzStrip_) bar->ptzStrip_->setHidden(true);
        if (bar->ptzButton_) bar->ptzButton_->setSelected(false);
        if (bar->moreButton_) bar->moreButton_->setSelected(false);
    });
}

void LiveToolBar::togglePtzStrip(UIButton* sender) {
    WeakView<LiveToolBar> bar = this;
    UIViewAnimation::animateWithDuration(0.5, [bar] {
        if (!bar || !bar->isMorePanelOpen()) return;
        bar->morePanel_->setFrame(kMoreClosed);
        if (bar->moreButton_) bar->moreButton_->setSelected(false);
        if (bar->ptzStrip_) bar->ptzStrip_->setHidden(true);
    });
    if (!ptzStrip_) return;
    // Toggle against the strip's state before the tap.
    const bool wasHidden = ptzStrip_->isHidden();
    ptzStrip_->setHidden(!wasHidden);
    if (sender) sender->setSelected(wasHidden);
    ptzStrip_->setContentOffset(CGPoint{120, 0}, false);
    ptzStrip_->setContentOffset(CGPoint{0, 0}, true);
}

void LiveToolBar::toggleMorePanel() {
    if (moreButton_) moreButton_->setImage(UIImage::imageNamed("more02.png"), UIControlStateSelected);
    if (ptzStrip_) ptzStrip_->setHidden(true);
    if (ptzButton_) ptzButton_->setSelected(false);
    WeakView<LiveToolBar> bar = this;
    UIViewAnimation::animateWithDuration(0.5, [bar] {
        if (!bar || !bar->morePanel_) return;
        const bool open = bar->isMorePanelOpen();
        bar->morePanel_->setFrame(open ? kMoreClosed : kMoreOpen);
        if (bar->moreButton_) bar->moreButton_->setSelected(!open);
    });
}

void LiveToolBar::markListening(bool on) {
    if (listenButton_) listenButton_->setSelected(on);
}

void LiveToolBar::markTalking(bool on) {
    if (talkButton_) talkButton_->setSelected(on);
}

void LiveToolBar::markRecording(bool on) {
    if (recordButton_) recordButton_->setSelected(on);
}

void LiveToolBar::clearMarks() {
    markTalking(false);
    markListening(false);
    markRecording(false);
}

}  // namespace lumora
