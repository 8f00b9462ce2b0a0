#include "ui/kit/UISwitch.h"

#include <QPainter>
#include <QPainterPath>

#include "ui/kit/CGContext.h"
#include "ui/kit/UIFont.h"

namespace lumora {

UISwitch::UISwitch(const CGRect& frame) : UIControl(CGRect{frame.origin, {79, 27}}) {}

void UISwitch::setOn(bool on, bool) {
    on_ = on;
    update();
}

void UISwitch::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    QPointer<UISwitch> self(this);
    bool inside = !touches.empty() && trackingInside(touches.front());
    UIControl::touchesEnded(touches, event);
    if (!self || !inside || !isEnabled()) return;
    on_ = !on_;
    update();
    sendActionsForControlEvents(UIControlEventValueChanged, event);
}

void UISwitch::drawRect(const CGRect& rect) {
    CGContext* ctx = CGContext::current();
    if (!ctx) return;
    QPainter& p = ctx->painter();
    p.setRenderHint(QPainter::Antialiasing, true);
    QRectF r(0.5, 0.5, rect.size.width - 1, rect.size.height - 1);
    QPainterPath track;
    track.addRoundedRect(r, r.height() / 2, r.height() / 2);
    QColor on = onTintColor.isNull() ? QColor(0, 127, 234) : onTintColor.qColor();
    p.fillPath(track, on_ ? on : QColor(238, 238, 238));
    p.setPen(QPen(QColor(150, 150, 150), 1));
    p.drawPath(track);
    p.setFont(UIFont::boldSystemFontOfSize(13).qFont());
    p.setPen(on_ ? Qt::white : QColor(110, 110, 110));
    CGFloat knob = r.height();
    QRectF text = on_ ? QRectF(0, 0, rect.size.width - knob, rect.size.height)
                      : QRectF(knob, 0, rect.size.width - knob, rect.size.height);
    p.drawText(text, Qt::AlignCenter, on_ ? "ON" : "OFF");
    QRectF k(on_ ? rect.size.width - knob : 0.5, 0.5, knob - 1, knob - 1);
    p.setBrush(QColor(250, 250, 250));
    p.setPen(QPen(QColor(140, 140, 140), 1));
    p.drawEllipse(k);
}

}  // namespace lumora
