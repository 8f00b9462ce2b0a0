#pragma once

#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "ui/kit/UIEvent.h"

namespace lumora {

class UIGestureRecognizer;
class UIView;
class UIWindow;

// Turns the window's mouse and touch events into touches: one application
// event filter takes every press, runs the views' own hit test, fixes the
// touch's view at the press and sends it the moves and the release (the
// responder chain carries what a view does not handle). Gesture recognisers
// of the touched view and its superviews see each touch first; one that
// recognises cancels the touch for the views. The mouse is one finger.
class TouchRouter : public QObject {
public:
    static TouchRouter& shared();
    // Installs the filter on the application (once).
    void install();
    // A widget that is no view (a page drawn by a browser engine) and takes
    // the mouse itself: presses on it and on its children reach it as Qt
    // delivers them.
    static void letWidgetTakeMouse(QWidget* widget);

    // Finger input in window points; id tells fingers apart.
    void touchBegan(UIWindow* window, int id, CGPoint point);
    void touchMoved(UIWindow* window, int id, CGPoint point);
    void touchEnded(UIWindow* window, int id, CGPoint point);
    // Cancels every touch in progress (a window going away, a rotation).
    void cancelAll();
    bool hasActiveTouches() const { return !active_.empty(); }
    // Whether a finger is down (pressed or moving, its touch not taken away
    // by a recogniser or a scroll) on that view or one inside it.
    bool holdsTouchIn(const UIView* view) const;
    // Runs once every finger is lifted or cancelled (at once when none is down).
    void whenTouchesEnd(std::function<void()> work);

    // From a recogniser whose state changed.
    static void recognizerChangedState(UIGestureRecognizer* recognizer);
    // Cancels the touches of a view (a scroll view that claimed a drag).
    void cancelTouchesForView(UIView* view, const UITouchSet& touches);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Active {
        // Shared: a delivery in progress keeps its touches when a handler
        // cancels everything (a rotation) or the sequence ends under it.
        std::shared_ptr<UITouch> touch;
        std::shared_ptr<bool> cancelledFlag = std::make_shared<bool>(false);
        std::vector<std::weak_ptr<UIGestureRecognizer>> recognizers;
    };
    enum class Phase { Began, Moved, Ended, Cancelled };

    void deliver(const std::vector<int>& ids, Phase phase);
    void cancelForViews(UIGestureRecognizer* winner);
    void finishSequenceIfDone();
    double clockSeconds() const;

    std::map<int, Active> active_;
    std::vector<std::function<void()>> afterTouches_;
    UIEvent event_;
    bool installed_ = false;
    // Tap counting: a press soon after a release near it counts one more.
    double lastReleaseTime_ = -1;
    CGPoint lastReleasePoint_;
    int lastTapCount_ = 0;
};

}  // namespace lumora
