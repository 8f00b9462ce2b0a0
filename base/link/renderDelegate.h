#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumora {

// What a session controller (DataController) hands to its video pane.
//
// Threads: renderShow arrives on the main queue; every other callback comes
// from the queue that noticed the event (a device link's queue, the global
// queue), and the pane moves to the main queue itself where it needs to.
// The optional callbacks have empty default bodies.
class renderDelegate {
public:
    virtual ~renderDelegate() = default;

    // renderShow:frameWidth:frameHeight: a decoded planar YUV 4:2:0 picture.
    virtual void renderShow(const std::vector<uint8_t>& yuv, int width, int height) = 0;
    // recieveDataLength:packetNum:mode:ip:port:tcpIP:tcpport: (never sent).
    virtual void recieveDataLength(int /*length*/, int /*packetNum*/, int /*mode*/, const std::string& /*ip*/,
                                   int /*port*/, const std::string& /*tcpIP*/, int /*tcpport*/) {}
    // A finished, localized failure text.
    virtual void renderFailed(const std::string& /*text*/) {}
    // The view lost its device (or never reached it) and keeps trying on its
    // own: a localized text that says so. The view is still up; pictures
    // follow once the device is back, and the pane clears the text then.
    virtual void renderReconnecting(const std::string& /*text*/) {}
    // The caption "<device name> chNN".
    virtual void renderShowText(const std::string& /*text*/) {}
    // Whether the device granted a talk request.
    virtual void renderTalkGetRsp(bool /*granted*/) {}
    // true: the device's channel count was learnt; false: a status answer.
    virtual void reloadButton(bool /*learnt*/) {}
};

}  // namespace lumora
