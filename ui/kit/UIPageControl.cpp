#include "ui/kit/UIPageControl.h"

#include <QPainter>
#include <algorithm>

#include "ui/kit/CGContext.h"

namespace lumora {

UIPageControl::UIPageControl(const CGRect& frame) : UIControl(frame) {}

void UIPageControl::setNumberOfPages(int pages) {
    pages_ = std::max(0, pages);
    current_ = std::clamp(current_, 0, std::max(0, pages_ - 1));
    update();
}

void UIPageControl::setCurrentPage(int page) {
    current_ = std::clamp(page, 0, std::max(0, pages_ - 1));
    update();
}

void UIPageControl::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    QPointer<UIPageControl> self(this);
    bool inside = !touches.empty() && trackingInside(touches.front());
    CGPoint p = touches.empty() ? CGPoint{} : touches.front()->locationInView(this);
    UIControl::touchesEnded(touches, event);
    if (!self || !inside || !isEnabled() || pages_ < 2) return;
    int page = std::clamp(current_ + (p.x >= bounds().size.width / 2 ? 1 : -1), 0, pages_ - 1);
    if (page == current_) return;
    current_ = page;
    update();
    sendActionsForControlEvents(UIControlEventValueChanged, event);
}

void UIPageControl::drawRect(const CGRect& rect) {
    CGContext* ctx = CGContext::current();
    if (!ctx || pages_ <= 0 || (hidesForSinglePage && pages_ == 1)) return;
    QPainter& p = ctx->painter();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    CGFloat step = 16, w = step * (pages_ - 1);
    CGFloat x0 = rect.size.width / 2 - w / 2, cy = rect.size.height / 2;
    for (int i = 0; i < pages_; ++i) {
        p.setBrush(i == current_ ? QColor(255, 255, 255) : QColor(255, 255, 255, 90));
        p.drawEllipse(QPointF(x0 + i * step, cy), 3.5, 3.5);
    }
}

}  // namespace lumora
