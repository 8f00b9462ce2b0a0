#include "ui/tablet/ChannelMgmtControllerHD.h"

#include <algorithm>
#include <cmath>

#include "app/core/QvApplicationPreference.h"
#include "ui/kit/UITouch.h"
#include "ui/kit/UIViewAnimation.h"

namespace lumora {

namespace {

// The grid's frame until the live screen sizes it.
constexpr CGRect kGridFrame{{0, 0}, {768, 600}};

// To the nearest whole number, halves away from zero, in single precision.
float nearest(float x) { return std::round(x); }

bool contains(const CGRect& r, CGPoint p) {
    return p.x >= r.origin.x && p.x < r.origin.x + r.size.width && p.y >= r.origin.y &&
           p.y < r.origin.y + r.size.height;
}

int tileCountForMode(int mode) {
    static const int counts[] = {1, 4, 6, 9, 16};
    return mode >= 0 && mode <= 4 ? counts[mode] : 0;
}

}  // namespace

ChannelMgmtControllerHD::ChannelMgmtControllerHD() {
    for (size_t i = 0; i < locationQueue_.size(); ++i) locationQueue_[i] = static_cast<int>(i);
}

ChannelMgmtControllerHD::~ChannelMgmtControllerHD() {
    for (auto& t : channelControllers_) {
        t->setGusdelegate(nullptr);
        t->setTouchDelegate(nullptr);
    }
}

void ChannelMgmtControllerHD::loadView() {
    auto* v = new UIView(kGridFrame);
    v->setBackgroundColor(UIColor::grayColor());
    setViewName(v, "channelGrid");
    setView(v);
}

bool ChannelMgmtControllerHD::createAllChannelViewControllers() {
    channelControllers_.clear();
    for (int i = 0; i < kTileCount; ++i) {
        auto tile = ChannelViewControllerHD::create();
        channelControllers_.push_back(tile);
        tile->channelView()->setLayoutTag(i);
        setViewName(tile->view(), "tile" + std::to_string(i));
        locationQueue_[static_cast<size_t>(i)] = i;
        tile->setGusdelegate(this);
        tile->setTouchDelegate(this);
        view()->addSubview(tile->view());
    }
    return true;
}

bool ChannelMgmtControllerHD::createChannelViewControllerHDIfNeeded(int count) {
    if (count == curViewNum_) return false;
    for (auto& t : channelControllers_) t->view()->setHidden(true);
    return true;
}

CGRect ChannelMgmtControllerHD::cellForPosition(int mode, int p) {
    const CGRect b = view()->bounds();
    const float W = static_cast<float>(b.size.width), H = static_cast<float>(b.size.height);
    const float x0 = static_cast<float>(b.origin.x), y0 = static_cast<float>(b.origin.y);
    auto rect = [](float x, float y, float w, float h) { return CGRect{{x, y}, {w, h}}; };
    switch (mode) {
    case 0: return rect(x0, y0, W, H);
    case 1: {
        const float cw = nearest(W * 0.5f), ch = nearest(H * 0.5f);
        return rect(float(p % 2) * cw, float(p / 2) * ch, cw, ch);
    }
    case 2: {
        const float bw = nearest((W + W) / 3.0f), bh = nearest((H + H) / 3.0f);
        const float sw = nearest(bw * 0.5f), sh = nearest(bh * 0.5f);
        if (p == 0) return rect(x0, y0, bw, bh);
        if (p <= 2) return rect(x0 + bw, float(p - 1) * sh, sw, sh);
        // The bottom row starts two points above the big tile's lower edge.
        return rect(float(p - 3) * sw, 2 * sh - 2, sw, sh);
    }
    case 3: {
        const float cw = nearest(W / 3.0f);
        const float ch = static_cast<float>(static_cast<double>(nearest(H / 3.0f)) + 0.3);
        return rect(float(p % 3) * cw, float(p / 3) * ch, cw, ch);
    }
    case 4: {
        const float cw = nearest(W * 0.25f), ch = nearest(H * 0.25f);
        return rect(float(p % 4) * cw, float(p / 4) * ch, cw, ch);
    }
    default: return CGRectZero;
    }
}

void ChannelMgmtControllerHD::setLayoutMode(int m) {
    curShowingViewIds_.clear();
    auto& pref = QvApplicationPreference::sharedInstance();
    const int n = tileCountForMode(m);
    if (n == 0) {
        pref.setLayoutStyle(0);
        pref.saveApplicationPreference();
        layoutMode_ = m;
        if (onLayoutMode) onLayoutMode(m);
        return;
    }
    const bool changed = createChannelViewControllerHDIfNeeded(n);
    for (int p = 0; p < n && p < numberOfChannelViewControllerHDs(); ++p) {
        const int index = locationQueue_[static_cast<size_t>(p)];
        auto& tile = channelControllers_[static_cast<size_t>(index)];
        UIView* v = tile->view();
        // The tile filling the grid keeps its frame when the count stays.
        if (!(fullMode_ && !changed && index == selectedChannelViewIndex_)) v->setFrame(cellForPosition(m, p));
        if (changed) v->setHidden(false);
        tile->updateChannelViewContentFrame();
        v->setNeedsDisplay();
        curShowingViewIds_.push_back(tile->channelView()->layoutTag());
    }
    curMode_ = m;
    curViewNum_ = n;
    pref.setLayoutStyle(m);
    pref.saveApplicationPreference();
    layoutMode_ = m;
    if (onLayoutMode) onLayoutMode(m);
}

void ChannelMgmtControllerHD::setViewFrame(const CGRect& frame) {
    view()->setFrame(frame);
    setLayoutMode(curMode_);
    ChannelViewControllerHD* tile = ChannelViewControllerHDAtIndex(selectedChannelViewIndex_);
    if (!tile) return;
    if (fullMode_) {
        tile->view()->setFrame(frame);
        tile->updateChannelViewContentFrame();
    }
    tile->setRenderSwitch(true);
}

int ChannelMgmtControllerHD::stopAllLive() {
    int stopped = 0;
    for (auto& t : channelControllers_)
        if (t->isBusy()) {
            t->stopLive();
            ++stopped;
        }
    return stopped;
}

void ChannelMgmtControllerHD::stopLiveForDevice(int deviceId) {
    for (auto& t : channelControllers_)
        if (t->isBusy() && t->deviceId() == deviceId) t->stopLive();
}

ChannelViewControllerHD* ChannelMgmtControllerHD::findAvailableChannelViewControllerHD(int deviceId,
                                                                                      int channel) const {
    for (auto& t : channelControllers_)
        if (t->deviceId() == deviceId && t->channel() == channel) return t.get();
    return findAvailableChannelViewControllerHD();
}

ChannelViewControllerHD* ChannelMgmtControllerHD::findAvailableChannelViewControllerHD() const {
    const int shown = static_cast<int>(curShowingViewIds_.size());
    ChannelViewControllerHD* selected = ChannelViewControllerHDAtIndex(selectedChannelViewIndex_);
    // The selected tile when it stands at a shown position (after a swap it
    // may stand at a hidden one) and is free.
    if (selected && selected->isViewLoaded() && selected->channelView()->layoutTag() < shown && !selected->isBusy())
        return selected;
    for (int p = 0; p < shown; ++p)
        if (auto* t = tileAtPosition(p); t && !t->isBusy()) return t;
    if (selected) return selected;
    // No tile selected (the view was unloaded): the first shown tile, else tile 0.
    if (shown > 0)
        if (auto* t = tileAtPosition(0)) return t;
    return ChannelViewControllerHDAtIndex(0);
}

ChannelViewControllerHD* ChannelMgmtControllerHD::findWorkingChannelViewControllerHDForDevice(int deviceId,
                                                                                             int channel) const {
    for (auto& t : channelControllers_)
        if (t->isBusy() && t->deviceId() == deviceId && t->channel() == channel) return t.get();
    return nullptr;
}

ChannelViewControllerHD* ChannelMgmtControllerHD::findAudioPlayingViewControllerHD() const {
    for (auto& t : channelControllers_)
        if (t->isStartAudio()) return t.get();
    return nullptr;
}

ChannelViewControllerHD* ChannelMgmtControllerHD::findTalkingViewControllerHD() const {
    for (auto& t : channelControllers_)
        if (t->isStartTalk()) return t.get();
    return nullptr;
}

ChannelViewControllerHD* ChannelMgmtControllerHD::ChannelViewControllerHDAtIndex(int index) const {
    if (index < 0 || index >= numberOfChannelViewControllerHDs()) return nullptr;
    return channelControllers_[static_cast<size_t>(index)].get();
}

std::shared_ptr<ChannelViewControllerHD> ChannelMgmtControllerHD::sharedChannelViewControllerHDAtIndex(
    int index) const {
    if (index < 0 || index >= numberOfChannelViewControllerHDs()) return nullptr;
    return channelControllers_[static_cast<size_t>(index)];
}

int ChannelMgmtControllerHD::indexOfChannelViewControllerHD(const ChannelViewControllerHD* tile) const {
    for (size_t i = 0; i < channelControllers_.size(); ++i)
        if (channelControllers_[i].get() == tile) return static_cast<int>(i);
    return -1;
}

ChannelViewControllerHD* ChannelMgmtControllerHD::tileAtPosition(int position) const {
    if (position < 0 || position >= kTileCount) return nullptr;
    return ChannelViewControllerHDAtIndex(locationQueue_[static_cast<size_t>(position)]);
}

void ChannelMgmtControllerHD::deSelectViewAtIndex(int index) {
    if (auto* t = ChannelViewControllerHDAtIndex(index)) t->setSelected(false);
}

void ChannelMgmtControllerHD::openRenderSwitch() {
    for (auto& t : channelControllers_) t->setRenderSwitch(true);
}

void ChannelMgmtControllerHD::viewDidUnload() {
    // A further tile joins the list without a place in the grid view.
    auto extra = ChannelViewControllerHD::create();
    extra->setGusdelegate(this);
    extra->setTouchDelegate(this);
    channelControllers_.push_back(extra);
    selectedChannelViewIndex_ = -1;
}

void ChannelMgmtControllerHD::didReceiveMemoryWarning() {
    stopAllLive();
    UIViewController::didReceiveMemoryWarning();
}

// ---------------------------------------------------------------- full screen

CGRect ChannelMgmtControllerHD::calcUnfullScreenRectForLocation(int a) {
    const CGRect b = view()->bounds();
    const double W = b.size.width, H = b.size.height;
    switch (curMode_) {
    case 1: return CGRect{{W * 0.5 * (a - 2 * (a / 2)), H * 0.5 * (a / 2)}, {W * 0.5, H * 0.5}};
    case 2:
        if (a == 0) return CGRect{{0, 0}, {2 * (W / 3), 2 * (H / 3)}};
        if (a == 1 || a == 2) return CGRect{{2 * (W / 3), (H / 3) * (a - 1)}, {W / 3, H / 3}};
        return CGRect{{(W / 3) * (a - 3), 2 * (H / 3)}, {W / 3, H / 3}};
    case 3: return CGRect{{(W / 3) * (a % 3), (H / 3) * (a / 3)}, {W / 3, H / 3}};
    case 4: return CGRect{{W * 0.25 * (a - 4 * (a / 4)), H * 0.25 * (a / 4)}, {W * 0.25, H * 0.25}};
    default: return CGRect{{0, 0}, {W, H}};
    }
}

void ChannelMgmtControllerHD::setDoubleTappedSubview(ChannelViewControllerHD* tile, bool wish) {
    if (!tile || tapped_ || wish == fullMode_) return;
    std::shared_ptr<ChannelViewControllerHD> keep = sharedChannelViewControllerHDAtIndex(indexOfChannelViewControllerHD(tile));
    if (!keep) return;
    ChannelViewHD* v = keep->channelView();
    std::weak_ptr<ChannelViewControllerHD> weak = keep;
    if (wish) {
        view()->bringSubviewToFront(v);
        UIViewAnimation::animateWithDuration(0.5, [&] {
            v->setFrame(view()->frame());
            keep->updateChannelViewContentFrame();
        }, [weak](bool) {
            auto t = weak.lock();
            if (!t) return;
            t->channelView()->setFullScreen(true);
            t->updateScroviewContentFrame(true);
            t->setRenderSwitch(true);
        });
    } else {
        const CGRect rect = calcUnfullScreenRectForLocation(v->layoutTag());
        UIViewAnimation::animateWithDuration(0.7, [&] {
            v->setFrame(rect);
            v->setFullScreen(false);
            keep->updateScroviewContentFrame(false);
            keep->updateChannelViewContentFrame();
        }, [weak](bool) {
            if (auto t = weak.lock()) t->setRenderSwitch(true);
        });
    }
    fullMode_ = wish;
}

void ChannelMgmtControllerHD::ChannelViewControllerHDViewDoubleClicked(ChannelViewControllerHD* tile,
                                                                        UIGestureRecognizer*) {
    setDoubleTappedSubview(tile, !fullMode_);
}

// ---------------------------------------------------------------- touches

ChannelViewControllerHD* ChannelMgmtControllerHD::tileOfTouchedView(UIView* touched) const {
    if (!touched) return nullptr;
    UIView* parent = touched->superview();
    for (auto& t : channelControllers_)
        if (t->scrollView() && t->scrollView() == parent) return t.get();
    return nullptr;
}

ChannelViewControllerHD* ChannelMgmtControllerHD::tileOfView(const UIView* v) const {
    for (auto& t : channelControllers_)
        if (t->isViewLoaded() && t->view() == v) return t.get();
    return nullptr;
}

void ChannelMgmtControllerHD::touchesBegan(const UITouchSet& touches, UIEvent* event) {
    if (touches.empty()) return;
    // Fingers land one after the other: a second one turns the touch into a
    // two-finger one, which neither drags nor steers, and ends as a cancel.
    if ((event && event->allTouches().size() >= 2) || touches.size() >= 2) {
        multiTouch_ = true;
        touchesCancelled(touches, event);
        return;
    }
    multiTouch_ = false;
    pinching_ = false;
    if (delegate_) delegate_->channelMgmtControllerTouchesBegin(this, touches);
    UITouch* touch = touches.front();
    p_ = touch->locationInView(view());
    draggingView_ = nullptr;
    ChannelViewControllerHD* tile = tileOfTouchedView(touch->view());
    if (!tile) return;
    ChannelViewHD* v = tile->channelView();
    if (v->fullScreen()) return;
    draggingView_ = v;
    draggingViewOrigFrame_ = v->frame();
    view()->bringSubviewToFront(v);
    relativeLocation_ = CGPoint{v->frame().origin.x + v->bounds().size.width / 2 - p_.x,
                                v->frame().origin.y + v->bounds().size.height / 2 - p_.y};
    if (selectedChannelViewIndex_ < 0 || selectedChannelViewIndex_ >= numberOfChannelViewControllerHDs()) return;
    deSelectViewAtIndex(selectedChannelViewIndex_);
    v->setSelected(true);
    selectedChannelViewIndex_ = locationQueue_[static_cast<size_t>(v->layoutTag())];
}

void ChannelMgmtControllerHD::touchesMoved(const UITouchSet& touches, UIEvent* event) {
    if (multiTouch_ || touches.size() != 1 || (event && event->allTouches().size() > 1)) return;
    tapped_ = true;
    UITouch* touch = touches.front();
    const CGPoint loc = touch->locationInView(view());
    if (ChannelViewControllerHD* tile = tileOfTouchedView(touch->view()); tile && tile->channelView()->fullScreen()) {
        const double now = CACurrentMediaTime() * 1000.0;
        if (now - curentpttzTime_ < kSwipeInterval) return;
        curentpttzTime_ = now;
        const CGFloat dx = loc.x - p_.x, dy = loc.y - p_.y;
        if (dx > kSwipeDistance) tile->ptzControl(11);
        else if (-dx > kSwipeDistance) tile->ptzControl(12);
        if (dy > kSwipeDistance) tile->ptzControl(9);
        else if (-dy > kSwipeDistance) tile->ptzControl(10);
    }
    ChannelViewHD* dragged = draggingView_.data();
    if (!dragged) return;
    const CGRect b = view()->bounds();
    const CGFloat hw = dragged->frame().size.width / 2, hh = dragged->frame().size.height / 2;
    CGPoint c{loc.x + relativeLocation_.x, loc.y + relativeLocation_.y};
    c.x = std::min(std::max(c.x, hw), b.size.width - hw);
    c.y = std::min(std::max(c.y, hh), b.size.height - hh);
    dragged->setCenter(c);
    for (auto& t : channelControllers_) {
        ChannelViewHD* other = t->isViewLoaded() ? t->channelView() : nullptr;
        if (!other || other == dragged || other->layoutTag() >= curViewNum_) continue;
        if (!contains(other->frame(), c)) continue;
        const CGRect f = other->frame();
        const int a = dragged->layoutTag(), o = other->layoutTag();
        std::swap(locationQueue_[static_cast<size_t>(a)], locationQueue_[static_cast<size_t>(o)]);
        dragged->setLayoutTag(o);
        other->setLayoutTag(a);
        std::weak_ptr<ChannelViewControllerHD> weak = t;
        const CGRect home = draggingViewOrigFrame_;
        UIViewAnimation::animateWithDuration(0.3, [&] {
            other->setFrame(home);
            t->updateChannelViewContentFrame();
        }, [weak](bool) {
            if (auto tile = weak.lock()) tile->setRenderSwitch(true);
        });
        other->setNeedsDisplay();
        draggingViewOrigFrame_ = f;
        break;
    }
}

void ChannelMgmtControllerHD::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    if (multiTouch_ || touches.size() >= 2 || (event && event->allTouches().size() >= 2)) {
        touchesCancelled(touches, event);
        return;
    }
    if (!touches.empty())
        if (ChannelViewControllerHD* tile = tileOfTouchedView(touches.front()->view());
            tile && tile->channelView()->fullScreen())
            tile->ptzControl(0);
    tapped_ = false;
    ChannelViewHD* dragged = draggingView_.data();
    ChannelViewControllerHD* tile = dragged ? tileAtPosition(dragged->layoutTag()) : tileAtPosition(0);
    if (dragged && tile) {
        std::weak_ptr<ChannelViewControllerHD> weak =
            sharedChannelViewControllerHDAtIndex(indexOfChannelViewControllerHD(tile));
        const CGRect home = draggingViewOrigFrame_;
        UIViewAnimation::animateWithDuration(0.3, [&] {
            dragged->setFrame(home);
            tile->updateChannelViewContentFrame();
            dragged->setNeedsDisplay();
        }, [weak](bool) {
            if (auto t = weak.lock()) t->setRenderSwitch(true);
        });
    }
    if (delegate_) delegate_->channelMgmtControllerTouchesEnd(this, tile, touches);
    draggingView_ = nullptr;
}

void ChannelMgmtControllerHD::touchesCancelled(const UITouchSet&, UIEvent*) {
    tapped_ = false;
    ChannelViewHD* dragged = draggingView_.data();
    if (!fullMode_ && dragged) {
        ChannelViewControllerHD* tile = tileAtPosition(dragged->layoutTag());
        const CGRect home = draggingViewOrigFrame_;
        UIViewAnimation::animateWithDuration(0.3, [&] {
            dragged->setFrame(home);
            if (tile) tile->updateChannelViewContentFrame();
            dragged->setNeedsDisplay();
        }, nullptr);
    }
    draggingView_ = nullptr;
}

}  // namespace lumora
