#pragma once

#include <cstdint>

#include "ui/kit/UIGestureRecognizer.h"

namespace lumora {

// Begins when the fingers stayed down (moving less than allowableMovement)
// for minimumPressDuration on the run loop's clock; changes with moves and
// ends when the fingers lift.
class UILongPressGestureRecognizer : public UIGestureRecognizer {
public:
    double minimumPressDuration = 0.5;
    CGFloat allowableMovement = 10;
    int numberOfTouchesRequired = 1;

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void reset() override;

private:
    CGPoint start_;
    uint64_t generation_ = 0;
};

}  // namespace lumora
