#pragma once

#include <memory>

#include "ui/kit/WeakView.h"
#include "ui/phone/LiveToolBar.h"

namespace lumora {

class ChannelMgmtController;
class ChannelViewController;

// What the phone live screen's tool bar does to the grid's selected pane:
// listen, talk, record, snapshot and pan/tilt/zoom. One pane listens and
// one talks at a time (turning it on in a pane turns it off in the other);
// talking also listens, and stopping the talk stops that listening unless
// listening was turned on by its own button. The tool bar's listen, talk
// and record marks follow.
//
// Owned by the screen; holds the grid and the tool bar without keeping
// them (without them every action does nothing). Main thread only.
class LivePaneActions {
public:
    void attach(const std::shared_ptr<ChannelMgmtController>& grid, LiveToolBar* bar);

    void toggleListening();
    void toggleTalking();
    // Not while the pane's spinner turns (the session is still starting).
    void toggleRecording();
    void snapshot();
    // A pan/tilt/zoom code (0 stops the move) to the selected pane.
    void ptz(int code);
    // Listening was turned on by its own button (not by a talk).
    bool isClickAudio() const { return isClickAudio_; }

private:
    ChannelViewController* selectedPane() const;

    std::weak_ptr<ChannelMgmtController> grid_;
    WeakView<LiveToolBar> bar_;
    bool isClickAudio_ = false;
};

}  // namespace lumora
