#include "ui/kit/UIToolbar.h"

#include <QLinearGradient>
#include <QPainter>

#include "ui/kit/UIButton.h"

namespace lumora {

UIToolbar::UIToolbar(const CGRect& frame) : UIView(frame) {}

void UIToolbar::setBarStyle(UIBarStyle style) {
    style_ = style;
    update();
}

void UIToolbar::setItems(std::vector<std::shared_ptr<UIBarButtonItem>> items, bool) {
    for (auto& v : views_) {
        if (!v) continue;
        bool custom = false;
        for (auto& i : items_)
            if (i && i->customView() == v.data()) custom = true;
        v->removeFromSuperview();
        if (!custom) v->deleteLater();
    }
    views_.clear();
    items_ = std::move(items);
    for (size_t i = 0; i < items_.size(); ++i) {
        auto& item = items_[i];
        UIView* v = nullptr;
        if (item && !item->isSpace()) {
            if (item->customView()) {
                v = item->customView();
            } else {
                auto* b = new UIButton(CGRectZero);
                setViewName(b, "toolbarItem" + std::to_string(i));
                if (item->image) {
                    b->setImage(item->image);
                    b->setFrame(CGRectMake(0, 0, std::max(30.0, item->image->size().width + 12), 30));
                } else {
                    b->setTitle(item->displayTitle());
                    b->setFont(UIFont::boldSystemFontOfSize(12));
                    b->setFrame(CGRectMake(0, 0, std::max(44.0, b->sizeThatFits(CGSize{}).width + 20), 30));
                    b->setBorder(1, UIColor::colorWithWhite(0, 0.45));
                    b->setCornerRadius(5);
                    b->setBackgroundColor(UIColor::colorWithWhite(1, 0.15));
                }
                if (item->width > 0) b->setFrame(CGRectMake(0, 0, item->width, 30));
                b->setEnabled(item->enabled);
                std::weak_ptr<UIBarButtonItem> weak = item;
                b->addTarget(nullptr, [weak](UIControl*, UIEvent*) {
                    if (auto it = weak.lock()) it->trigger();
                }, UIControlEventTouchUpInside);
                v = b;
            }
            addSubview(v);
        }
        views_.push_back(v);
    }
    layoutSubviews();
}

void UIToolbar::layoutSubviews() {
    CGFloat w = bounds().size.width, h = bounds().size.height;
    CGFloat fixed = 0;
    int flexible = 0;
    for (size_t i = 0; i < items_.size(); ++i) {
        auto& item = items_[i];
        if (!item) continue;
        if (item->systemItem == UIBarButtonSystemItem::FlexibleSpace) ++flexible;
        else if (item->systemItem == UIBarButtonSystemItem::FixedSpace) fixed += item->width;
        else if (views_[i]) fixed += views_[i]->frame().size.width;
    }
    CGFloat gaps = 6.0 * (items_.size() + 1);
    CGFloat share = flexible > 0 ? std::max(0.0, (w - fixed - gaps) / flexible) : 0;
    CGFloat x = 6;
    for (size_t i = 0; i < items_.size(); ++i) {
        auto& item = items_[i];
        if (!item) continue;
        if (item->systemItem == UIBarButtonSystemItem::FlexibleSpace) {
            x += share + 6;
            continue;
        }
        if (item->systemItem == UIBarButtonSystemItem::FixedSpace) {
            x += item->width + 6;
            continue;
        }
        if (UIView* v = views_[i]) {
            CGRect f = v->frame();
            v->setFrame(CGRectMake(x, (h - f.size.height) / 2, f.size.width, f.size.height));
            x += f.size.width + 6;
        }
    }
}

void UIToolbar::drawBackground(QPainter& p) {
    if (!backgroundColor().isNull()) {
        UIView::drawBackground(p);
        return;
    }
    QColor base = !tintColor.isNull() ? tintColor.qColor()
                  : style_ == UIBarStyle::Default ? QColor(56, 74, 100)  // white titles read on it, top to bottom
                                                  : QColor(20, 20, 20);
    QLinearGradient g(0, 0, 0, bounds().size.height);
    g.setColorAt(0, base.lighter(130));
    g.setColorAt(1, base);
    p.fillRect(QRectF(0, 0, bounds().size.width, bounds().size.height), g);
}

}  // namespace lumora
