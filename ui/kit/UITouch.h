#pragma once

#include <QPointer>
#include <QWidget>
#include <vector>

#include "ui/kit/UIGeometry.h"

namespace lumora {

class UIView;
class UIWindow;

enum class UITouchPhase { Began, Moved, Stationary, Ended, Cancelled };

// One finger on the screen, from press to release. Its view is fixed at the
// press (the hit-test answer) and keeps the touch when the finger leaves it.
class UITouch {
public:
    UITouchPhase phase = UITouchPhase::Began;
    int tapCount = 1;
    double timestamp = 0;  // seconds on the main run loop's clock

    UIView* view() const;
    UIWindow* window() const;
    CGPoint locationInView(const UIView* view) const;
    CGPoint previousLocationInView(const UIView* view) const;
    CGPoint locationInWindow() const { return location_; }

    // Set by the touch router.
    void setView(UIView* view);
    void setWindow(UIWindow* window);
    void moveTo(CGPoint windowPoint);
    void setLocation(CGPoint windowPoint) { location_ = previous_ = windowPoint; }

private:
    QPointer<QWidget> view_;
    QPointer<QWidget> window_;
    CGPoint location_;
    CGPoint previous_;
};

using UITouchSet = std::vector<UITouch*>;

}  // namespace lumora
