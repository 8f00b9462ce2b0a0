#include "ui/common/ALMoviePlayerControlsBar.h"

#include "ui/kit/CGContext.h"

namespace lumora {

ALMoviePlayerControlsBar::ALMoviePlayerControlsBar(const CGRect& frame) : UIView(frame) { setOpaque(false); }

void ALMoviePlayerControlsBar::setColor(const UIColor& color) {
    if (color == color_) return;
    color_ = color;
    ++redraws_;
    setNeedsDisplay();
}

void ALMoviePlayerControlsBar::drawRect(const CGRect& rect) {
    CGContext* ctx = UIGraphicsGetCurrentContext();
    if (!ctx || color_.isNull()) return;
    ctx->setFillColor(color_);
    ctx->fillRect(rect);
}

}  // namespace lumora
