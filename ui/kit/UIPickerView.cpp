#include "ui/kit/TextAudit.h"
#include "ui/kit/UIPickerView.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

#include "ui/kit/CGContext.h"
#include "ui/kit/UIFont.h"

namespace lumora {

namespace {
constexpr CGFloat kRowHeight = 44;
// A finger moving less than this is still a tap.
constexpr CGFloat kDragSlop = 8;
}

UIPickerView::UIPickerView(const CGRect& frame)
    : UIView(CGRect{frame.origin,
                     {frame.size.width > 0 ? frame.size.width : 320, frame.size.height > 0 ? frame.size.height : 216}}) {
    setBackgroundColor(UIColor::colorWithWhite(0.9, 1));
}

int UIPickerView::numberOfComponents() const {
    return dataSource ? dataSource->numberOfComponentsInPickerView(const_cast<UIPickerView*>(this)) : 0;
}

int UIPickerView::numberOfRowsInComponent(int c) const {
    return dataSource ? dataSource->numberOfRowsInComponent(const_cast<UIPickerView*>(this), c) : 0;
}

int UIPickerView::selectedRowInComponent(int c) const {
    if (c < 0 || c >= numberOfComponents()) return -1;
    return c < static_cast<int>(selected_.size()) ? selected_[c] : 0;
}

void UIPickerView::selectRow(int row, int c, bool) {
    if (c < 0 || c >= numberOfComponents()) return;
    int rows = numberOfRowsInComponent(c);
    if (rows <= 0) return;
    if (static_cast<int>(selected_.size()) <= c) selected_.resize(c + 1, 0);
    selected_[c] = std::clamp(row, 0, rows - 1);
    update();
}

void UIPickerView::reloadAllComponents() {
    int n = numberOfComponents();
    selected_.resize(std::max(0, n), 0);
    for (int c = 0; c < n; ++c) selected_[c] = std::clamp(selected_[c], 0, std::max(0, numberOfRowsInComponent(c) - 1));
    update();
}

bool UIPickerView::userSelectRow(int row, int c) {
    if (c < 0 || c >= numberOfComponents() || row < 0 || row >= numberOfRowsInComponent(c)) return false;
    selectRow(row, c, true);
    if (delegate) delegate->didSelectRow(this, row, c);
    return true;
}

CGRect UIPickerView::componentRect(int c) const {
    int n = std::max(1, numberOfComponents());
    CGFloat w = (bounds().size.width - 20) / n;
    return CGRectMake(10 + w * c, 0, w, bounds().size.height);
}

int UIPickerView::componentAt(CGPoint p) const {
    for (int c = 0; c < numberOfComponents(); ++c)
        if (CGRectContainsPoint(componentRect(c), p)) return c;
    return -1;
}

void UIPickerView::touchesBegan(const UITouchSet& touches, UIEvent*) {
    // Taken here even between the wheels: a touch on the picker is never
    // the business of what lies under it.
    turn_ = Turn{};
    if (touches.empty()) return;
    CGPoint p = touches.front()->locationInView(this);
    turn_.component = componentAt(p);
    turn_.startY = p.y;
    turn_.startRow = selectedRowInComponent(turn_.component);
}

void UIPickerView::touchesMoved(const UITouchSet& touches, UIEvent*) {
    if (touches.empty() || turn_.component < 0) return;
    const int c = turn_.component;
    CGFloat dy = touches.front()->locationInView(this).y - turn_.startY;
    if (!turn_.dragged && std::abs(dy) < kDragSlop) return;
    turn_.dragged = true;
    // Dragging down brings earlier rows into the band.
    int rows = numberOfRowsInComponent(c);
    if (rows <= 0) return;
    int row = std::clamp(turn_.startRow - static_cast<int>(std::lround(dy / kRowHeight)), 0, rows - 1);
    if (row != selectedRowInComponent(c)) selectRow(row, c, false);
}

void UIPickerView::touchesEnded(const UITouchSet& touches, UIEvent*) {
    Turn turn = turn_;
    turn_ = Turn{};
    if (touches.empty() || turn.component < 0) return;
    const int c = turn.component;
    if (turn.dragged) {
        if (selectedRowInComponent(c) != turn.startRow) userSelectRow(selectedRowInComponent(c), c);
        return;
    }
    // A tap: the row drawn under the finger comes into the band.
    CGPoint p = touches.front()->locationInView(this);
    CGFloat mid = bounds().size.height / 2;
    int step = static_cast<int>(std::floor((p.y - (mid - kRowHeight / 2)) / kRowHeight));
    int row = selectedRowInComponent(c) + step;
    if (step != 0 && row >= 0 && row < numberOfRowsInComponent(c)) userSelectRow(row, c);
}

void UIPickerView::touchesCancelled(const UITouchSet&, UIEvent*) {
    // The wheel goes back to where the touch found it.
    if (turn_.component >= 0 && turn_.dragged) selectRow(turn_.startRow, turn_.component, false);
    turn_ = Turn{};
}

void UIPickerView::wheelEvent(QWheelEvent* event) {
    int c = componentAt(CGPoint{event->position().x(), event->position().y()});
    if (c < 0 && numberOfComponents() == 1) c = 0;
    if (c < 0) return event->ignore();
    event->accept();
    // One row per notch (120); finer wheels add up.
    wheelRemainder_ += event->angleDelta().y();
    int notches = wheelRemainder_ / 120;
    wheelRemainder_ -= notches * 120;
    if (notches == 0) return;
    int rows = numberOfRowsInComponent(c);
    int row = std::clamp(selectedRowInComponent(c) - notches, 0, std::max(0, rows - 1));
    if (row != selectedRowInComponent(c)) userSelectRow(row, c);
}

void UIPickerView::drawRect(const CGRect& rect) {
    CGContext* ctx = CGContext::current();
    if (!ctx) return;
    QPainter& p = ctx->painter();
    CGFloat mid = rect.size.height / 2;
    p.setFont(UIFont::boldSystemFontOfSize(20).qFont());
    for (int c = 0; c < numberOfComponents(); ++c) {
        CGRect r = componentRect(c);
        p.fillRect(QRectF(r.origin.x + 2, 0, r.size.width - 4, r.size.height), Qt::white);
        int sel = selectedRowInComponent(c);
        for (int d = -2; d <= 2; ++d) {
            int row = sel + d;
            if (row < 0 || row >= numberOfRowsInComponent(c)) continue;
            std::string t = delegate ? delegate->titleForRow(this, row, c) : std::string();
            p.setPen(d == 0 ? QColor(0, 0, 0) : QColor(110, 110, 110));
            // A title wider than its wheel shrinks to fit, then ends in an ellipsis.
            const QString text = QString::fromStdString(t);
            const qreal width = r.size.width - 16;
            QFont font = UIFont::boldSystemFontOfSize(20).qFont();
            for (int size = 20; size > 13 && QFontMetricsF(font).horizontalAdvance(text) > width; --size)
                font.setPixelSize(size - 1);
            p.setFont(font);
            const QString shown = QFontMetricsF(font).elidedText(text, Qt::ElideRight, width);
            TextAudit::drawText(p, this, QRectF(r.origin.x + 8, mid - kRowHeight / 2 + d * kRowHeight, width, kRowHeight),
                                Qt::AlignVCenter | Qt::AlignLeft, shown, t, shown != text);
        }
    }
    if (showsSelectionIndicator) {
        p.setPen(QColor(90, 110, 160));
        p.setBrush(QColor(120, 140, 200, 60));
        p.drawRect(QRectF(4, mid - kRowHeight / 2, rect.size.width - 8, kRowHeight));
    }
}

}  // namespace lumora
