#pragma once

#include "ui/kit/WeakView.h"
#include "ui/kit/UIView.h"

namespace lumora {

// A panel that passes every touch on to its next responder.
class FloatingPanelView : public UIView {
public:
    explicit FloatingPanelView(const CGRect& frame = CGRectZero) : UIView(frame) {}

    UIView* containerView() const { return containerView_.data(); }
    void setContainerView(UIView* view) { containerView_ = view; }

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

private:
    WeakView<UIView> containerView_;  // not owned
};

}  // namespace lumora
