#include "ui/kit/UILongPressGestureRecognizer.h"

#include <chrono>
#include <cmath>

#include "platform/runloop/RunLoop.h"

namespace lumora {

void UILongPressGestureRecognizer::touchesBegan(const UITouchSet& touches, UIEvent* event) {
    bool first = touches_.empty();
    UIGestureRecognizer::touchesBegan(touches, event);
    if (!first || touches.empty()) return;
    start_ = touches.front()->locationInWindow();
    uint64_t gen = ++generation_;
    std::weak_ptr<UIGestureRecognizer> weak = weak_from_this();
    RunLoop::main().performAfterDelay(
        std::chrono::nanoseconds(static_cast<int64_t>(minimumPressDuration * 1e9)), [weak, gen] {
            auto self = std::static_pointer_cast<UILongPressGestureRecognizer>(weak.lock());
            if (!self || self->generation_ != gen) return;
            if (self->state() == UIGestureRecognizerState::Possible &&
                static_cast<int>(self->touches_.size()) == self->numberOfTouchesRequired)
                self->setState(UIGestureRecognizerState::Began);
        });
}

void UILongPressGestureRecognizer::touchesMoved(const UITouchSet& touches, UIEvent*) {
    if (touches.empty()) return;
    CGPoint p = touches.front()->locationInWindow();
    lastLocationInWindow_ = p;
    if (state() == UIGestureRecognizerState::Possible) {
        if (std::hypot(p.x - start_.x, p.y - start_.y) > allowableMovement)
            setState(UIGestureRecognizerState::Failed);
    } else if (state() == UIGestureRecognizerState::Began || state() == UIGestureRecognizerState::Changed) {
        setState(UIGestureRecognizerState::Changed);
    }
}

void UILongPressGestureRecognizer::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    UIGestureRecognizer::touchesEnded(touches, event);
    if (!touches_.empty()) return;
    if (state() == UIGestureRecognizerState::Began || state() == UIGestureRecognizerState::Changed)
        setState(UIGestureRecognizerState::Ended);
    else if (state() == UIGestureRecognizerState::Possible)
        setState(UIGestureRecognizerState::Failed);
}

void UILongPressGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    ++generation_;
}

}  // namespace lumora
