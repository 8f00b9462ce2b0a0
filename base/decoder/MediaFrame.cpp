#include "base/decoder/MediaFrame.h"

namespace lumora {

MediaFrame::MediaFrame(std::span<const uint8_t> data)
    : buffer(data.begin(), data.end()), frameLength(static_cast<uint32_t>(data.size())) {}

MediaFrame::MediaFrame(const MediaFrame& other)
    : buffer(other.buffer),
      frameLength(other.frameLength),
      frameIndex(other.frameIndex),
      timestamp(other.timestamp),
      channel(other.channel),
      keyFrame(other.keyFrame),
      isVideo(other.isVideo),
      width(other.width),
      height(other.height) {}

MediaFrame& MediaFrame::operator=(const MediaFrame& other) {
    if (this != &other) {
        buffer = other.buffer;
        keyFrame = other.keyFrame;
        isVideo = other.isVideo;
        channel = other.channel;
        timestamp = other.timestamp;
        frameIndex = other.frameIndex;
        frameLength = other.frameLength;
        width = other.width;
        height = other.height;
        // isDecoding is this frame's own state: not taken over.
    }
    return *this;
}

void MediaFrame::setBuffer(std::span<const uint8_t> data) { buffer.assign(data.begin(), data.end()); }

void MediaFrame::appendData(std::span<const uint8_t> data) {
    if (data.empty()) return;
    buffer.insert(buffer.end(), data.begin(), data.end());
}

}  // namespace lumora
