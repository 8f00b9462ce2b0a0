#include "ui/kit/TextAudit.h"
#include "ui/kit/UISegmentedControl.h"

#include <algorithm>

#include <QFontMetricsF>
#include <QPainter>

#include "ui/kit/CGContext.h"
#include "ui/kit/UIFont.h"

namespace lumora {

UISegmentedControl::UISegmentedControl(const std::vector<std::string>& titles)
    : UIControl(CGRectMake(0, 0, 60.0 * std::max<size_t>(1, titles.size()), 30)) {
    for (const auto& t : titles) segments_.push_back(Segment{t, nullptr, true});
}

void UISegmentedControl::insertSegmentWithTitle(const std::string& title, int index) {
    index = std::clamp(index, 0, numberOfSegments());
    segments_.insert(segments_.begin() + index, Segment{title, nullptr, true});
    if (selected_ >= index) ++selected_;
    update();
}

void UISegmentedControl::setTitle(const std::string& title, int s) {
    if (s < 0 || s >= numberOfSegments()) return;
    segments_[s].title = title;
    update();
}

std::string UISegmentedControl::titleForSegmentAtIndex(int s) const {
    return s >= 0 && s < numberOfSegments() ? segments_[s].title : std::string();
}

void UISegmentedControl::setImage(std::shared_ptr<UIImage> image, int s) {
    if (s < 0 || s >= numberOfSegments()) return;
    segments_[s].image = std::move(image);
    update();
}

void UISegmentedControl::setEnabled(bool enabled, int s) {
    if (s < 0 || s >= numberOfSegments()) return;
    segments_[s].enabled = enabled;
    update();
}

bool UISegmentedControl::isEnabledForSegmentAtIndex(int s) const {
    return s >= 0 && s < numberOfSegments() && segments_[s].enabled;
}

void UISegmentedControl::removeAllSegments() {
    segments_.clear();
    selected_ = kNoSegment;
    update();
}

void UISegmentedControl::setSelectedSegmentIndex(int index) {
    selected_ = index >= 0 && index < numberOfSegments() ? index : kNoSegment;
    update();
}

void UISegmentedControl::setWidth(CGFloat width, int segment) {
    if (segment < 0 || segment >= numberOfSegments()) return;
    segments_[static_cast<size_t>(segment)].width = std::max<CGFloat>(0, width);
    update();
}

CGRect UISegmentedControl::rectForSegment(int s) const {
    CGFloat fixed = 0;
    int shared = 0;
    for (const Segment& g : segments_) {
        fixed += g.width;
        if (g.width <= 0) ++shared;
    }
    const CGFloat share = shared > 0 ? std::max<CGFloat>(0, bounds().size.width - fixed) / shared : 0;
    CGFloat x = 0;
    for (int i = 0; i < numberOfSegments(); ++i) {
        const CGFloat w = segments_[static_cast<size_t>(i)].width > 0 ? segments_[static_cast<size_t>(i)].width : share;
        if (i == s) return CGRectMake(x, 0, w, bounds().size.height);
        x += w;
    }
    return CGRectMake(x, 0, 0, bounds().size.height);
}

void UISegmentedControl::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    QPointer<UISegmentedControl> self(this);
    UIControl::touchesEnded(touches, event);
    if (!self || touches.empty() || !isEnabled()) return;
    CGPoint p = touches.front()->locationInView(this);
    if (!CGRectContainsPoint(bounds(), p)) return;
    for (int i = 0; i < numberOfSegments(); ++i) {
        if (!CGRectContainsPoint(rectForSegment(i), p) || !segments_[i].enabled) continue;
        bool changed = i != selected_;
        selected_ = momentary ? kNoSegment : i;
        update();
        if (changed || momentary) sendActionsForControlEvents(UIControlEventValueChanged, event);
        return;
    }
}

void UISegmentedControl::drawRect(const CGRect& rect) {
    CGContext* ctx = CGContext::current();
    if (!ctx) return;
    QPainter& p = ctx->painter();
    QColor tint = tintColor.isNull() ? QColor(70, 110, 170) : tintColor.qColor();
    p.setFont(UIFont::boldSystemFontOfSize(13).qFont());
    for (int i = 0; i < numberOfSegments(); ++i) {
        CGRect r = rectForSegment(i);
        QRectF q(r.origin.x, r.origin.y, r.size.width, r.size.height);
        p.fillRect(q, i == selected_ ? tint : QColor(235, 235, 235));
        p.setPen(QColor(110, 110, 110));
        p.drawRect(q.adjusted(0, 0, -1, -1));
        if (segments_[i].image) {
            CGSize s = segments_[i].image->size();
            segments_[i].image->drawInRect(p, CGRectMake(CGRectGetMidX(r) - s.width / 2, CGRectGetMidY(r) - s.height / 2,
                                                         s.width, s.height));
        } else {
            p.setPen(i == selected_ ? Qt::white : (segments_[i].enabled ? QColor(60, 60, 60) : QColor(170, 170, 170)));
            // A title wider than its segment shrinks (down to 8 px), then is cut with an ellipsis.
            const QString title = QString::fromStdString(segments_[i].title);
            const qreal room = std::max<qreal>(q.width() - 8, 1);
            QFont font = p.font();
            while (font.pixelSize() > 8 && QFontMetricsF(font).horizontalAdvance(title) > room)
                font.setPixelSize(font.pixelSize() - 1);
            p.save();
            p.setFont(font);
            const QString shown = QFontMetricsF(font).elidedText(title, Qt::ElideRight, room);
            TextAudit::drawText(p, this, q.adjusted(4, 0, -4, 0), Qt::AlignCenter, shown, segments_[i].title, shown != title,
                                !segments_[i].enabled);
            p.restore();
        }
    }
    (void)rect;
}

}  // namespace lumora
