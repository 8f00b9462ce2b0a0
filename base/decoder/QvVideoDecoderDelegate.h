#pragma once

#include <cstdint>
#include <vector>

namespace lumora {

class MediaFrame;
class QvVideoDecoder;

// Receiver of a decoder's pictures. Both callbacks are optional: a callback
// is sent only when the matching implements...() answers true. Pictures
// arrive on the main queue; the references are valid for the call only.
class QvVideoDecoderDelegate {
public:
    virtual ~QvVideoDecoderDelegate() = default;

    virtual bool implementsDecoderDidDecodeFrameToYUV() const { return false; }
    // `frame` is a copy of the decoded frame with its width and height set;
    // `yuv` is the planar YUV 4:2:0 picture: Y (width x height bytes), then U
    // and V ((width / 2) x (height / 2) bytes each), rows without gaps.
    virtual void decoderDidDecodeFrameToYUV(QvVideoDecoder& /*decoder*/, const MediaFrame& /*frame*/,
                                            const std::vector<uint8_t>& /*yuv*/) {}

    virtual bool implementsDecoderDidDecodeFrameToRGB() const { return false; }
    // `rgb` is width x height pixels of 4 bytes (blue, green, red, unused).
    virtual void decoderDidDecodeFrameToRGB(QvVideoDecoder& /*decoder*/, const MediaFrame& /*frame*/,
                                            const std::vector<uint8_t>& /*rgb*/) {}
};

}  // namespace lumora
