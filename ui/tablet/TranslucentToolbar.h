#pragma once

#include "ui/kit/UIToolbar.h"

namespace lumora {

// A tool bar that draws no bar of its own: the view behind it shows
// through, only its items are drawn.
class TranslucentToolbar : public UIToolbar {
public:
    explicit TranslucentToolbar(const CGRect& frame = CGRectZero);

protected:
    void drawBackground(QPainter& painter) override;
};

}  // namespace lumora
