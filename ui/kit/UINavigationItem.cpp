#include "ui/kit/UINavigationItem.h"

#include "ui/kit/UIView.h"

namespace lumora {

void UINavigationItem::setTitle(const std::string& title) {
    title_ = title;
    changed();
}
void UINavigationItem::setTitleView(UIView* view) {
    titleView_ = view;
    changed();
}
void UINavigationItem::setLeftBarButtonItem(std::shared_ptr<UIBarButtonItem> item, bool) {
    left_ = std::move(item);
    changed();
}
void UINavigationItem::setRightBarButtonItem(std::shared_ptr<UIBarButtonItem> item, bool) {
    right_ = std::move(item);
    changed();
}
void UINavigationItem::setBackBarButtonItem(std::shared_ptr<UIBarButtonItem> item) {
    back_ = std::move(item);
    changed();
}
void UINavigationItem::setHidesBackButton(bool hides) {
    hidesBack_ = hides;
    changed();
}

}  // namespace lumora
