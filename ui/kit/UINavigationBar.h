#pragma once

#include <functional>
#include <memory>

#include "ui/kit/UIView.h"

namespace lumora {

class UIButton;
class UILabel;
class UINavigationItem;

enum class UIBarStyle { Default, Black, BlackTranslucent };

// The bar at the top of a navigation controller: the top item's title (or
// title view), its left and right items, and a back button (the previous
// item's back item or title) that asks to pop. Item buttons are named
// "navLeft", "navRight" and "navBack".
class UINavigationBar : public UIView {
public:
    static constexpr CGFloat kHeight = 44;

    explicit UINavigationBar(const CGRect& frame = CGRectZero);

    UIBarStyle barStyle() const { return style_; }
    void setBarStyle(UIBarStyle style);
    UIColor tintColor() const { return tint_; }
    void setTintColor(const UIColor& color);

    // Shows `item`; `back` is the item below it (nullptr at the root).
    void showItems(UINavigationItem* item, UINavigationItem* back);
    void setBackAction(std::function<void()> action) { backAction_ = std::move(action); }

    void layoutSubviews() override;

protected:
    void drawBackground(QPainter& painter) override;

private:
    void rebuild();
    UINavigationItem* item_ = nullptr;
    UINavigationItem* back_ = nullptr;
    UIBarStyle style_ = UIBarStyle::Default;
    UIColor tint_;
    std::function<void()> backAction_;
    QPointer<UILabel> title_;
    QPointer<UIView> left_, right_, titleView_;
};

}  // namespace lumora
