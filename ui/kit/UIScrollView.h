#pragma once

#include <QPointer>
#include <memory>

#include "ui/kit/UIView.h"

namespace lumora {

class UIScrollView;

// Optional callbacks; each has an empty default.
class UIScrollViewDelegate {
public:
    virtual ~UIScrollViewDelegate() = default;
    virtual void scrollViewDidScroll(UIScrollView*) {}
    virtual void scrollViewWillBeginDragging(UIScrollView*) {}
    virtual void scrollViewDidEndDragging(UIScrollView*, bool /*willDecelerate*/) {}
    virtual void scrollViewWillBeginDecelerating(UIScrollView*) {}
    virtual void scrollViewDidEndDecelerating(UIScrollView*) {}
    virtual void scrollViewDidEndScrollingAnimation(UIScrollView*) {}
    virtual UIView* viewForZoomingInScrollView(UIScrollView*) { return nullptr; }
    virtual void scrollViewWillBeginZooming(UIScrollView*, UIView*) {}
    virtual void scrollViewDidZoom(UIScrollView*) {}
    virtual void scrollViewDidEndZooming(UIScrollView*, UIView*, CGFloat /*scale*/) {}
};

// A window onto larger content: subviews are laid out in content
// coordinates and shown shifted by the content offset. A finger that moves
// more than 10 points claims the touch as a drag (the touched content view
// gets touchesCancelled); paging snaps to the page chosen by half a page or
// by the finger's speed. Two fingers on a zoomable scroll view pinch: the
// zooming view's frame grows with the scale (bounds stay). Delegate calls
// come in the platform's order: will-begin-dragging, did-scroll per move,
// did-end-dragging, then (when it moves on) will-begin-decelerating,
// did-scroll, did-end-decelerating at the next turn of the run loop.
class UIScrollView : public UIView {
public:
    explicit UIScrollView(const CGRect& frame = CGRectZero);
    ~UIScrollView() override;

    UIScrollViewDelegate* delegate = nullptr;  // not owned

    CGSize contentSize() const { return contentSize_; }
    void setContentSize(CGSize size);
    CGPoint contentOffset() const { return offset_; }
    void setContentOffset(CGPoint offset, bool animated = false);
    UIEdgeInsets contentInset;
    void scrollRectToVisible(const CGRect& rect, bool animated);
    CGPoint boundsOrigin() const override { return offset_; }

    bool isPagingEnabled() const { return paging_; }
    void setPagingEnabled(bool on) { paging_ = on; }
    bool isScrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool on);
    bool bounces = true;
    bool alwaysBounceVertical = false;
    bool alwaysBounceHorizontal = false;
    bool showsHorizontalScrollIndicator = true;
    bool showsVerticalScrollIndicator = true;
    bool delaysContentTouches = true;
    bool canCancelContentTouches = true;
    bool isDragging() const { return dragging_; }
    bool isDecelerating() const { return decelerating_; }
    bool isZooming() const { return zooming_; }

    CGFloat minimumZoomScale() const { return minZoom_; }
    void setMinimumZoomScale(CGFloat s) { minZoom_ = s; }
    CGFloat maximumZoomScale() const { return maxZoom_; }
    void setMaximumZoomScale(CGFloat s) { maxZoom_ = s; }
    CGFloat zoomScale() const { return zoom_; }
    void setZoomScale(CGFloat scale, bool animated = false);

    // The scroll view keeps touches it gets itself (the content's touches
    // reach it only when the content passes them up).
    void touchesBegan(const UITouchSet&, UIEvent*) override {}
    void touchesMoved(const UITouchSet&, UIEvent*) override {}
    void touchesEnded(const UITouchSet&, UIEvent*) override {}
    void touchesCancelled(const UITouchSet&, UIEvent*) override {}

    // ---- from the drag and pinch recognisers
    void dragBegan();
    void dragMoved(CGPoint delta, double velocityX, double velocityY);
    void dragEnded();
    void pinchBegan();
    void pinchChanged(CGFloat factor);
    void pinchEnded();

private:
    CGPoint clamped(CGPoint p) const;
    void applyZoom(CGFloat scale);

    CGSize contentSize_;
    CGPoint offset_;
    bool paging_ = false;
    bool scrollEnabled_ = true;
    bool dragging_ = false;
    bool decelerating_ = false;
    bool zooming_ = false;
    CGPoint dragStartOffset_;
    double velocityX_ = 0, velocityY_ = 0;
    CGFloat minZoom_ = 1, maxZoom_ = 1, zoom_ = 1, pinchStartZoom_ = 1;
    std::shared_ptr<class ScrollPanRecognizer> pan_;
    std::shared_ptr<class ScrollPinchRecognizer> pinch_;
};

}  // namespace lumora
