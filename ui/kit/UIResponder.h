#pragma once

#include "ui/kit/UIEvent.h"

namespace lumora {

// Something that takes touches. Unhandled touches go up the chain: a view
// to its controller (when it is one's view) or its superview, a controller
// to its view's superview.
class UIResponder {
public:
    virtual ~UIResponder() = default;
    virtual UIResponder* nextResponder() const { return nullptr; }

    virtual void touchesBegan(const UITouchSet& touches, UIEvent* event);
    virtual void touchesMoved(const UITouchSet& touches, UIEvent* event);
    virtual void touchesEnded(const UITouchSet& touches, UIEvent* event);
    virtual void touchesCancelled(const UITouchSet& touches, UIEvent* event);

    virtual bool canBecomeFirstResponder() const { return false; }
    virtual bool becomeFirstResponder() { return false; }
    virtual bool resignFirstResponder() { return true; }
    virtual bool isFirstResponder() const { return false; }
};

}  // namespace lumora
