#include "ui/kit/UITapGestureRecognizer.h"

#include <cmath>

namespace lumora {

void UITapGestureRecognizer::touchesBegan(const UITouchSet& touches, UIEvent* event) {
    if (touches_.empty() && !touches.empty()) start_ = touches.front()->locationInWindow();
    UIGestureRecognizer::touchesBegan(touches, event);
    maxTouches_ = std::max(maxTouches_, touches_.size());
}

void UITapGestureRecognizer::touchesMoved(const UITouchSet& touches, UIEvent*) {
    if (state() != UIGestureRecognizerState::Possible) return;
    for (UITouch* t : touches) {
        CGPoint p = t->locationInWindow();
        if (std::hypot(p.x - start_.x, p.y - start_.y) > 10) {
            setState(UIGestureRecognizerState::Failed);
            return;
        }
    }
}

void UITapGestureRecognizer::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    int taps = touches.empty() ? 0 : touches.front()->tapCount;
    UIGestureRecognizer::touchesEnded(touches, event);
    if (state() != UIGestureRecognizerState::Possible || !touches_.empty()) return;
    if (static_cast<int>(maxTouches_) == numberOfTouchesRequired && taps == numberOfTapsRequired)
        setState(UIGestureRecognizerState::Ended);
}

void UITapGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    maxTouches_ = 0;
}

}  // namespace lumora
