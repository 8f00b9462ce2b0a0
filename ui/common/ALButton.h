#pragma once

#include "ui/kit/UIButton.h"

namespace lumora {

class ALButton;

// Touch phases of an ALButton; every callback is optional.
class ALButtonDelegate {
public:
    virtual ~ALButtonDelegate() = default;
    virtual void buttonTouchedDown(ALButton*) {}
    virtual void buttonTouchedUpOutside(ALButton*) {}
    virtual void buttonTouchCancelled(ALButton*) {}
};

// A button whose touch area reaches 10 points beyond every edge and that
// reports touch-down, up-outside and cancel to its delegate. Touch-up-inside
// is left to the button's own targets.
class ALButton : public UIButton {
public:
    explicit ALButton(const CGRect& frame = CGRectZero);
    ~ALButton() override;

    ALButtonDelegate* delegate() const { return delegate_; }
    void setDelegate(ALButtonDelegate* delegate) { delegate_ = delegate; }

    // Itself inside (-10, -10, width + 20, height + 20), else nothing; never a subview.
    UIView* hitTest(CGPoint point, UIEvent* event) override;
    bool pointInside(CGPoint point, UIEvent* event) const override;

private:
    ALButtonDelegate* delegate_ = nullptr;  // not owned
};

}  // namespace lumora
