#include "ui/kit/UIColor.h"

#include <algorithm>

#include "ui/kit/UIImage.h"

namespace lumora {

namespace {
int channel(CGFloat v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }
}  // namespace

UIColor UIColor::colorWithRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
    UIColor c;
    c.valid_ = true;
    c.color_ = QColor(channel(r), channel(g), channel(b), channel(a));
    return c;
}

UIColor UIColor::colorWithWhite(CGFloat w, CGFloat a) { return colorWithRed(w, w, w, a); }

UIColor UIColor::colorWithPatternImage(const std::shared_ptr<UIImage>& image) {
    UIColor c;
    if (!image) return c;
    c.valid_ = true;
    c.color_ = QColor(0, 0, 0, 255);
    c.pattern_ = image;
    return c;
}

UIColor UIColor::fromQColor(const QColor& q) {
    UIColor c;
    c.valid_ = q.isValid();
    c.color_ = q;
    return c;
}

UIColor UIColor::blackColor() { return colorWithWhite(0, 1); }
UIColor UIColor::whiteColor() { return colorWithWhite(1, 1); }
UIColor UIColor::clearColor() { return colorWithWhite(0, 0); }
UIColor UIColor::grayColor() { return colorWithWhite(0.5, 1); }
UIColor UIColor::darkGrayColor() { return colorWithWhite(1.0 / 3, 1); }
UIColor UIColor::lightGrayColor() { return colorWithWhite(2.0 / 3, 1); }
UIColor UIColor::redColor() { return colorWithRed(1, 0, 0, 1); }
UIColor UIColor::greenColor() { return colorWithRed(0, 1, 0, 1); }
UIColor UIColor::blueColor() { return colorWithRed(0, 0, 1, 1); }
UIColor UIColor::yellowColor() { return colorWithRed(1, 1, 0, 1); }
UIColor UIColor::orangeColor() { return colorWithRed(1, 0.5, 0, 1); }
UIColor UIColor::groupTableViewBackgroundColor() { return colorWithRed(0.84, 0.85, 0.89, 1); }

UIColor UIColor::colorWithAlphaComponent(CGFloat a) const {
    UIColor c = *this;
    if (c.valid_) c.color_.setAlpha(channel(a));
    return c;
}

QBrush UIColor::brush() const {
    if (!valid_) return QBrush(Qt::NoBrush);
    if (pattern_ && !pattern_->qImage().isNull()) return QBrush(pattern_->qImage());
    return QBrush(color_);
}

}  // namespace lumora
