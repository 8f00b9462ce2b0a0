#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/kit/UIBarButtonItem.h"

namespace lumora {

class UIView;

// What a navigation bar shows for one controller. A change tells the bar.
class UINavigationItem {
public:
    const std::string& title() const { return title_; }
    void setTitle(const std::string& title);
    UIView* titleView() const { return titleView_.data(); }
    void setTitleView(UIView* view);
    const std::shared_ptr<UIBarButtonItem>& leftBarButtonItem() const { return left_; }
    void setLeftBarButtonItem(std::shared_ptr<UIBarButtonItem> item, bool animated = false);
    const std::shared_ptr<UIBarButtonItem>& rightBarButtonItem() const { return right_; }
    void setRightBarButtonItem(std::shared_ptr<UIBarButtonItem> item, bool animated = false);
    // The item the next controller's bar shows to come back here.
    const std::shared_ptr<UIBarButtonItem>& backBarButtonItem() const { return back_; }
    void setBackBarButtonItem(std::shared_ptr<UIBarButtonItem> item);
    bool hidesBackButton() const { return hidesBack_; }
    void setHidesBackButton(bool hides);

    // The bar that shows this item listens here.
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }

private:
    void changed() {
        if (changed_) changed_();
    }
    std::string title_;
    QPointer<UIView> titleView_;
    std::shared_ptr<UIBarButtonItem> left_, right_, back_;
    bool hidesBack_ = false;
    std::function<void()> changed_;
};

}  // namespace lumora
