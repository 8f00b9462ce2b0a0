#include "ui/kit/UIBarButtonItem.h"

#include "ui/kit/UIView.h"

namespace lumora {

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::withTitle(const std::string& title, UIBarButtonItemStyle style,
                                                            Action action) {
    auto item = std::make_shared<UIBarButtonItem>();
    item->title = title;
    item->style = style;
    item->action = std::move(action);
    return item;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::withImage(std::shared_ptr<UIImage> image,
                                                            UIBarButtonItemStyle style, Action action) {
    auto item = std::make_shared<UIBarButtonItem>();
    item->image = std::move(image);
    item->style = style;
    item->action = std::move(action);
    return item;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::withSystemItem(UIBarButtonSystemItem system, Action action) {
    auto item = std::make_shared<UIBarButtonItem>();
    item->systemItem = system;
    item->style = system == UIBarButtonSystemItem::Done ? UIBarButtonItemStyle::Done : UIBarButtonItemStyle::Bordered;
    item->action = std::move(action);
    return item;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::withCustomView(UIView* view) {
    auto item = std::make_shared<UIBarButtonItem>();
    item->setCustomView(view);
    return item;
}

void UIBarButtonItem::setCustomView(UIView* view) { custom_ = view; }

std::string UIBarButtonItem::displayTitle() const {
    switch (systemItem) {
    case UIBarButtonSystemItem::Done: return "Done";
    case UIBarButtonSystemItem::Cancel: return "Cancel";
    case UIBarButtonSystemItem::Edit: return "Edit";
    case UIBarButtonSystemItem::Save: return "Save";
    case UIBarButtonSystemItem::Add: return "+";
    case UIBarButtonSystemItem::Search: return "Search";
    case UIBarButtonSystemItem::Refresh: return "Refresh";
    case UIBarButtonSystemItem::Action: return "Share";
    case UIBarButtonSystemItem::Trash: return "Delete";
    case UIBarButtonSystemItem::Play: return "Play";
    case UIBarButtonSystemItem::Pause: return "Pause";
    case UIBarButtonSystemItem::Stop: return "Stop";
    default: return title;
    }
}

void UIBarButtonItem::trigger() {
    if (!enabled) return;
    auto keep = shared_from_this();
    if (action) action(*this);
}

}  // namespace lumora
