#include "ui/tablet/ChannelViewHD.h"

#include "ui/kit/CGContext.h"

namespace lumora {

ChannelViewHD::ChannelViewHD(const CGRect& frame) : UIView(frame) {}

void ChannelViewHD::setSelected(bool selected) {
    selected_ = selected;
    setNeedsDisplay();
}

void ChannelViewHD::drawRect(const CGRect& rect) {
    UIView::drawRect(rect);
    CGContext* ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    ctx->saveGState();
    ctx->setLineWidth(2);
    ctx->setStrokeColor(selected_ ? UIColor::colorWithRed(92 / 255.0, 231 / 255.0, 24 / 255.0, 1)
                                  : UIColor::colorWithRed(42 / 255.0, 82 / 255.0, 152 / 255.0, 1));
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
