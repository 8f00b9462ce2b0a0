#pragma once

#include "ui/kit/UIView.h"

namespace lumora {

// A bar that fills itself with one colour.
class ALMoviePlayerControlsBar : public UIView {
public:
    explicit ALMoviePlayerControlsBar(const CGRect& frame = CGRectZero);
    const UIColor& color() const { return color_; }
    // A different colour is stored and redrawn; the same one changes nothing.
    void setColor(const UIColor& color);
    int redrawRequests() const { return redraws_; }
    void drawRect(const CGRect& rect) override;

private:
    UIColor color_;
    int redraws_ = 0;
};

}  // namespace lumora
