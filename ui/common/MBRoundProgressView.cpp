#include "ui/common/MBRoundProgressView.h"

#include <algorithm>
#include <cmath>

#include "ui/kit/CGContext.h"
#include "ui/kit/UIColor.h"

namespace lumora {

MBRoundProgressView::MBRoundProgressView() {
    setFrame(CGRectMake(0, 0, 37, 37));
    setOpaque(false);
    setBackgroundColor(UIColor::clearColor());
    setViewName(this, "roundProgress");
}

void MBRoundProgressView::drawRect(const CGRect& rect) {
    CGContext* ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    const CGFloat x = rect.origin.x, y = rect.origin.y, w = rect.size.width, h = rect.size.height;
    ctx->setLineWidth(2.0);
    ctx->beginPath();
    ctx->addEllipseInRect(CGRectMake(x + 2, y + 2, w - 4, h - 4));
    ctx->setFillColor(UIColor::colorWithWhite(1, 0.1));
    ctx->fillPath();
    ctx->beginPath();
    ctx->addEllipseInRect(CGRectMake(x + 2, y + 2, w - 4, h - 4));
    ctx->setStrokeColor(UIColor::whiteColor());
    ctx->strokePath();
    // The pie: clockwise from twelve o'clock.
    const float p = std::clamp(progress(), 0.0f, 1.0f);
    if (p <= 0) return;
    // Clockwise from twelve o'clock, as a fine polygon along the arc.
    const CGFloat cx = w / 2, cy = h / 2, r = (w - 4) / 2;
    const int steps = std::max(2, static_cast<int>(std::ceil(p * 120)));
    ctx->beginPath();
    ctx->moveToPoint(cx, cy);
    for (int k = 0; k <= steps; ++k) {
        double a = -M_PI / 2 + 2 * M_PI * p * k / steps;
        ctx->addLineToPoint(cx + r * std::cos(a), cy + r * std::sin(a));
    }
    ctx->closePath();
    ctx->setFillColor(UIColor::whiteColor());
    ctx->fillPath();
}

}  // namespace lumora
