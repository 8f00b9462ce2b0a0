#pragma once

#include "ui/kit/UIScrollView.h"

namespace lumora {

// Whoever wants to see the touches a QvScrollView receives.
class touchProtocol {
public:
    virtual ~touchProtocol() = default;
    virtual void delegatetouchesCancelled(const UITouchSet& touches, UIEvent* event) = 0;
    virtual void delegatetouchesBegin(const UITouchSet& touches, UIEvent* event) = 0;
    virtual void delegatetouchesMoved(const UITouchSet& touches, UIEvent* event) = 0;
    virtual void delegatetouchesEnded(const UITouchSet& touches, UIEvent* event) = 0;
};

// A scroll view that, after handling a touch itself, hands the same touches
// and event on to its touch delegate (so the owner of a zoomable video view
// also sees drags and swipes).
class QvScrollView : public UIScrollView {
public:
    explicit QvScrollView(const CGRect& frame = CGRectZero) : UIScrollView(frame) {}

    touchProtocol* touchDelegate() const { return touchDelegate_; }
    // Not owned; null: the scroll view keeps its touches.
    void setTouchDelegate(touchProtocol* delegate) { touchDelegate_ = delegate; }

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

private:
    touchProtocol* touchDelegate_ = nullptr;
};

}  // namespace lumora
