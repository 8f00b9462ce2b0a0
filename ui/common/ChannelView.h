#pragma once

#include "ui/kit/UIColor.h"
#include "ui/kit/UIView.h"

namespace lumora {

// The root view of a video pane: draws the pane's frame (2 points wide,
// centred on the view's edges, so half of it shows inside) in one colour
// while the pane is selected and another otherwise, and carries the grid
// position the pane stands at and whether it fills the grid (the tablet's
// grid sets that). The phone pane uses it as it is: orange when selected,
// grey otherwise; the tablet tile's ChannelViewHD picks its own colours.
class ChannelView : public UIView {
public:
    explicit ChannelView(const CGRect& frame = CGRectZero);

    bool selected() const { return selected_; }
    // Stores the flag and redraws, also when it did not change.
    void setSelected(bool selected);
    int layoutTag() const { return layoutTag_; }
    void setLayoutTag(int tag) { layoutTag_ = tag; }
    bool fullScreen() const { return fullScreen_; }
    void setFullScreen(bool full) { fullScreen_ = full; }

    void drawRect(const CGRect& rect) override;

protected:
    ChannelView(const CGRect& frame, UIColor selectedColour, UIColor normalColour);

private:
    UIColor selectedColour_;
    UIColor normalColour_;
    bool selected_ = false;
    int layoutTag_ = 0;
    bool fullScreen_ = false;
};

}  // namespace lumora
