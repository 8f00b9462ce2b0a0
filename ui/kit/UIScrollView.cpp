#include "ui/kit/UIScrollView.h"

#include <cmath>

#include "platform/runloop/RunLoop.h"
#include "ui/kit/UIGestureRecognizer.h"
#include "ui/kit/UIViewAnimation.h"

namespace lumora {

namespace {
constexpr CGFloat kDragThreshold = 10;
// Faster than this (points per second) a flick turns the page even short of half.
constexpr double kFlickSpeed = 500;

double seconds() { return std::chrono::duration<double>(RunLoop::main().now().time_since_epoch()).count(); }
}  // namespace

// One finger moving more than 10 points: a drag of the scroll view.
class ScrollPanRecognizer : public UIGestureRecognizer {
public:
    explicit ScrollPanRecognizer(UIScrollView* owner) : owner_(owner) {}
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override {
        UIGestureRecognizer::touchesBegan(touches, event);
        if (touches_.size() > 1 && state() == UIGestureRecognizerState::Possible) {
            setState(UIGestureRecognizerState::Failed);
            return;
        }
        start_ = last_ = touches.front()->locationInWindow();
        lastTime_ = seconds();
    }
    void touchesMoved(const UITouchSet& touches, UIEvent*) override {
        if (touches.empty() || touches_.size() != 1) return;
        CGPoint p = touches.front()->locationInWindow();
        double now = seconds();
        if (state() == UIGestureRecognizerState::Possible) {
            if (std::hypot(p.x - start_.x, p.y - start_.y) <= kDragThreshold) return;
            setState(UIGestureRecognizerState::Began);
            if (owner_) owner_->dragBegan();
        } else if (state() != UIGestureRecognizerState::Began && state() != UIGestureRecognizerState::Changed) {
            return;
        }
        double dt = now - lastTime_;
        double vx = dt > 0 ? (p.x - last_.x) / dt : 0, vy = dt > 0 ? (p.y - last_.y) / dt : 0;
        CGPoint delta{p.x - last_.x, p.y - last_.y};
        if (state() == UIGestureRecognizerState::Began) delta = CGPoint{p.x - start_.x, p.y - start_.y};
        last_ = p;
        lastTime_ = now;
        setState(UIGestureRecognizerState::Changed);
        if (owner_) owner_->dragMoved(delta, vx, vy);
    }
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override {
        UIGestureRecognizer::touchesEnded(touches, event);
        if (!touches_.empty()) return;
        if (state() == UIGestureRecognizerState::Began || state() == UIGestureRecognizerState::Changed) {
            setState(UIGestureRecognizerState::Ended);
            if (owner_) owner_->dragEnded();
        }
    }
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override {
        bool active = state() == UIGestureRecognizerState::Began || state() == UIGestureRecognizerState::Changed;
        UIGestureRecognizer::touchesCancelled(touches, event);
        if (active && owner_) owner_->dragEnded();
    }
    UIScrollView* owner_;

private:
    CGPoint start_, last_;
    double lastTime_ = 0;
};

// Two fingers on a zoomable scroll view: the distance between them scales.
class ScrollPinchRecognizer : public UIGestureRecognizer {
public:
    explicit ScrollPinchRecognizer(UIScrollView* owner) : owner_(owner) {}
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override {
        UIGestureRecognizer::touchesBegan(touches, event);
        if (touches_.size() == 2 && state() == UIGestureRecognizerState::Possible &&
            owner_->maximumZoomScale() > owner_->minimumZoomScale() && owner_->delegate &&
            owner_->delegate->viewForZoomingInScrollView(owner_)) {
            startDistance_ = distance();
            setState(UIGestureRecognizerState::Began);
            owner_->pinchBegan();
        }
    }
    void touchesMoved(const UITouchSet&, UIEvent*) override {
        if (state() != UIGestureRecognizerState::Began && state() != UIGestureRecognizerState::Changed) return;
        if (touches_.size() < 2 || startDistance_ <= 0) return;
        setState(UIGestureRecognizerState::Changed);
        owner_->pinchChanged(distance() / startDistance_);
    }
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override {
        bool active = state() == UIGestureRecognizerState::Began || state() == UIGestureRecognizerState::Changed;
        UIGestureRecognizer::touchesEnded(touches, event);
        if (active && touches_.size() < 2) {
            setState(UIGestureRecognizerState::Ended);
            owner_->pinchEnded();
        }
    }
    UIScrollView* owner_;

private:
    double distance() const {
        CGPoint a = touches_[0]->locationInWindow(), b = touches_[1]->locationInWindow();
        return std::hypot(a.x - b.x, a.y - b.y);
    }
    double startDistance_ = 0;
};

UIScrollView::UIScrollView(const CGRect& frame) : UIView(frame) {
    setMultipleTouchEnabled(true);
    pan_ = std::make_shared<ScrollPanRecognizer>(this);
    pinch_ = std::make_shared<ScrollPinchRecognizer>(this);
    addGestureRecognizer(pan_);
    addGestureRecognizer(pinch_);
}

UIScrollView::~UIScrollView() {
    pan_->owner_ = nullptr;
    pinch_->owner_ = nullptr;
}

void UIScrollView::setScrollEnabled(bool on) {
    scrollEnabled_ = on;
    pan_->setEnabled(on);
}

void UIScrollView::setContentSize(CGSize size) { contentSize_ = size; }

void UIScrollView::setContentOffset(CGPoint offset, bool animated) {
    bool moved = !(offset == offset_);
    offset_ = offset;
    relayoutChildrenGeometry();
    update();
    QPointer<UIScrollView> self(this);
    if (moved && delegate) delegate->scrollViewDidScroll(this);
    if (animated && self) {
        UIViewAnimation::schedule(0, [self] {
            if (self && self->delegate) self->delegate->scrollViewDidEndScrollingAnimation(self);
        });
    }
}

CGPoint UIScrollView::clamped(CGPoint p) const {
    CGFloat maxX = std::max(0.0, contentSize_.width - bounds().size.width);
    CGFloat maxY = std::max(0.0, contentSize_.height - bounds().size.height);
    return CGPoint{std::clamp(p.x, 0.0, maxX), std::clamp(p.y, 0.0, maxY)};
}

void UIScrollView::scrollRectToVisible(const CGRect& r, bool animated) {
    CGPoint o = offset_;
    CGSize s = bounds().size;
    if (r.origin.x < o.x) o.x = r.origin.x;
    else if (CGRectGetMaxX(r) > o.x + s.width) o.x = CGRectGetMaxX(r) - s.width;
    if (r.origin.y < o.y) o.y = r.origin.y;
    else if (CGRectGetMaxY(r) > o.y + s.height) o.y = CGRectGetMaxY(r) - s.height;
    o = clamped(o);
    if (!(o == offset_)) setContentOffset(o, animated);
}

void UIScrollView::dragBegan() {
    dragging_ = true;
    dragStartOffset_ = offset_;
    if (delegate) delegate->scrollViewWillBeginDragging(this);
}

void UIScrollView::dragMoved(CGPoint delta, double vx, double vy) {
    velocityX_ = vx;
    velocityY_ = vy;
    CGPoint o{offset_.x - delta.x, offset_.y - delta.y};
    bool canX = contentSize_.width > bounds().size.width || alwaysBounceHorizontal;
    bool canY = contentSize_.height > bounds().size.height || alwaysBounceVertical;
    if (!canX) o.x = offset_.x;
    if (!canY) o.y = offset_.y;
    if (!bounces) o = clamped(o);
    setContentOffset(o, false);
}

void UIScrollView::dragEnded() {
    if (!dragging_) return;
    dragging_ = false;
    CGPoint target = clamped(offset_);
    if (paging_) {
        CGSize page = bounds().size;
        auto pick = [&](double offset, double start, double velocity, double pageSize, double maxOffset) {
            if (pageSize <= 0) return offset;
            double startPage = std::round(start / pageSize);
            double p = std::round(offset / pageSize);
            if (std::fabs(velocity) > kFlickSpeed) p = velocity < 0 ? startPage + 1 : startPage - 1;
            p = std::clamp(p, startPage - 1, startPage + 1);
            return std::clamp(p * pageSize, 0.0, maxOffset);
        };
        CGFloat maxX = std::max(0.0, contentSize_.width - page.width);
        CGFloat maxY = std::max(0.0, contentSize_.height - page.height);
        target.x = pick(offset_.x, dragStartOffset_.x, velocityX_, page.width, maxX);
        target.y = pick(offset_.y, dragStartOffset_.y, velocityY_, page.height, maxY);
    }
    bool decelerate = !(target == offset_);
    QPointer<UIScrollView> self(this);
    if (delegate) delegate->scrollViewDidEndDragging(this, decelerate);
    if (!self || !decelerate) return;
    decelerating_ = true;
    if (delegate) delegate->scrollViewWillBeginDecelerating(this);
    if (!self) return;
    setContentOffset(target, false);
    UIViewAnimation::schedule(0, [self] {
        if (!self) return;
        self->decelerating_ = false;
        if (self->delegate) self->delegate->scrollViewDidEndDecelerating(self);
    });
}

void UIScrollView::applyZoom(CGFloat scale) {
    UIView* zv = delegate ? delegate->viewForZoomingInScrollView(this) : nullptr;
    zoom_ = scale;
    if (!zv) return;
    zv->setTransformScale(scale);
    CGRect f = zv->frame();
    zv->setFrame(CGRect{{0, 0}, f.size});
    setContentSize(f.size);
    if (delegate) delegate->scrollViewDidZoom(this);
}

void UIScrollView::setZoomScale(CGFloat scale, bool animated) {
    scale = std::clamp(scale, minZoom_, std::max(minZoom_, maxZoom_));
    applyZoom(scale);
    setContentOffset(clamped(offset_), false);
    if (animated && delegate) {
        QPointer<UIScrollView> self(this);
        UIViewAnimation::schedule(0, [self, scale] {
            if (self && self->delegate)
                self->delegate->scrollViewDidEndZooming(self, self->delegate->viewForZoomingInScrollView(self), scale);
        });
    }
}

void UIScrollView::pinchBegan() {
    zooming_ = true;
    pinchStartZoom_ = zoom_;
    if (delegate) delegate->scrollViewWillBeginZooming(this, delegate->viewForZoomingInScrollView(this));
}

void UIScrollView::pinchChanged(CGFloat factor) {
    CGFloat s = std::clamp(pinchStartZoom_ * factor, minZoom_, std::max(minZoom_, maxZoom_));
    applyZoom(s);
}

void UIScrollView::pinchEnded() {
    zooming_ = false;
    setContentOffset(clamped(offset_), false);
    if (delegate) delegate->scrollViewDidEndZooming(this, delegate->viewForZoomingInScrollView(this), zoom_);
}

}  // namespace lumora
