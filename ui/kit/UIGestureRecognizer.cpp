#include "ui/kit/UIGestureRecognizer.h"

#include <algorithm>

#include "ui/kit/TouchRouter.h"
#include "ui/kit/UIView.h"

namespace lumora {

void UIGestureRecognizer::addTarget(const void* target, Action action) {
    targets_.push_back(Target{target, std::move(action)});
}

void UIGestureRecognizer::removeTarget(const void* target) {
    targets_.erase(std::remove_if(targets_.begin(), targets_.end(), [&](const Target& t) { return t.target == target; }),
                   targets_.end());
}

CGPoint UIGestureRecognizer::locationInView(const UIView* view) const {
    CGPoint w = lastLocationInWindow_;
    if (!touches_.empty()) {
        w = CGPoint{};
        for (UITouch* t : touches_) {
            w.x += t->locationInWindow().x;
            w.y += t->locationInWindow().y;
        }
        w.x /= touches_.size();
        w.y /= touches_.size();
    }
    if (!view) return w;
    return view->convertPointFromView(w, nullptr);
}

void UIGestureRecognizer::touchesBegan(const UITouchSet& touches, UIEvent*) {
    for (UITouch* t : touches)
        if (std::find(touches_.begin(), touches_.end(), t) == touches_.end()) touches_.push_back(t);
}

void UIGestureRecognizer::touchesMoved(const UITouchSet&, UIEvent*) {}

void UIGestureRecognizer::touchesEnded(const UITouchSet& touches, UIEvent*) {
    for (UITouch* t : touches) {
        lastLocationInWindow_ = t->locationInWindow();
        touches_.erase(std::remove(touches_.begin(), touches_.end(), t), touches_.end());
    }
}

void UIGestureRecognizer::touchesCancelled(const UITouchSet& touches, UIEvent* event) {
    touchesEnded(touches, event);
    if (state_ == UIGestureRecognizerState::Began || state_ == UIGestureRecognizerState::Changed)
        setState(UIGestureRecognizerState::Cancelled);
    else if (state_ == UIGestureRecognizerState::Possible)
        setState(UIGestureRecognizerState::Failed);
}

void UIGestureRecognizer::reset() {
    touches_.clear();
    state_ = UIGestureRecognizerState::Possible;
}

void UIGestureRecognizer::setState(UIGestureRecognizerState state) {
    state_ = state;
    auto keep = shared_from_this();
    if (state == UIGestureRecognizerState::Began || state == UIGestureRecognizerState::Changed ||
        state == UIGestureRecognizerState::Ended || state == UIGestureRecognizerState::Cancelled) {
        auto targets = targets_;
        for (auto& t : targets)
            if (t.action) t.action(*this);
    }
    // Then the views lose the touches it took.
    TouchRouter::recognizerChangedState(this);
}

}  // namespace lumora
