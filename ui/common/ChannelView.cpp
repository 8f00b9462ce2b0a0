#include "ui/common/ChannelView.h"

#include "ui/kit/CGContext.h"

namespace lumora {

ChannelView::ChannelView(const CGRect& frame)
    : ChannelView(frame, UIColor::colorWithRed(231 / 255.0, 92 / 255.0, 24 / 255.0, 1),
                  UIColor::colorWithRed(0.5, 0.5, 0.5, 1)) {}

ChannelView::ChannelView(const CGRect& frame, UIColor selectedColour, UIColor normalColour)
    : UIView(frame), selectedColour_(selectedColour), normalColour_(normalColour) {}

void ChannelView::setSelected(bool selected) {
    selected_ = selected;
    setNeedsDisplay();
}

void ChannelView::drawRect(const CGRect& rect) {
    UIView::drawRect(rect);
    CGContext* ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    ctx->saveGState();
    ctx->setLineWidth(2);
    ctx->setStrokeColor(selected_ ? selectedColour_ : normalColour_);
    // Around the whole view, also when only part of it is redrawn.
    const CGFloat w = bounds().size.width, h = bounds().size.height;
    ctx->beginPath();
    ctx->moveToPoint(0, 0);
    ctx->addLineToPoint(w, 0);
    ctx->addLineToPoint(w, h);
    ctx->addLineToPoint(0, h);
    ctx->closePath();
    ctx->strokePath();
    ctx->restoreGState();
}

}  // namespace lumora
