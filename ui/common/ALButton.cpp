#include "ui/common/ALButton.h"

namespace lumora {

ALButton::ALButton(const CGRect& frame) : UIButton(frame) {
    showsTouchWhenHighlighted = true;
    addTarget(this, [this](UIControl*, UIEvent*) { if (delegate_) delegate_->buttonTouchedDown(this); },
              UIControlEventTouchDown);
    addTarget(this, [this](UIControl*, UIEvent*) { if (delegate_) delegate_->buttonTouchedUpOutside(this); },
              UIControlEventTouchUpOutside);
    addTarget(this, [this](UIControl*, UIEvent*) { if (delegate_) delegate_->buttonTouchCancelled(this); },
              UIControlEventTouchCancel);
}

ALButton::~ALButton() { removeTarget(this); }

bool ALButton::pointInside(CGPoint point, UIEvent*) const {
    const CGRect b = bounds();
    return point.x >= -10 && point.y >= -10 && point.x < b.size.width + 10 && point.y < b.size.height + 10;
}

UIView* ALButton::hitTest(CGPoint point, UIEvent* event) {
    if (isHidden() || !isUserInteractionEnabled() || !isEnabled()) return nullptr;
    return pointInside(point, event) ? this : nullptr;
}

}  // namespace lumora
