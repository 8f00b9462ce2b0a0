#pragma once

namespace lumora {

class RunLoopTimer;
class ShotViewHD;
class UITapGestureRecognizer;

// Whoever owns the tablet media grid's item views hears of their gestures.
// Main thread.
class ShotViewDelegate {
public:
    virtual ~ShotViewDelegate() = default;
    // The delete mark was tapped; `layoutTag` is the view's grid position (or -1).
    virtual void shotViewDeleteAtLayout(ShotViewHD* view, int layoutTag) = 0;
    // A touch stayed 0.5 s with fewer than four moves.
    virtual void shotViewLongPress(ShotViewHD* view, RunLoopTimer* timer) = 0;
    // One tap with one finger on the item.
    virtual void shotViewSingleTapped(ShotViewHD* view, UITapGestureRecognizer* recognizer) = 0;
};

}  // namespace lumora
