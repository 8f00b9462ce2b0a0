#include "ui/kit/UINavigationBar.h"

#include <QFontMetricsF>

#include <QLinearGradient>
#include <QPainter>

#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UINavigationItem.h"

namespace lumora {

namespace {

// A bar item as a view: the custom view itself, or a button with the item's
// image or title that triggers it.
UIView* viewForItem(const std::shared_ptr<UIBarButtonItem>& item, const std::string& name) {
    if (!item) return nullptr;
    if (UIView* custom = item->customView()) return custom;
    auto* b = new UIButton(CGRectMake(0, 0, 60, 30));
    b->setProperty("lumoraBarOwned", true);
    setViewName(b, name);
    if (item->image) {
        b->setImage(item->image);
        b->setFrame(CGRectMake(0, 0, std::max(30.0, item->image->size().width + 12), 30));
    } else {
        b->setTitle(item->displayTitle());
        b->setFont(UIFont::boldSystemFontOfSize(12));
        CGSize s = b->sizeThatFits(CGSize{});
        b->setFrame(CGRectMake(0, 0, std::max(50.0, s.width + 20), 30));
    }
    b->setBorder(1, UIColor::colorWithWhite(0, 0.45));
    b->setCornerRadius(5);
    b->setBackgroundColor(item->style == UIBarButtonItemStyle::Done ? UIColor::colorWithRed(0.2, 0.4, 0.85, 1)
                                                                    : UIColor::colorWithWhite(1, 0.15));
    b->setEnabled(item->enabled);
    std::weak_ptr<UIBarButtonItem> weak = item;
    b->addTarget(nullptr, [weak](UIControl*, UIEvent*) {
        if (auto i = weak.lock()) i->trigger();
    }, UIControlEventTouchUpInside);
    return b;
}

}  // namespace

UINavigationBar::UINavigationBar(const CGRect& frame) : UIView(frame) {
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
}

void UINavigationBar::setBarStyle(UIBarStyle style) {
    style_ = style;
    update();
}

void UINavigationBar::setTintColor(const UIColor& color) {
    tint_ = color;
    update();
}

void UINavigationBar::drawBackground(QPainter& p) {
    QColor base = !tint_.isNull() ? tint_.qColor()
                  : style_ == UIBarStyle::Default ? QColor(56, 74, 100)  // white titles read on it, top to bottom
                                                  : QColor(20, 20, 20);
    QLinearGradient g(0, 0, 0, bounds().size.height);
    g.setColorAt(0, base.lighter(130));
    g.setColorAt(1, base);
    p.fillRect(QRectF(0, 0, bounds().size.width, bounds().size.height), g);
    p.fillRect(QRectF(0, bounds().size.height - 1, bounds().size.width, 1), QColor(0, 0, 0, 120));
}

void UINavigationBar::showItems(UINavigationItem* item, UINavigationItem* back) {
    if (item_ && item_ != item && item_ != back) item_->setChangeHandler(nullptr);
    item_ = item;
    back_ = back;
    if (item_) item_->setChangeHandler([this] { rebuild(); });
    rebuild();
}

void UINavigationBar::rebuild() {
    // The bar's own buttons and title go; views that belong to items (title
    // views, custom item views) are only taken off the bar.
    for (UIView* v : subviews()) {
        bool own = v == title_.data() || v->property("lumoraBarOwned").toBool();
        v->removeFromSuperview();
        if (own) v->deleteLater();
    }
    title_ = nullptr;
    left_ = right_ = titleView_ = nullptr;
    if (!item_) return;
    if (item_->titleView()) {
        titleView_ = item_->titleView();
        addSubview(titleView_);
    } else {
        auto* t = new UILabel(CGRectZero);
        setViewName(t, "navTitle");
        t->setText(item_->title());
        t->setFont(UIFont::boldSystemFontOfSize(20));
        t->setTextColor(UIColor::whiteColor());
        t->setTextAlignment(UITextAlignment::Center);
        title_ = t;
        addSubview(t);
    }
    if (item_->leftBarButtonItem()) {
        left_ = viewForItem(item_->leftBarButtonItem(), "navLeft");
    } else if (back_ && !item_->hidesBackButton()) {
        std::shared_ptr<UIBarButtonItem> backItem = back_->backBarButtonItem();
        std::string text = backItem ? backItem->displayTitle() : back_->title();
        if (text.empty()) text = "Back";
        auto* b = new UIButton(CGRectMake(0, 0, 60, 30));
        b->setProperty("lumoraBarOwned", true);
        setViewName(b, "navBack");
        b->setTitle(text);
        b->setFont(UIFont::boldSystemFontOfSize(12));
        b->setFrame(CGRectMake(0, 0, std::max(50.0, b->sizeThatFits(CGSize{}).width + 24), 30));
        b->setBorder(1, UIColor::colorWithWhite(0, 0.45));
        b->setCornerRadius(5);
        b->setBackgroundColor(UIColor::colorWithWhite(1, 0.15));
        b->addTarget(nullptr, [this](UIControl*, UIEvent*) {
            if (backAction_) backAction_();
        }, UIControlEventTouchUpInside);
        left_ = b;
    }
    if (item_->rightBarButtonItem()) right_ = viewForItem(item_->rightBarButtonItem(), "navRight");
    if (left_) addSubview(left_);
    if (right_) addSubview(right_);
    layoutSubviews();
}

void UINavigationBar::layoutSubviews() {
    CGFloat w = bounds().size.width, h = bounds().size.height;
    CGFloat leftEdge = 5, rightEdge = w - 5;
    if (left_) {
        CGRect f = left_->frame();
        left_->setFrame(CGRectMake(5, (h - f.size.height) / 2, f.size.width, f.size.height));
        leftEdge = 5 + f.size.width + 5;
    }
    if (right_) {
        CGRect f = right_->frame();
        right_->setFrame(CGRectMake(w - 5 - f.size.width, (h - f.size.height) / 2, f.size.width, f.size.height));
        rightEdge = w - 5 - f.size.width - 5;
    }
    CGFloat side = std::max(leftEdge, w - rightEdge);
    if (title_) {
        // Centred on the bar when it fits there; else in the room between
        // the buttons (a long back title would leave no centred room at
        // all), shrinking down to 13 points before it is cut.
        title_->setAdjustsFontSizeToFitWidth(true);
        title_->setMinimumFontSize(13);
        const CGFloat needed = title_->sizeThatFits(CGSize{w, h}).width;
        if (w - 2 * side >= needed) {
            title_->setFrame(CGRectMake(side, 0, w - 2 * side, h));
        } else {
            const CGFloat room = std::max(0.0, rightEdge - leftEdge);
            const CGFloat width = std::min(room, needed);
            title_->setFrame(CGRectMake(leftEdge + (room - width) / 2, 0, width, h));
        }
    }
    if (titleView_) {
        CGRect f = titleView_->frame();
        titleView_->setFrame(CGRectMake((w - f.size.width) / 2, (h - f.size.height) / 2, f.size.width, f.size.height));
    }
}

}  // namespace lumora
