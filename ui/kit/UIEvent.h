#pragma once

#include "ui/kit/UITouch.h"

namespace lumora {

// The touches of one multi-touch sequence as the router delivers them.
class UIEvent {
public:
    double timestamp = 0;
    const UITouchSet& allTouches() const { return touches_; }
    UITouchSet touchesForView(const UIView* view) const;
    void setTouches(UITouchSet touches) { touches_ = std::move(touches); }

private:
    UITouchSet touches_;
};

}  // namespace lumora
