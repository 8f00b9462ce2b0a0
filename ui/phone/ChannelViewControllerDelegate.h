#pragma once

namespace lumora {

class ChannelViewController;

// What a phone video pane tells the live screen. Called on the main thread.
class ChannelViewControllerDelegate {
public:
    virtual ~ChannelViewControllerDelegate() = default;
    // Declared for the screens; the phone pane never sends it.
    virtual void channelViewControllerDidReceiveChannelNumber(ChannelViewController*, int) {}
    // A failure text arrived; sent before the pane stops.
    virtual void channelViewControllerSessionFailedForDevice(ChannelViewController*, int /*deviceId*/,
                                                             int /*channel*/) {}
    // true: talk refused or not granted within 3.2 s; false: granted.
    virtual void channelViewControllerDidFailedTalk(ChannelViewController*, bool /*failed*/) {}
    // After each of the three kinds of stop, always with true.
    virtual void channelViewControllerDidStop(ChannelViewController*, bool) {}
    // false on the first picture after a start; otherwise the session's flag.
    virtual void channelViewControllerShouldReloadButton(ChannelViewController*, bool /*reloadchannel*/) {}
};

}  // namespace lumora
