#include "ui/common/ALAirplayView.h"

#include "ui/kit/CGContext.h"
#include "ui/kit/UILongPressGestureRecognizer.h"

namespace lumora {

ALAirplayView::ALAirplayView(const CGRect& frame) : UIView(frame) {
    setOpaque(false);
    pressGesture_ = std::make_shared<UILongPressGestureRecognizer>();
    pressGesture_->minimumPressDuration = 0.01;
    pressGesture_->setCancelsTouchesInView(false);
    pressGesture_->addTarget(this, [this](UIGestureRecognizer& r) { pressed(r); });
    addGestureRecognizer(pressGesture_);
}

void ALAirplayView::pressed(UIGestureRecognizer& recognizer) {
    if (!delegate_) return;
    switch (recognizer.state()) {
    case UIGestureRecognizerState::Began: delegate_->airplayButtonTouchedDown(); break;
    case UIGestureRecognizerState::Ended: {
        CGPoint p = recognizer.locationInView(this);
        const CGRect b = bounds();
        if (p.x >= 0 && p.y >= 0 && p.x < b.size.width && p.y < b.size.height) delegate_->airplayButtonTouchedUpInside();
        else delegate_->airplayButtonTouchedUpOutside();
        break;
    }
    case UIGestureRecognizerState::Cancelled:
    case UIGestureRecognizerState::Failed: delegate_->airplayButtonTouchFailed(); break;
    default: break;
    }
}

void ALAirplayView::drawRect(const CGRect& rect) {
    CGContext* ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    // A screen with a triangle under it: the route symbol.
    const CGFloat w = rect.size.width, h = rect.size.height;
    ctx->saveGState();
    ctx->setStrokeColor(UIColor::whiteColor());
    ctx->setLineWidth(1.5);
    ctx->strokeRect(CGRect{{w * 0.15, h * 0.15}, {w * 0.7, h * 0.5}});
    ctx->setFillColor(UIColor::whiteColor());
    ctx->beginPath();
    ctx->moveToPoint(w * 0.5, h * 0.55);
    ctx->addLineToPoint(w * 0.3, h * 0.85);
    ctx->addLineToPoint(w * 0.7, h * 0.85);
    ctx->closePath();
    ctx->fillPath();
    ctx->restoreGState();
}

}  // namespace lumora
