#pragma once

namespace lumora {

class UIButton;

// Told by the phone live screen's tool bar (LiveToolBar) and its two
// pull-out panels what the user asked for. Main thread.
class LiveToolBarDelegate {
public:
    // The buttons that act on the screen or its selected pane.
    enum class Tool { Ptz, Listen, Talk, Record, Snapshot, More, Layout, Settings, About, Files, Remote, Devices };

    virtual ~LiveToolBarDelegate() = default;
    virtual void liveToolBarDidTap(Tool tool, UIButton* sender) = 0;
    // A pan/tilt/zoom button went down: `code` is the move (5 zoom in, 6 zoom
    // out, 7/8 focus, 9 up, 10 down, 11 left, 12 right, 13/14 iris).
    virtual void liveToolBarPtzPressed(int code) = 0;
    // The finger left it, wherever it ended.
    virtual void liveToolBarPtzReleased() = 0;
};

}  // namespace lumora
