#pragma once

#include "ui/kit/UIView.h"

namespace lumora {

// The root view of a tablet video tile: a frame 2 points wide on the view's
// edges (half of it shows), green when the tile is selected and blue
// otherwise. It also carries the grid position the tile stands at and
// whether the tile fills the grid.
class ChannelViewHD : public UIView {
public:
    explicit ChannelViewHD(const CGRect& frame = CGRectZero);

    int layoutTag() const { return layoutTag_; }
    void setLayoutTag(int tag) { layoutTag_ = tag; }
    bool selected() const { return selected_; }
    // Stores the flag and redraws.
    void setSelected(bool selected);
    bool fullScreen() const { return fullScreen_; }
    void setFullScreen(bool full) { fullScreen_ = full; }

    void drawRect(const CGRect& rect) override;

private:
    int layoutTag_ = 0;
    bool selected_ = false;
    bool fullScreen_ = false;
};

}  // namespace lumora
