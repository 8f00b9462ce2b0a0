#pragma once

namespace lumora {

class ChannelViewControllerHD;
class UIGestureRecognizer;

// What a tablet video tile tells the live screen. Called on the main thread.
class ChannelViewControllerHDDelegate {
public:
    virtual ~ChannelViewControllerHDDelegate() = default;
    // Declared for the screens; a tile never sends it.
    virtual void ChannelViewControllerHDDidReceiveChannelNumber(ChannelViewControllerHD*, int) {}
    // The live view ended in a failure (the device and channel it showed).
    virtual void ChannelViewControllerHDSessionFailedForDevice(ChannelViewControllerHD*, int /*deviceId*/,
                                                               int /*channel*/) {}
    // Declared for the screens; a tile never sends it.
    virtual void ChannelViewControllerHDSessionClosedForDeviceNormal(ChannelViewControllerHD*, int, int) {}
    // true: talk did not come about.
    virtual void channelViewControllerHDDidFailedTalk(ChannelViewControllerHD*, bool /*failed*/) {}
    // The tile was stopped.
    virtual void channelViewControllerHDStop(ChannelViewControllerHD*) {}
    // Declared for the screens; a tile never sends it.
    virtual void channelViewControllerHDDidStopRecord(ChannelViewControllerHD*, bool) {}
    // Device states or the tile's state changed: refresh buttons and lists.
    virtual void channelViewControllerHDShouldReloadButton(ChannelViewControllerHD*) {}
};

// The tile's gestures, for the grid.
class ChannelViewControllerHDGuestureDelegate {
public:
    virtual ~ChannelViewControllerHDGuestureDelegate() = default;
    virtual void ChannelViewControllerHDViewPinched(ChannelViewControllerHD*, UIGestureRecognizer*) {}
    virtual void ChannelViewControllerHDViewRotated(ChannelViewControllerHD*, UIGestureRecognizer*) {}
    virtual void ChannelViewControllerHDViewLongPressed(ChannelViewControllerHD*, UIGestureRecognizer*) {}
    virtual void ChannelViewControllerHDViewDoubleClicked(ChannelViewControllerHD*, UIGestureRecognizer*) {}
};

}  // namespace lumora
