#pragma once

#include "ui/kit/UIControl.h"

namespace lumora {

// An on/off switch (79x27): a tap flips it and sends value-changed; setOn
// in code sends nothing.
class UISwitch : public UIControl {
public:
    explicit UISwitch(const CGRect& frame = CGRectZero);
    bool isOn() const { return on_; }
    void setOn(bool on, bool animated = false);
    UIColor onTintColor;

    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void drawRect(const CGRect& rect) override;

private:
    bool on_ = false;
};

}  // namespace lumora
