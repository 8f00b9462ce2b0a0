#pragma once

#include <memory>

#include "platform/runloop/RunLoop.h"

namespace lumora {

class LiveViewControllerHD;

// The tablet live screen's side panel sliding in and out ("rightPanel"), its
// open and close buttons ("openPanelButton", "closePanelButton") and the
// timer that tucks the open button away past the right edge a while after
// the panel closed or a touch on the grid brought the button out.
//
// Works on the screen's outlets and its tile grid, through the screen's
// public interface. Held by the screen and goes with it: the animations and
// the timer it starts hold the screen weakly (and strongly while they run).
// Main thread only.
class SidePanelSlideHD {
public:
    explicit SidePanelSlideHD(LiveViewControllerHD& screen);
    ~SidePanelSlideHD();
    SidePanelSlideHD(const SidePanelSlideHD&) = delete;
    SidePanelSlideHD& operator=(const SidePanelSlideHD&) = delete;

    // Open while the close button shows (or there is none).
    bool isPanelOpen() const;
    bool isHideTimerValid() const { return isTimerValid_; }
    void openPanel();
    void closePanel();
    // A touch on the grid with the panel closed: the open button slides
    // back out, to be tucked away again when the timer fires.
    void showOpenButton();
    void slideOpenBtnToHidden();

private:
    void armHideTimer();
    void slidePanel(bool open);
    std::weak_ptr<LiveViewControllerHD> weakScreen() const;

    LiveViewControllerHD& screen_;
    std::shared_ptr<RunLoopTimer> waitForSlidingTimer_;
    bool isTimerValid_ = false;
    bool sliding_ = false;
};

}  // namespace lumora
