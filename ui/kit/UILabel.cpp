#include "ui/kit/TextAudit.h"
#include "ui/kit/UILabel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextOption>
#include <cmath>

#include "ui/kit/CGContext.h"

namespace lumora {

UILabel::UILabel(const CGRect& frame) : UIView(frame) { setUserInteractionEnabled(false); }

void UILabel::setText(const std::string& text) {
    text_ = text;
    update();
}
void UILabel::setFont(const UIFont& font) {
    font_ = font;
    update();
}
void UILabel::setTextColor(const UIColor& color) {
    textColor_ = color;
    update();
}
void UILabel::setHighlightedTextColor(const UIColor& color) {
    highlightedTextColor_ = color;
    update();
}
void UILabel::setTextBackingColor(const UIColor& color) {
    backing_ = color;
    update();
}
void UILabel::setHighlighted(bool on) {
    highlighted_ = on;
    update();
}
void UILabel::setTextAlignment(UITextAlignment a) {
    alignment_ = a;
    update();
}
void UILabel::setLineBreakMode(UILineBreakMode m) {
    lineBreak_ = m;
    update();
}
void UILabel::setNumberOfLines(int n) {
    lines_ = n;
    update();
}
void UILabel::setAdjustsFontSizeToFitWidth(bool on) {
    shrink_ = on;
    update();
}
void UILabel::setMinimumFontSize(CGFloat s) {
    minimumFontSize_ = s;
    update();
}

CGFloat UILabel::displayedFontSize() const {
    if (!shrink_ || lines_ != 1) return font_.pointSize();
    CGFloat size = font_.pointSize();
    CGFloat floor = minimumFontSize_ > 0 ? minimumFontSize_ : 1;
    QString s = QString::fromStdString(text_);
    while (size > floor) {
        UIFont f = font_.isBold() ? UIFont::boldSystemFontOfSize(size) : UIFont::systemFontOfSize(size);
        if (QFontMetricsF(f.qFont()).horizontalAdvance(s) <= bounds().size.width) break;
        size -= 1;
    }
    return std::max(size, floor);
}

std::string UILabel::displayedText() const {
    if (lines_ != 1) return text_;
    CGFloat size = displayedFontSize();
    UIFont f = font_.isBold() ? UIFont::boldSystemFontOfSize(size) : UIFont::systemFontOfSize(size);
    QFontMetricsF m(f.qFont());
    QString s = QString::fromStdString(text_);
    Qt::TextElideMode mode = Qt::ElideNone;
    switch (lineBreak_) {
    case UILineBreakMode::TailTruncation: mode = Qt::ElideRight; break;
    case UILineBreakMode::MiddleTruncation: mode = Qt::ElideMiddle; break;
    case UILineBreakMode::HeadTruncation: mode = Qt::ElideLeft; break;
    default: break;
    }
    if (mode == Qt::ElideNone) return text_;
    return m.elidedText(s, mode, bounds().size.width).toStdString();
}

CGSize UILabel::sizeThatFits(CGSize) const {
    QFontMetricsF m(font_.qFont());
    return CGSize{std::ceil(m.horizontalAdvance(QString::fromStdString(text_))), std::ceil(m.height())};
}

void UILabel::drawRect(const CGRect& rect) {
    CGContext* ctx = CGContext::current();
    if (!ctx || text_.empty()) return;
    QPainter& p = ctx->painter();
    CGFloat size = displayedFontSize();
    UIFont f = font_.isBold() ? UIFont::boldSystemFontOfSize(size) : UIFont::systemFontOfSize(size);
    p.setFont(f.qFont());
    UIColor c = highlighted_ && !highlightedTextColor_.isNull() ? highlightedTextColor_ : textColor_;
    p.setPen(c.qColor());
    int h = alignment_ == UITextAlignment::Center  ? Qt::AlignHCenter
            : alignment_ == UITextAlignment::Right ? Qt::AlignRight
                                                   : Qt::AlignLeft;
    QRectF r(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    if (!backing_.isNull()) {
        const QString all = QString::fromStdString(lines_ == 1 ? displayedText() : text_);
        QRectF ink = QFontMetricsF(f.qFont()).boundingRect(
            r, h | Qt::AlignVCenter | (lines_ == 1 ? Qt::TextSingleLine : Qt::TextWordWrap), all);
        ink = ink.adjusted(-3, -1, 3, 1) & r;
        p.save();
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        p.setBrush(backing_.qColor());
        p.drawRoundedRect(ink, 3, 3);
        p.restore();
    }
    if (lines_ == 1) {
        const std::string shown = displayedText();
        TextAudit::drawText(p, this, r, h | Qt::AlignVCenter | Qt::TextSingleLine, QString::fromStdString(shown), text_,
                            shown != text_);
    } else {
        TextAudit::drawText(p, this, r, h | Qt::AlignVCenter | Qt::TextWordWrap, QString::fromStdString(text_), text_,
                            false);
    }
}

}  // namespace lumora
