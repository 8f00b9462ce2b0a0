#include "ui/kit/UIProgressView.h"

#include <QPainter>
#include <algorithm>

#include "ui/kit/CGContext.h"

namespace lumora {

UIProgressView::UIProgressView(UIProgressViewStyle style) : UIView(CGRectMake(0, 0, 150, 9)), style_(style) {
    setUserInteractionEnabled(false);
}

void UIProgressView::setProgress(float progress, bool) {
    progress_ = std::clamp(progress, 0.0f, 1.0f);
    update();
}

void UIProgressView::drawRect(const CGRect& rect) {
    CGContext* ctx = CGContext::current();
    if (!ctx) return;
    QPainter& p = ctx->painter();
    p.setRenderHint(QPainter::Antialiasing, true);
    QColor track = trackTintColor.isNull() ? (style_ == UIProgressViewStyle::Bar ? QColor(160, 160, 160) : QColor(230, 230, 230))
                                           : trackTintColor.qColor();
    QColor fill = progressTintColor.isNull() ? QColor(40, 110, 220) : progressTintColor.qColor();
    QRectF r(0.5, 0.5, rect.size.width - 1, rect.size.height - 1);
    p.setPen(QPen(QColor(120, 120, 120), 1));
    p.setBrush(track);
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(r.x(), r.y(), r.width() * progress_, r.height()), r.height() / 2, r.height() / 2);
}

}  // namespace lumora
