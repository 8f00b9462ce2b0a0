#pragma once

#include "ui/kit/UIView.h"

namespace lumora {

// One video pane of the stand-in screens: a dark tile with a frame that
// turns orange while selected, and a caption.
class StandInPane : public UIView {
public:
    StandInPane(const CGRect& frame, int number);
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void drawRect(const CGRect& rect) override;
    // Called when the user taps the pane.
    std::function<void(StandInPane*)> onTap;

private:
    int number_;
    bool selected_ = false;
};

}  // namespace lumora
