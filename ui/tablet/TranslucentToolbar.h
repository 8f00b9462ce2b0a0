#pragma once

#include "ui/kit/UIToolbar.h"

namespace lumora {

// A toolbar that draws no bar of its own: the screen's background shows
// through it, only its items are drawn.
class TranslucentToolbar : public UIToolbar {
public:
    explicit TranslucentToolbar(const CGRect& frame = CGRectZero) : UIToolbar(frame) {}

protected:
    void drawBackground(QPainter&) override {}
};

}  // namespace lumora
