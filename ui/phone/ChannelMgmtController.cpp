#include "ui/phone/ChannelMgmtController.h"

#include <algorithm>

#include "app/core/QvApplicationPreference.h"
#include "platform/dispatch/NotificationCenter.h"
#include "ui/common/QvScrollView.h"
#include "ui/common/UIDeviceiPhone5.h"
#include "ui/kit/NSNotificationQueue.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UIViewAnimation.h"
#include "ui/phone/ChannelViewController.h"

namespace lumora {

namespace {

// The panes: the chosen channel large, the others small beside or under it.
// Portrait: the large pane's height; landscape: its width.
constexpr CGFloat kBigPaneHeight = 260;
constexpr CGFloat kBigPaneWidth = 375;
// The small panes' pitch, and their size upright and on the side.
constexpr CGFloat kThumbPitch = 107;
constexpr CGSize kPortraitThumbSize{106, 85};
constexpr CGSize kLandscapeThumbSize{105, 106};

}  // namespace

ChannelMgmtController::ChannelMgmtController() = default;

ChannelMgmtController::~ChannelMgmtController() {
    for (auto& pane : channelControllers_) pane->setTouchDelegate(nullptr);
}

void ChannelMgmtController::loadView() {
    auto* v = new UIView(UIScreen::mainScreen().bounds());
    v->setAutoresizesSubviews(true);
    setViewName(v, "channelGrid");
    setView(v);
}

void ChannelMgmtController::viewDidLoad() {
    const unsigned count = QvApplicationPreference::sharedInstance().maxNumberOfLiveViews();
    for (unsigned i = 0; i < count; ++i) {
        auto pane = ChannelViewController::create();
        pane->setTouchDelegate(this);
        UIView* pv = pane->view();
        setViewName(pv, "pane" + std::to_string(i + 1));
        view()->addSubview(pv);
        addChildViewController(pane);
        channelControllers_.push_back(std::move(pane));
    }
    setChannelViewNumber(QvApplicationPreference::sharedInstance().numberOfLiveViews());
}

void ChannelMgmtController::setChannelViewNumber(unsigned n) {
    view();
    n = std::min<unsigned>(n, static_cast<unsigned>(channelControllers_.size()));
    channelViewNumber_ = n;
    for (unsigned i = 0; i < n; ++i) channelControllers_[i]->view()->setHidden(false);
    for (size_t i = n; i < channelControllers_.size(); ++i) {
        auto& pane = channelControllers_[i];
        Notification note{ChannelSessionAutoCloseNotification, this,
                          ChannelSessionAutoClose{pane->deviceId(), pane->channel()}};
        NSNotificationQueue::defaultQueue().enqueueNotification(note, NSPostingStyle::ASAP, false);
        pane->stopLive();
        pane->view()->setHidden(true);
    }
    // The portrait arrangement for the screen size (the landscape flag is not consulted here).
    if (UIDeviceiPhone5::isIPhone5()) layoutChannelViewsVerticallyForIPhone5();
    else layoutChannelViewsVertically();
    if (selected_) selected_->setSelected(false);
    selected_ = channelControllers_.empty() ? nullptr : channelControllers_[0].get();
    if (selected_) selected_->setSelected(true);
}

void ChannelMgmtController::setIsLandscapeLayout(bool landscape) {
    isLandscapeLayout_ = landscape;
    view()->setBackgroundColor(UIColor::colorWithPatternImage(UIImage::imageNamed(landscape ? "heng.png" : "maotouying.png")));
    applyArrangement();
}

void ChannelMgmtController::setIsBannerClicked(bool clicked) {
    isBannerClicked_ = clicked;
    if (UIDeviceiPhone5::isIPhone5()) layoutChannelViewsVerticallyForIPhone5();
    else layoutChannelViewsVertically();
}

void ChannelMgmtController::applyArrangement() {
    const bool tall = UIDeviceiPhone5::isIPhone5();
    if (isLandscapeLayout_) tall ? layoutChannelViewsHorizontallyForIPhone5() : layoutChannelViewsHorizontally();
    else tall ? layoutChannelViewsVerticallyForIPhone5() : layoutChannelViewsVertically();
}

void ChannelMgmtController::place(int index, const CGRect& frame, bool small, bool frameFirst) {
    if (index < 0 || static_cast<size_t>(index) >= channelControllers_.size()) return;
    auto& pane = channelControllers_[index];
    if (frameFirst) {
        pane->updateChannelViewFrame(frame);
        pane->setHasSmallView(small);
    } else {
        pane->setHasSmallView(small);
        pane->updateChannelViewFrame(frame);
    }
    if (index == 0) view()->sendSubviewToBack(pane->view());
}

void ChannelMgmtController::layoutChannelViewsVertically() {
    const CGRect b = view()->bounds();
    const CGFloat X = b.origin.x, Y = b.origin.y, W = b.size.width, H = b.size.height;
    if (channelViewNumber_ <= 1) {
        CGFloat y = Y;
        if (isBannerClicked_ && channelViewNumber_ == 1) y = (H - kBigPaneHeight) / 2;
        place(0, CGRect{{X, y}, {W, H - 3}}, false);
        return;
    }
    place(0, CGRect{{X, Y}, {W, kBigPaneHeight}}, false);
    for (unsigned i = 1; i < channelViewNumber_; ++i)
        place(i, CGRect{{X + (i - 1) * kThumbPitch, Y + kBigPaneHeight}, kPortraitThumbSize}, true);
}

void ChannelMgmtController::layoutChannelViewsVerticallyForIPhone5() {
    const CGRect b = view()->bounds();
    const CGFloat X = b.origin.x, Y = b.origin.y, W = b.size.width, H = b.size.height;
    if (channelViewNumber_ <= 1) {
        CGFloat y = Y;
        if (isBannerClicked_ && channelViewNumber_ == 1) y = (H - kBigPaneHeight) / 2;
        place(0, CGRect{{X, y}, {W, H - 3}}, false);
        return;
    }
    place(0, CGRect{{X, Y}, {W, kBigPaneHeight}}, false);
    place(1, CGRect{{X, Y + kBigPaneHeight}, {2 * W / 3, H - kBigPaneHeight}}, true);
    for (unsigned i = 2; i < channelViewNumber_; ++i)
        place(i, CGRect{{X + 2 * W / 3, Y + kBigPaneHeight + (i - 2) * (H - kBigPaneHeight) / 2},
                        {W / 3, (H - kBigPaneHeight) / 2}},
              true);
}

void ChannelMgmtController::layoutChannelViewsHorizontally() {
    const CGRect b = view()->bounds();
    const CGFloat Y = b.origin.y, W = b.size.width;
    const CGFloat S = UIScreen::mainScreen().bounds().size.width;
    if (channelViewNumber_ <= 1) {
        place(0, CGRect{{0, Y}, {W, S}}, false);
        return;
    }
    place(0, CGRect{{0, Y}, {kBigPaneWidth, S}}, false);
    for (unsigned i = 1; i < channelViewNumber_; ++i)
        place(i, CGRect{{kBigPaneWidth, Y + (i - 1) * kThumbPitch}, kLandscapeThumbSize}, true, true);
}

void ChannelMgmtController::layoutChannelViewsHorizontallyForIPhone5() {
    const CGRect b = view()->bounds();
    const CGFloat Y = b.origin.y, W = b.size.width, H = b.size.height;
    const CGFloat S = UIScreen::mainScreen().bounds().size.width;
    if (channelViewNumber_ <= 1) {
        place(0, CGRect{{0, Y}, {W, S}}, false);
        return;
    }
    place(0, CGRect{{0, Y}, {kBigPaneWidth, S}}, false);
    place(1, CGRect{{kBigPaneWidth, Y}, {W - kBigPaneWidth, 2 * H / 3}}, true);
    for (unsigned i = 2; i < channelViewNumber_; ++i)
        place(i, CGRect{{kBigPaneWidth + (i - 2) * (W - kBigPaneWidth) / 2, Y + 2 * H / 3},
                        {(W - kBigPaneWidth) / 2, H / 3}},
              true);
}

ChannelViewController* ChannelMgmtController::findAvailableChannelViewController() const {
    if (selected_ && !selected_->isBusy()) return selected_;
    for (unsigned i = 0; i < channelViewNumber_ && i < channelControllers_.size(); ++i)
        if (!channelControllers_[i]->isBusy()) return channelControllers_[i].get();
    return selected_;
}

ChannelViewController* ChannelMgmtController::findWorkingChannelViewControllerForDevice(int deviceId,
                                                                                       int channel) const {
    for (unsigned i = 0; i < channelViewNumber_ && i < channelControllers_.size(); ++i) {
        auto& p = channelControllers_[i];
        if (p->isBusy() && p->deviceId() == deviceId && p->channel() == channel) return p.get();
    }
    return nullptr;
}

ChannelViewController* ChannelMgmtController::findAudioPlayingViewController() const {
    for (unsigned i = 0; i < channelViewNumber_ && i < channelControllers_.size(); ++i)
        if (channelControllers_[i]->isStartAudio()) return channelControllers_[i].get();
    return nullptr;
}

ChannelViewController* ChannelMgmtController::findTalkingViewController() const {
    for (unsigned i = 0; i < channelViewNumber_ && i < channelControllers_.size(); ++i)
        if (channelControllers_[i]->isStartTalk()) return channelControllers_[i].get();
    return nullptr;
}

void ChannelMgmtController::stopAllLive() {
    for (unsigned i = 0; i < channelViewNumber_ && i < channelControllers_.size(); ++i)
        channelControllers_[i]->stopLive();
}

void ChannelMgmtController::enableChannelViewRendering(bool enable) {
    for (unsigned i = 0; i < channelViewNumber_ && i < channelControllers_.size(); ++i)
        channelControllers_[i]->setStopRenderingFrame(!enable);
}

int ChannelMgmtController::indexOfChannelViewController(const ChannelViewController* pane) const {
    for (size_t i = 0; i < channelControllers_.size(); ++i)
        if (channelControllers_[i].get() == pane) return static_cast<int>(i);
    return -1;
}

ChannelViewController* ChannelMgmtController::channelViewControllerAtIndex(int index) const {
    return sharedChannelViewControllerAtIndex(index).get();
}

std::shared_ptr<ChannelViewController> ChannelMgmtController::sharedChannelViewControllerAtIndex(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= channelControllers_.size()) return nullptr;
    return channelControllers_[index];
}

