#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace lumora {

class UIView;

enum UIViewAnimationOptions : unsigned {
    UIViewAnimationOptionNone = 0,
    UIViewAnimationOptionAllowUserInteraction = 1 << 1,
    UIViewAnimationOptionBeginFromCurrentState = 1 << 2,
    UIViewAnimationOptionCurveEaseInOut = 0,
    UIViewAnimationOptionCurveLinear = 3 << 16,
    UIViewAnimationOptionTransitionNone = 0,
    UIViewAnimationOptionTransitionFlipFromLeft = 1 << 20,
    UIViewAnimationOptionTransitionFlipFromRight = 2 << 20,
    UIViewAnimationOptionTransitionCurlUp = 3 << 20,
    UIViewAnimationOptionTransitionCurlDown = 4 << 20,
    UIViewAnimationOptionTransitionCrossDissolve = 5 << 20,
};

// View animations without in-between frames: the animation block sets the
// final values at once, and the completion runs after delay + duration on
// the main run loop's clock. Completions due at the same moment run in the
// order they were scheduled. The begin/commit form calls its did-stop
// handler the same way.
class UIViewAnimation {
public:
    using Completion = std::function<void(bool finished)>;

    static void animateWithDuration(double duration, double delay, unsigned options,
                                    const std::function<void()>& animations, Completion completion);
    static void animateWithDuration(double duration, const std::function<void()>& animations,
                                    Completion completion = nullptr);
    static void transitionWithView(UIView* view, double duration, unsigned options,
                                   const std::function<void()>& animations, Completion completion);

    // begin/commit: the changes made between take effect at once; the
    // did-stop handler (animation id, finished) runs after delay + duration.
    static void beginAnimations(const std::string& animationId);
    static void setAnimationDuration(double seconds);
    static void setAnimationDelay(double seconds);
    static void setAnimationDidStop(std::function<void(const std::string& animationId, bool finished)> handler);
    static void commitAnimations();

    // Runs `task` after `seconds` on the run loop's clock, in scheduling
    // order among tasks due at the same time (also used by transitions).
    static void schedule(double seconds, std::function<void()> task);
    // Runs every scheduled task now, in order (a transition that must end
    // before the next one begins).
    static void flush();
    // How many scheduled tasks wait.
    static size_t pendingCount();
};

// Seconds on the main run loop's clock (the media clock of the screens).
double CACurrentMediaTime();

}  // namespace lumora
