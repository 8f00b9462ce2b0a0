#include "platform/graphics/View.h"

#include <cmath>

#include "platform/graphics/Screen.h"

namespace lumora {

namespace {

double positiveOr(double v, double fallback) { return std::isfinite(v) && v > 0 ? v : fallback; }

}  // namespace

View::View() : contentScaleFactor_(positiveOr(Screen::main().scale(), 1.0)) {}

View::View(const Rect& frame) : View() { setFrame(frame); }

Rect View::frame() const {
    const double w = boundsSize_.width * transformScale_;
    const double h = boundsSize_.height * transformScale_;
    return Rect{center_.x - w / 2, center_.y - h / 2, w, h};
}

void View::setFrame(const Rect& frame) {
    boundsSize_ = Size{frame.width / transformScale_, frame.height / transformScale_};
    center_ = Point{frame.x + frame.width / 2, frame.y + frame.height / 2};
}

void View::setTransformScale(double scale) { transformScale_ = positiveOr(scale, 1.0); }

void View::setContentScaleFactor(double scale) { contentScaleFactor_ = positiveOr(scale, 1.0); }

}  // namespace lumora
