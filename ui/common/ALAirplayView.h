#pragma once

#include <memory>

#include "ui/kit/UIView.h"

namespace lumora {

class UILongPressGestureRecognizer;
class UIGestureRecognizer;

// Touch phases of the route button; every callback is optional.
class ALAirplayViewDelegate {
public:
    virtual ~ALAirplayViewDelegate() = default;
    virtual void airplayButtonTouchedDown() {}
    virtual void airplayButtonTouchedUpInside() {}
    virtual void airplayButtonTouchedUpOutside() {}
    virtual void airplayButtonTouchFailed() {}
};

// The output-route button of the player controls (no volume slider): a
// press recogniser (0.01 s, touches not cancelled) reports its phases.
class ALAirplayView : public UIView {
public:
    explicit ALAirplayView(const CGRect& frame = CGRectZero);

    ALAirplayViewDelegate* delegate() const { return delegate_; }
    void setDelegate(ALAirplayViewDelegate* delegate) { delegate_ = delegate; }
    const std::shared_ptr<UILongPressGestureRecognizer>& pressGesture() const { return pressGesture_; }

    // The recogniser's action, by its state.
    void pressed(UIGestureRecognizer& recognizer);

    void drawRect(const CGRect& rect) override;

private:
    ALAirplayViewDelegate* delegate_ = nullptr;  // not owned
    std::shared_ptr<UILongPressGestureRecognizer> pressGesture_;
};

}  // namespace lumora
