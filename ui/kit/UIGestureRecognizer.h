#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "ui/kit/UIEvent.h"
#include "ui/kit/UIGeometry.h"

namespace lumora {

class UIView;

enum class UIGestureRecognizerState { Possible, Began, Changed, Ended, Cancelled, Failed };

// Watches the touches of its view (and the view's subviews) before the view
// gets them. When it recognises (a discrete gesture ends, a continuous one
// begins) and cancelsTouchesInView is on, the views that had those touches
// get touchesCancelled and see no more of them.
class UIGestureRecognizer : public std::enable_shared_from_this<UIGestureRecognizer> {
public:
    using Action = std::function<void(UIGestureRecognizer&)>;

    virtual ~UIGestureRecognizer() = default;

    // target identifies the handler for removeTarget (may be null).
    void addTarget(const void* target, Action action);
    void removeTarget(const void* target);

    UIView* view() const { return view_; }
    void setView(UIView* view) { view_ = view; }
    UIGestureRecognizerState state() const { return state_; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool on) { enabled_ = on; }
    bool cancelsTouchesInView() const { return cancelsTouches_; }
    void setCancelsTouchesInView(bool on) { cancelsTouches_ = on; }

    // The centroid of its touches.
    CGPoint locationInView(const UIView* view) const;
    size_t numberOfTouches() const { return touches_.size(); }

    // ---- from the touch router
    virtual void touchesBegan(const UITouchSet& touches, UIEvent* event);
    virtual void touchesMoved(const UITouchSet& touches, UIEvent* event);
    virtual void touchesEnded(const UITouchSet& touches, UIEvent* event);
    virtual void touchesCancelled(const UITouchSet& touches, UIEvent* event);
    // Back to Possible once every touch of the sequence is gone.
    virtual void reset();

protected:
    // Began, Changed, Ended call the targets; the router hears of each change.
    void setState(UIGestureRecognizerState state);
    std::vector<UITouch*> touches_;
    CGPoint lastLocationInWindow_;

private:
    struct Target {
        const void* target;
        Action action;
    };
    UIView* view_ = nullptr;
    UIGestureRecognizerState state_ = UIGestureRecognizerState::Possible;
    bool enabled_ = true;
    bool cancelsTouches_ = true;
    std::vector<Target> targets_;
};

}  // namespace lumora
