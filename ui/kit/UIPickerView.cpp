#include "ui/kit/TextAudit.h"
#include "ui/kit/UIPickerView.h"

#include <QPainter>

#include "ui/kit/CGContext.h"
#include "ui/kit/UIFont.h"

namespace lumora {

namespace {
constexpr CGFloat kRowHeight = 44;
}

UIPickerView::UIPickerView(const CGRect& frame)
    : UIView(CGRect{frame.origin, {frame.size.width > 0 ? frame.size.width : 320, 216}}) {
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

void UIPickerView::touchesEnded(const UITouchSet& touches, UIEvent*) {
    if (touches.empty()) return;
    CGPoint p = touches.front()->locationInView(this);
    for (int c = 0; c < numberOfComponents(); ++c) {
        if (!CGRectContainsPoint(componentRect(c), p)) continue;
        CGFloat mid = bounds().size.height / 2;
        int step = p.y < mid - kRowHeight / 2 ? -1 : p.y > mid + kRowHeight / 2 ? 1 : 0;
        int row = selectedRowInComponent(c) + step;
        if (step != 0 && row >= 0 && row < numberOfRowsInComponent(c)) userSelectRow(row, c);
        return;
    }
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
            p.setPen(d == 0 ? QColor(0, 0, 0) : QColor(130, 130, 130));
            TextAudit::drawText(p, this,
                                QRectF(r.origin.x + 8, mid - kRowHeight / 2 + d * kRowHeight, r.size.width - 16, kRowHeight),
                                Qt::AlignVCenter | Qt::AlignLeft, QString::fromStdString(t), t, false);
        }
    }
    if (showsSelectionIndicator) {
        p.setPen(QColor(90, 110, 160));
        p.setBrush(QColor(120, 140, 200, 60));
        p.drawRect(QRectF(4, mid - kRowHeight / 2, rect.size.width - 8, kRowHeight));
    }
}

}  // namespace lumora
