#include "ui/kit/UITouch.h"

#include "ui/kit/UIEvent.h"
#include "ui/kit/UIView.h"
#include "ui/kit/UIWindow.h"

namespace lumora {

void UITouch::setView(UIView* view) { view_ = view; }
void UITouch::setWindow(UIWindow* window) { window_ = window; }
UIView* UITouch::view() const { return dynamic_cast<UIView*>(view_.data()); }
UIWindow* UITouch::window() const { return dynamic_cast<UIWindow*>(window_.data()); }

void UITouch::moveTo(CGPoint p) {
    previous_ = location_;
    location_ = p;
}

CGPoint UITouch::locationInView(const UIView* view) const {
    if (!view) return location_;
    return view->convertPointFromView(location_, nullptr);
}

CGPoint UITouch::previousLocationInView(const UIView* view) const {
    if (!view) return previous_;
    return view->convertPointFromView(previous_, nullptr);
}

UITouchSet UIEvent::touchesForView(const UIView* view) const {
    UITouchSet out;
    for (UITouch* t : touches_)
        if (t->view() == view) out.push_back(t);
    return out;
}

}  // namespace lumora
