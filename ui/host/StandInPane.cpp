#include "ui/host/StandInPane.h"

#include "ui/kit/CGContext.h"
#include "ui/kit/UIFont.h"

namespace lumora {

StandInPane::StandInPane(const CGRect& frame, int number) : UIView(frame), number_(number) {
    setBackgroundColor(UIColor::colorWithWhite(0.12, 1));
}

void StandInPane::setSelected(bool selected) {
    selected_ = selected;
    setNeedsDisplay();
}

void StandInPane::touchesEnded(const UITouchSet&, UIEvent*) {
    if (onTap) onTap(this);
}

void StandInPane::drawRect(const CGRect& rect) {
    CGContext* ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    ctx->setFillColor(UIColor::colorWithWhite(0.55, 1));
    ctx->drawText("Channel " + std::to_string(number_), rect, UIFont::boldSystemFontOfSize(14), UITextAlignment::Center);
    ctx->saveGState();
    ctx->setLineWidth(2);
    ctx->setStrokeColor(selected_ ? UIColor::colorWithRed(231 / 255.0, 92 / 255.0, 24 / 255.0, 1)
                                  : UIColor::colorWithWhite(0.5, 1));
    ctx->beginPath();
    ctx->moveToPoint(0, 0);
    ctx->addLineToPoint(rect.size.width, 0);
    ctx->addLineToPoint(rect.size.width, rect.size.height);
    ctx->addLineToPoint(0, rect.size.height);
    ctx->closePath();
    ctx->strokePath();
    ctx->restoreGState();
}

}  // namespace lumora
