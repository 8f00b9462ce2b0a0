#include "ui/kit/UIActivityIndicatorView.h"

#include <QPainter>
#include <cmath>

#include "ui/kit/CGContext.h"

namespace lumora {

UIActivityIndicatorView::UIActivityIndicatorView(UIActivityIndicatorViewStyle style)
    : UIView(style == UIActivityIndicatorViewStyle::WhiteLarge ? CGRectMake(0, 0, 37, 37) : CGRectMake(0, 0, 20, 20)),
      style_(style) {
    setUserInteractionEnabled(false);
    setHidden(true);
}

void UIActivityIndicatorView::startAnimating() {
    animating_ = true;
    setHidden(false);
}

void UIActivityIndicatorView::stopAnimating() {
    animating_ = false;
    if (hidesWhenStopped_) setHidden(true);
}

void UIActivityIndicatorView::setHidesWhenStopped(bool on) {
    hidesWhenStopped_ = on;
    if (!animating_) setHidden(on);
}

void UIActivityIndicatorView::setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style) {
    style_ = style;
    update();
}

void UIActivityIndicatorView::drawRect(const CGRect& rect) {
    CGContext* ctx = CGContext::current();
    if (!ctx) return;
    QPainter& p = ctx->painter();
    p.setRenderHint(QPainter::Antialiasing, true);
    QColor c = style_ == UIActivityIndicatorViewStyle::Gray ? QColor(90, 90, 90) : QColor(255, 255, 255);
    CGFloat cx = rect.size.width / 2, cy = rect.size.height / 2, r = std::min(cx, cy);
    for (int i = 0; i < 12; ++i) {
        double a = i * M_PI / 6;
        c.setAlphaF(0.25 + 0.75 * i / 11.0);
        p.setPen(QPen(c, std::max(2.0, r / 5), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(cx + std::cos(a) * r * 0.45, cy + std::sin(a) * r * 0.45),
                   QPointF(cx + std::cos(a) * r * 0.85, cy + std::sin(a) * r * 0.85));
    }
}

}  // namespace lumora
