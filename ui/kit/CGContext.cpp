#include "ui/kit/TextAudit.h"
#include "ui/kit/CGContext.h"

#include <QPainter>
#include <QString>

#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"

namespace lumora {

namespace {
CGContext* gCurrent = nullptr;
}

CGContext::CGContext(QPainter& painter) : painter_(painter), previous_(gCurrent) { gCurrent = this; }

CGContext::~CGContext() { gCurrent = previous_; }

CGContext* CGContext::current() { return gCurrent; }

void CGContext::saveGState() {
    saved_.push_back(state_);
    painter_.save();
}

void CGContext::restoreGState() {
    if (saved_.empty()) return;
    state_ = saved_.back();
    saved_.pop_back();
    painter_.restore();
}

void CGContext::setStrokeColor(const UIColor& color) { state_.stroke = color; }
void CGContext::setFillColor(const UIColor& color) { state_.fill = color; }
void CGContext::setLineWidth(CGFloat width) { state_.lineWidth = width; }
void CGContext::setAlpha(CGFloat alpha) { painter_.setOpacity(alpha); }

void CGContext::beginPath() { path_ = QPainterPath(); }
void CGContext::moveToPoint(CGFloat x, CGFloat y) { path_.moveTo(x, y); }
void CGContext::addLineToPoint(CGFloat x, CGFloat y) { path_.lineTo(x, y); }
void CGContext::addRect(const CGRect& r) { path_.addRect(r.origin.x, r.origin.y, r.size.width, r.size.height); }
void CGContext::addEllipseInRect(const CGRect& r) {
    path_.addEllipse(r.origin.x, r.origin.y, r.size.width, r.size.height);
}
void CGContext::closePath() { path_.closeSubpath(); }

void CGContext::strokePath() {
    QPen pen(state_.stroke.brush(), state_.lineWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter_.strokePath(path_, pen);
    path_ = QPainterPath();
}

void CGContext::fillPath() {
    painter_.fillPath(path_, state_.fill.brush());
    path_ = QPainterPath();
}

void CGContext::strokeRect(const CGRect& r) {
    beginPath();
    addRect(r);
    strokePath();
}

void CGContext::fillRect(const CGRect& r) {
    painter_.fillRect(QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height), state_.fill.brush());
}

void CGContext::clearRect(const CGRect& r) {
    auto mode = painter_.compositionMode();
    painter_.setCompositionMode(QPainter::CompositionMode_Clear);
    painter_.fillRect(QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height), Qt::transparent);
    painter_.setCompositionMode(mode);
}

void CGContext::fillEllipseInRect(const CGRect& r) {
    beginPath();
    addEllipseInRect(r);
    fillPath();
}

void CGContext::drawImage(const CGRect& r, const UIImage& image) { image.drawInRect(painter_, r); }

void CGContext::drawText(const std::string& text, const CGRect& r, const UIFont& font, UITextAlignment alignment) {
    int qtAlignment = Qt::AlignVCenter | Qt::TextSingleLine |
                      (alignment == UITextAlignment::Center  ? Qt::AlignHCenter
                       : alignment == UITextAlignment::Right ? Qt::AlignRight
                                                             : Qt::AlignLeft);
    painter_.save();
    painter_.setFont(font.qFont());
    painter_.setPen(state_.fill.qColor());
    TextAudit::drawText(painter_, nullptr, QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height), qtAlignment,
                        QString::fromStdString(text), text, false);
    painter_.restore();
}

}  // namespace lumora
