#pragma once

#include <memory>
#include <vector>

#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UINavigationBar.h"
#include "ui/kit/UIView.h"

namespace lumora {

// A bar of items left to right; flexible spaces share what is left over.
// Item buttons are named "toolbarItem<i>" (custom views keep their names).
class UIToolbar : public UIView {
public:
    explicit UIToolbar(const CGRect& frame = CGRectZero);

    const std::vector<std::shared_ptr<UIBarButtonItem>>& items() const { return items_; }
    void setItems(std::vector<std::shared_ptr<UIBarButtonItem>> items, bool animated = false);
    UIBarStyle barStyle() const { return style_; }
    void setBarStyle(UIBarStyle style);
    UIColor tintColor;

    void layoutSubviews() override;

protected:
    void drawBackground(QPainter& painter) override;

private:
    std::vector<std::shared_ptr<UIBarButtonItem>> items_;
    std::vector<QPointer<UIView>> views_;
    UIBarStyle style_ = UIBarStyle::Default;
};

}  // namespace lumora
