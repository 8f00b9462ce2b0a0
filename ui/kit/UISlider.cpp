#include "ui/kit/UISlider.h"

#include <QPainter>
#include <algorithm>

#include "ui/kit/CGContext.h"

namespace lumora {

namespace {
constexpr CGFloat kThumb = 23;
}

UISlider::UISlider(const CGRect& frame) : UIControl(CGRect{frame.origin, {frame.size.width, std::max(23.0, frame.size.height)}}) {}

void UISlider::setValue(float value, bool) {
    value_ = std::clamp(value, minimumValue, std::max(minimumValue, maximumValue));
    update();
}

void UISlider::setThumbImage(std::shared_ptr<UIImage> image, unsigned state) {
    if (state == UIControlStateNormal) thumbImage = std::move(image);
    update();
}

CGPoint UISlider::pointForValue(float v) const {
    CGFloat span = std::max(0.0, bounds().size.width - kThumb);
    float range = maximumValue - minimumValue;
    CGFloat k = range > 0 ? (v - minimumValue) / range : 0;
    return CGPoint{kThumb / 2 + span * k, bounds().size.height / 2};
}

float UISlider::valueAt(CGPoint p) const {
    CGFloat span = std::max(1.0, bounds().size.width - kThumb);
    CGFloat k = std::clamp((p.x - kThumb / 2) / span, 0.0, 1.0);
    return static_cast<float>(minimumValue + k * (maximumValue - minimumValue));
}

void UISlider::follow(UITouch* touch, UIEvent* event) {
    float v = valueAt(touch->locationInView(this));
    if (v == value_) return;
    value_ = v;
    update();
    movedSinceEnd_ = true;
    if (continuous) sendActionsForControlEvents(UIControlEventValueChanged, event);
}

bool UISlider::beginTracking(UITouch* touch, UIEvent* event) {
    movedSinceEnd_ = false;
    follow(touch, event);
    return true;
}

bool UISlider::continueTracking(UITouch* touch, UIEvent* event) {
    follow(touch, event);
    return true;
}

void UISlider::endTracking(UITouch*, UIEvent* event) {
    if (!continuous && movedSinceEnd_) sendActionsForControlEvents(UIControlEventValueChanged, event);
    movedSinceEnd_ = false;
}

void UISlider::drawRect(const CGRect& rect) {
    CGContext* ctx = CGContext::current();
    if (!ctx) return;
    QPainter& p = ctx->painter();
    p.setRenderHint(QPainter::Antialiasing, true);
    CGPoint t = pointForValue(value_);
    CGFloat cy = rect.size.height / 2;
    if (minimumTrackImage) minimumTrackImage->drawInRect(p, CGRectMake(0, cy - 5, t.x, 10));
    else p.fillRect(QRectF(kThumb / 2, cy - 2, t.x - kThumb / 2, 4), QColor(40, 110, 220));
    if (maximumTrackImage) maximumTrackImage->drawInRect(p, CGRectMake(t.x, cy - 5, rect.size.width - t.x, 10));
    else p.fillRect(QRectF(t.x, cy - 2, rect.size.width - kThumb / 2 - t.x, 4), QColor(190, 190, 190));
    if (thumbImage) {
        CGSize s = thumbImage->size();
        thumbImage->drawInRect(p, CGRectMake(t.x - s.width / 2, cy - s.height / 2, s.width, s.height));
    } else {
        p.setBrush(QColor(250, 250, 250));
        p.setPen(QPen(QColor(130, 130, 130), 1));
        p.drawEllipse(QPointF(t.x, cy), kThumb / 2 - 1, kThumb / 2 - 1);
    }
}

}  // namespace lumora
