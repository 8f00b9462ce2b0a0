#include "ui/kit/UIControl.h"

#include <algorithm>

namespace lumora {

UIControl::UIControl(const CGRect& frame) : UIView(frame) {}

void UIControl::addTarget(const void* target, Action action, unsigned events) {
    if (!action || events == 0) return;
    targets_.push_back(Target{target, std::move(action), events});
}

void UIControl::removeTarget(const void* target, unsigned events) {
    for (auto& t : targets_)
        if (!target || t.target == target) t.events &= ~events;
    targets_.erase(std::remove_if(targets_.begin(), targets_.end(), [](const Target& t) { return t.events == 0; }),
                   targets_.end());
}

void UIControl::sendActionsForControlEvents(unsigned events, UIEvent* event) {
    QPointer<UIControl> self(this);
    auto targets = targets_;
    for (auto& t : targets) {
        if (!self) return;
        if (t.events & events) t.action(this, event);
    }
}

void UIControl::setEnabled(bool enabled) {
    enabled_ = enabled;
    update();
}
void UIControl::setSelected(bool selected) {
    selected_ = selected;
    update();
}
void UIControl::setHighlighted(bool highlighted) {
    highlighted_ = highlighted;
    update();
}

unsigned UIControl::state() const {
    unsigned s = UIControlStateNormal;
    if (highlighted_) s |= UIControlStateHighlighted;
    if (!enabled_) s |= UIControlStateDisabled;
    if (selected_) s |= UIControlStateSelected;
    return s;
}

UIView* UIControl::hitTest(CGPoint point, UIEvent* event) {
    if (!enabled_) return nullptr;
    return UIView::hitTest(point, event);
}

bool UIControl::trackingInside(UITouch* touch) const {
    CGPoint p = touch->locationInView(this);
    CGRect r = CGRectInset(bounds(), -70, -70);
    UIEdgeInsets o = hitTestOutsets();
    r = CGRectMake(r.origin.x - o.left, r.origin.y - o.top, r.size.width + o.left + o.right,
                   r.size.height + o.top + o.bottom);
    return CGRectContainsPoint(r, p);
}

bool UIControl::beginTracking(UITouch*, UIEvent*) { return true; }
bool UIControl::continueTracking(UITouch*, UIEvent*) { return true; }
void UIControl::endTracking(UITouch*, UIEvent*) {}
void UIControl::cancelTracking(UIEvent*) {}

void UIControl::touchesBegan(const UITouchSet& touches, UIEvent* event) {
    if (touches.empty() || !enabled_) return;
    UITouch* t = touches.front();
    QPointer<UIControl> self(this);
    touchInside_ = true;
    tracking_ = beginTracking(t, event);
    if (!self) return;
    setHighlighted(true);
    sendActionsForControlEvents(t->tapCount > 1 ? (UIControlEventTouchDown | UIControlEventTouchDownRepeat)
                                                : UIControlEventTouchDown,
                                event);
}

void UIControl::touchesMoved(const UITouchSet& touches, UIEvent* event) {
    if (touches.empty() || !enabled_) return;
    UITouch* t = touches.front();
    bool inside = trackingInside(t);
    bool was = touchInside_;
    touchInside_ = inside;
    QPointer<UIControl> self(this);
    if (tracking_) tracking_ = continueTracking(t, event);
    if (!self) return;
    setHighlighted(inside);
    unsigned e = inside ? UIControlEventTouchDragInside : UIControlEventTouchDragOutside;
    if (inside != was) e |= inside ? UIControlEventTouchDragEnter : UIControlEventTouchDragExit;
    sendActionsForControlEvents(e, event);
}

void UIControl::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    if (touches.empty()) return;
    UITouch* t = touches.front();
    bool inside = trackingInside(t);
    touchInside_ = inside;
    QPointer<UIControl> self(this);
    if (tracking_) endTracking(t, event);
    if (!self) return;
    tracking_ = false;
    setHighlighted(false);
    if (!enabled_) return;
    sendActionsForControlEvents(inside ? UIControlEventTouchUpInside : UIControlEventTouchUpOutside, event);
}

void UIControl::touchesCancelled(const UITouchSet&, UIEvent* event) {
    QPointer<UIControl> self(this);
    if (tracking_) cancelTracking(event);
    if (!self) return;
    tracking_ = false;
    touchInside_ = false;
    setHighlighted(false);
    sendActionsForControlEvents(UIControlEventTouchCancel, event);
}

}  // namespace lumora
