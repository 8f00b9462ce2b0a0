#pragma once

#include "ui/kit/UIGestureRecognizer.h"

namespace lumora {

// Recognises when the last finger of a tap with the required taps and
// touches lifts, the fingers having moved less than 10 points.
class UITapGestureRecognizer : public UIGestureRecognizer {
public:
    int numberOfTapsRequired = 1;
    int numberOfTouchesRequired = 1;

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void reset() override;

private:
    CGPoint start_;
    size_t maxTouches_ = 0;
};

}  // namespace lumora
