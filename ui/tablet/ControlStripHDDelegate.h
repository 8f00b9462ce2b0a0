#pragma once

namespace lumora {

// The controls of the tablet live screen's control strip (ControlStripHD),
// each the action of one button. The screen implements them on its selected
// tile. Main thread.
class ControlStripHDDelegate {
public:
    virtual ~ControlStripHDDelegate() = default;

    // ---- first page: pan/tilt/zoom, held (the release calls stopCtrl)
    virtual void moveUpCtrl() = 0;
    virtual void moveDownCtrl() = 0;
    virtual void moveLeftCtrl() = 0;
    virtual void moveRightCtrl() = 0;
    virtual void zoomDownCtrl() = 0;
    virtual void zoomUpCtrl() = 0;
    virtual void tUpCtrl() = 0;
    virtual void tDownCtrl() = 0;
    virtual void iUpCtrl() = 0;
    virtual void iDownCtrl() = 0;
    // A pan/tilt/zoom button went down: `action` is one of the moves above.
    virtual void holdPtzControl(void (ControlStripHDDelegate::*action)()) = 0;
    virtual void stopCtrl() = 0;
    virtual void playCtrl() = 0;

    // ---- second page
    virtual void voiceCtrl() = 0;
    virtual void talkCtrl() = 0;
    virtual void recordCtrl() = 0;
    virtual void snapshotCtrl() = 0;
    virtual void stopAllCtrl() = 0;
    virtual void oneViewMode() = 0;
    virtual void fourViewMode() = 0;
    virtual void sixViewMode() = 0;
    virtual void nineViewMode() = 0;
    virtual void sixtnViewMode() = 0;
};

}  // namespace lumora
