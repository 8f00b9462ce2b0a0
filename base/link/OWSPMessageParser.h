#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "base/decoder/MediaFrame.h"
#include "base/link/OWSPLink.h"

namespace lumora {

class Device;
class DeviceClientDelegate;

// Reads the byte stream a device sends: cuts it into packets, walks the
// records of each packet, gathers video and audio into media frames and
// reports every reply and every complete frame to the link's
// DeviceClientDelegate.
//
// Every byte comes from the network and is treated as hostile: nothing is
// read outside the bytes given, packet lengths are checked against
// owsp::kMaxPacketLength before anything else, assembled frames never grow
// past the length they announced (nor past kMaxFrameLength), and device
// texts are read within their fields.
//
// No lock: one parser serves one link at a time, on the queue that delivers
// that link's bytes; callbacks are made synchronously on that queue.
class OWSPMessageParser {
public:
    // Largest frame the parser assembles from announced fragments.
    static constexpr uint32_t kMaxFrameLength = 8u * 1024 * 1024;

    OWSPMessageParser() = default;

    // Handles the whole packets at the front of `data`. Returns how many
    // bytes they took (the caller removes them), 0 when no whole packet is
    // there yet (keep everything, wait for more), or -1 when the stream
    // cannot be followed (a packet length above owsp::kMaxPacketLength): the
    // caller clears its buffer.
    int32_t parseMessage(std::span<const uint8_t> data, Device* device, OWSPLink* connection);

    // Handles one whole packet. False when a record claimed more bytes than
    // the packet holds (the walk stops there; earlier records were handled).
    bool processOwspMessage(std::span<const uint8_t> packet, Device* device, OWSPLink* connection);

    // Handles the record at the start of `bytes` (which run to the end of
    // its packet) and returns how many bytes the record occupies, its
    // 4-byte header included. `owsplen` is the packet's length field.
    size_t parseTLV(std::span<const uint8_t> bytes, Device* device, OWSPLink* connection, uint32_t owsplen);

    // Per-record steps, each given a record body.
    void parseLoginResponse(std::span<const uint8_t> body, Device* device, OWSPLink* connection);
    void parseVideoFrameInfo(std::span<const uint8_t> body, OWSPLink* connection);
    void parseVideoFrameInfoEx(std::span<const uint8_t> body, OWSPLink* connection);
    void parseAudioFrameInfo(std::span<const uint8_t> body, OWSPLink* connection);
    void parseVideoFrameData(std::span<const uint8_t> data, bool keyFrame, Device* device, OWSPLink* connection);
    void parseAudioFrameData(std::span<const uint8_t> data, Device* device, OWSPLink* connection);
    void parseConfigSetResponse(std::span<const uint8_t> body, Device* device, OWSPLink* connection);

    // True when the bytes start with a login record (type 41).
    static bool isLoginData(std::span<const uint8_t> bytes);
    // Reads "address:port" (anything from "\r\n\r\n" on is ignored) into the
    // device's address and media port. False, device unchanged, for bytes
    // that are not UTF-8 or hold no ":"; false after setting the address
    // when nothing follows the ":"; true when both were set.
    static bool parseDomainServerResponse(std::span<const uint8_t> bytes, Device& device);

    int32_t mainVersion() const { return _mainVersion; }
    int32_t subVersion() const { return _subVersion; }
    int32_t lastFrameIndex() const { return _lastframeindex; }

private:
    // Length of the data of a record of `type` whose length field says
    // `field`, with `available` bytes from its body to its packet's end.
    static size_t recordDataLength(uint16_t type, uint16_t field, size_t available);
    void deliverVideoIfReady(MediaFrame& frame, Device* device, OWSPLink* connection);

    int32_t _mainVersion = 5;
    int32_t _subVersion = 0;
    // Frame index of the last video frame delivered; 0: none yet.
    int32_t _lastframeindex = 0;
    // Audio is gathered apart from the link's video assembly frame, so audio
    // records between the fragments of a video frame leave that frame alone.
    // Starts as an audio frame: audio data before any audio information is
    // still audio.
    static MediaFrame audioStart() {
        MediaFrame f;
        f.isVideo = 0;
        return f;
    }
    MediaFrame audioFrame_ = audioStart();
    // Set when a frame being assembled had to be dropped: its remaining
    // fragments are skipped until the next frame-information record.
    bool skippingVideo_ = false;
};

}  // namespace lumora
