#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "ui/kit/UIGeometry.h"

namespace lumora {

class UIImage;
class UIView;

enum class UIBarButtonSystemItem {
    None,
    Done,
    Cancel,
    Edit,
    Save,
    Add,
    FlexibleSpace,
    FixedSpace,
    Search,
    Refresh,
    Action,
    Trash,
    Play,
    Pause,
    Stop,
};

enum class UIBarButtonItemStyle { Plain, Bordered, Done };

// One item of a navigation bar or toolbar: a title, an image, a system item
// or a custom view, with one action.
class UIBarButtonItem : public std::enable_shared_from_this<UIBarButtonItem> {
public:
    using Action = std::function<void(UIBarButtonItem&)>;

    static std::shared_ptr<UIBarButtonItem> withTitle(const std::string& title, UIBarButtonItemStyle style,
                                                      Action action);
    static std::shared_ptr<UIBarButtonItem> withImage(std::shared_ptr<UIImage> image, UIBarButtonItemStyle style,
                                                      Action action);
    static std::shared_ptr<UIBarButtonItem> withSystemItem(UIBarButtonSystemItem item, Action action);
    // The bar shows the view itself; the item does not own it until shown.
    static std::shared_ptr<UIBarButtonItem> withCustomView(UIView* view);

    std::string title;
    std::shared_ptr<UIImage> image;
    UIBarButtonItemStyle style = UIBarButtonItemStyle::Bordered;
    UIBarButtonSystemItem systemItem = UIBarButtonSystemItem::None;
    CGFloat width = 0;
    bool enabled = true;
    int tag = 0;
    Action action;

    UIView* customView() const { return custom_.data(); }
    void setCustomView(UIView* view);
    // What the bar writes on the item.
    std::string displayTitle() const;
    bool isSpace() const {
        return systemItem == UIBarButtonSystemItem::FlexibleSpace || systemItem == UIBarButtonSystemItem::FixedSpace;
    }
    // As a tap on the item does.
    void trigger();

private:
    QPointer<UIView> custom_;
};

}  // namespace lumora
