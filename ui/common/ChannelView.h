#pragma once

#include "ui/kit/UIView.h"

namespace lumora {

// The root view of a phone video pane: draws the pane's frame, orange when
// the pane is selected and grey otherwise (2 points wide, centred on the
// view's edges, so half of it shows inside).
class ChannelView : public UIView {
public:
    explicit ChannelView(const CGRect& frame = CGRectZero);

    bool selected() const { return selected_; }
    // Stores the flag and redraws, also when it did not change.
    void setSelected(bool selected);
    int layoutTag() const { return layoutTag_; }
    void setLayoutTag(int tag) { layoutTag_ = tag; }

    void drawRect(const CGRect& rect) override;

private:
    bool selected_ = false;
    int layoutTag_ = 0;
};

}  // namespace lumora
