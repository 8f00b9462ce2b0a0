#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "ui/kit/UIView.h"

namespace lumora {

enum UIControlEvents : unsigned {
    UIControlEventTouchDown = 1 << 0,
    UIControlEventTouchDownRepeat = 1 << 1,
    UIControlEventTouchDragInside = 1 << 2,
    UIControlEventTouchDragOutside = 1 << 3,
    UIControlEventTouchDragEnter = 1 << 4,
    UIControlEventTouchDragExit = 1 << 5,
    UIControlEventTouchUpInside = 1 << 6,
    UIControlEventTouchUpOutside = 1 << 7,
    UIControlEventTouchCancel = 1 << 8,
    UIControlEventValueChanged = 1 << 12,
    UIControlEventEditingDidBegin = 1 << 16,
    UIControlEventEditingChanged = 1 << 17,
    UIControlEventEditingDidEnd = 1 << 18,
    UIControlEventEditingDidEndOnExit = 1 << 19,
    UIControlEventAllTouchEvents = 0x0FFF,
    UIControlEventAllEditingEvents = 0xF0000,
    UIControlEventAllEvents = 0xFFFFFFFF,
};

enum UIControlState : unsigned {
    UIControlStateNormal = 0,
    UIControlStateHighlighted = 1 << 0,
    UIControlStateDisabled = 1 << 1,
    UIControlStateSelected = 1 << 2,
};

enum class UIControlContentHorizontalAlignment { Center, Left, Right, Fill };
enum class UIControlContentVerticalAlignment { Center, Top, Bottom, Fill };

// A view that turns touches into control events for its targets:
// touch-down, drag inside/outside, up-inside, up-outside, cancel, and
// (subclasses) value-changed and editing events. Only the user's actions
// send events; a value set in code sends none.
class UIControl : public UIView {
public:
    using Action = std::function<void(UIControl* sender, UIEvent* event)>;

    explicit UIControl(const CGRect& frame = CGRectZero);

    // target identifies the handler for removeTarget (may be null).
    void addTarget(const void* target, Action action, unsigned events);
    // Removes the target's handlers for those events (null target: everyone's).
    void removeTarget(const void* target, unsigned events = UIControlEventAllEvents);
    size_t targetCount() const { return targets_.size(); }
    void sendActionsForControlEvents(unsigned events, UIEvent* event = nullptr);

    bool isEnabled() const { return enabled_; }
    virtual void setEnabled(bool enabled);
    bool isSelected() const { return selected_; }
    virtual void setSelected(bool selected);
    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool highlighted);
    unsigned state() const;
    bool isTracking() const { return tracking_; }
    bool isTouchInside() const { return touchInside_; }

    UIControlContentHorizontalAlignment contentHorizontalAlignment = UIControlContentHorizontalAlignment::Center;
    UIControlContentVerticalAlignment contentVerticalAlignment = UIControlContentVerticalAlignment::Center;

    UIView* hitTest(CGPoint point, UIEvent* event) override;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

protected:
    // Tracking hooks: answer false to stop tracking.
    virtual bool beginTracking(UITouch* touch, UIEvent* event);
    virtual bool continueTracking(UITouch* touch, UIEvent* event);
    virtual void endTracking(UITouch* touch, UIEvent* event);
    virtual void cancelTracking(UIEvent* event);
    // Inside for tracking: the bounds grown by 70 points, as the platform does.
    bool trackingInside(UITouch* touch) const;

private:
    struct Target {
        const void* target;
        Action action;
        unsigned events;
    };
    std::vector<Target> targets_;
    bool enabled_ = true;
    bool selected_ = false;
    bool highlighted_ = false;
    bool tracking_ = false;
    bool touchInside_ = false;
};

}  // namespace lumora