void ChannelMgmtController::select(ChannelViewController* pane) {
    if (selected_ == pane) {
        if (pane) pane->setSelected(true);
        return;
    }
    if (selected_) selected_->setSelected(false);
    selected_ = pane;
    if (selected_) selected_->setSelected(true);
}

// ---------------------------------------------------------------- touches

void ChannelMgmtController::touchesBegan(const UITouchSet& touches, UIEvent* event) {
    if (event && event->allTouches().size() > 1) return;
    if (touches.size() != 1) return;
    dragging_ = nullptr;
    UIView* touched = touches.front()->view();
    if (!touched) return;
    for (unsigned i = 0; i < channelViewNumber_ && i < channelControllers_.size(); ++i) {
        auto& pane = channelControllers_[i];
        QvScrollView* sv = pane->scrollView();
        if (sv && (touched->superview() == sv || touched == sv)) {
            draggingViewOrigFrame_ = sv->superview()->frame();
            dragging_ = pane.get();
            p_ = touches.front()->locationInView(sv);
            return;
        }
    }
}

void ChannelMgmtController::touchesMoved(const UITouchSet& touches, UIEvent* event) {
    if (!dragging_ || touches.empty()) return;
    if (event && event->allTouches().size() > 1) return;
    UITouch* touch = touches.front();
    if (!dragging_->hasSmallView()) {
        const double now = CACurrentMediaTime() * 1000.0;
        if (now - curentpttzTime_ < kSwipeInterval) return;
        curentpttzTime_ = now;
        CGPoint cur = touch->locationInView(view());
        if (cur.x - p_.x > kSwipeDistance) dragging_->ptzControl(11);
        else if (p_.x - cur.x > kSwipeDistance) dragging_->ptzControl(12);
        if (cur.y - p_.y > kSwipeDistance) dragging_->ptzControl(9);
        else if (p_.y - cur.y > kSwipeDistance) dragging_->ptzControl(10);
        return;
    }
    UIView* pv = dragging_->view();
    const CGRect b = view()->bounds();
    CGPoint c = touch->locationInView(view());
    const CGFloat hw = pv->frame().size.width / 2, hh = pv->frame().size.height / 2;
    c.x = std::clamp(c.x, hw, std::max(hw, b.size.width - hw));
    c.y = std::clamp(c.y, hh, std::max(hh, b.size.height - hh));
    pv->setCenter(c);
    view()->bringSubviewToFront(pv);
    const int from = indexOfChannelViewController(dragging_);
    for (unsigned i = 0; i < channelViewNumber_ && i < channelControllers_.size(); ++i) {
        auto& other = channelControllers_[i];
        if (other.get() == dragging_) continue;
        const CGRect f = other->view()->frame();
        if (c.x >= f.origin.x && c.x < f.origin.x + f.size.width && c.y >= f.origin.y &&
            c.y < f.origin.y + f.size.height) {
            std::swap(channelControllers_[from], channelControllers_[i]);
            UIView* ov = other->view();
            const CGRect target = draggingViewOrigFrame_;
            std::shared_ptr<ChannelViewController> moved = channelControllers_[from];
            UIViewAnimation::animateWithDuration(0.3, [moved, target] { moved->updateChannelViewFrame(target); });
            (void)ov;
            break;
        }
    }
}

void ChannelMgmtController::touchesEnded(const UITouchSet&, UIEvent*) {
    if (dragging_) {
        if (!dragging_->hasSmallView()) dragging_->ptzControl(0);
        else select(dragging_);
        Notification note{ChannelViewSelectionChangeNotification, this, selected_ ? selected_->deviceId() : -1};
        NSNotificationQueue::defaultQueue().enqueueNotification(note, NSPostingStyle::ASAP, true);
        dragging_ = nullptr;
        UIViewAnimation::animateWithDuration(0.3, [this] { applyArrangement(); });
    }
    p_ = CGPoint{0, 0};
}

void ChannelMgmtController::touchesCancelled(const UITouchSet&, UIEvent*) {
    if (dragging_ && !dragging_->hasSmallView()) dragging_->ptzControl(0);
    dragging_ = nullptr;
    p_ = CGPoint{0, 0};
}

}  // namespace lumora
