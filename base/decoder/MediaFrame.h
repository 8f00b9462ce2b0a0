#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lumora {

// One received audio or video frame on its way from the device link to the
// decoder, the recorder or the audio player. A link keeps one frame as its
// assembly frame and refills it record by record; complete frames travel on
// as copies, so the assembly frame can be refilled at once.
//
// A plain value: copying copies the bytes and every field except the spare
// `isDecoding` flag (a copy starts with it cleared). Not thread-safe.
class MediaFrame {
public:
    // An empty frame: no bytes, nothing announced, channel -1, video.
    MediaFrame() = default;
    // A frame holding a copy of `data`; frameLength is its byte count.
    explicit MediaFrame(std::span<const uint8_t> data);

    MediaFrame(const MediaFrame& other);
    MediaFrame& operator=(const MediaFrame& other);
    MediaFrame(MediaFrame&&) noexcept = default;
    MediaFrame& operator=(MediaFrame&&) noexcept = default;

    // The frame's bytes gathered so far (the frame's own growable copy).
    std::vector<uint8_t> buffer;
    // Announced total byte length; 0: not announced.
    uint32_t frameLength = 0;
    // The device's running frame number.
    int32_t frameIndex = 0;
    // The device's frame time (filled from a 32-bit value).
    int64_t timestamp = 0;
    // Device channel as the device sends it; -1: none.
    int32_t channel = -1;
    uint8_t keyFrame = 0;
    uint8_t isVideo = 1;
    // Picture size, set by the decoder.
    int32_t width = 0;
    int32_t height = 0;
    // Spare state flag; nothing reads it.
    uint8_t isDecoding = 0;

    // Replaces the bytes with a copy of `data` (frameLength is left alone).
    void setBuffer(std::span<const uint8_t> data);
    // Appends `data`; an empty argument changes nothing.
    void appendData(std::span<const uint8_t> data);
    // True exactly when a length was announced and that many bytes are here.
    bool isDataReady() const { return frameLength != 0 && buffer.size() == frameLength; }
};

}  // namespace lumora
