#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/decoder/FFmpegPtr.h"

namespace lumora {

// One H.264 stream decoded by FFmpeg's "h264" decoder, one access unit at a
// time, for live display: a single decoding thread (frame threading would add
// a frame of delay per thread) and the low-delay flag.
//
// Not thread-safe: one owner (the video decoder's queue) drives it.
class H264Decoder {
public:
    enum class Result {
        Picture,       // at least one picture came out
        NoPictureYet,  // the codec holds the frame back (B-frame reordering)
        Failed,        // the data did not decode, or produced a damaged picture
    };

    // A decoded picture, valid only during the callback. `tag` is the tag
    // given with the access unit the picture belongs to (with reordering
    // that is not the unit just handed in).
    using PictureHandler = std::function<void(const AVFrame& picture, int64_t tag)>;

    H264Decoder() = default;
    H264Decoder(const H264Decoder&) = delete;
    H264Decoder& operator=(const H264Decoder&) = delete;

    // Finds and opens the decoder; false (and `lastError()` says why) when
    // it is missing or does not open.
    bool open();
    bool isOpen() const { return context_ != nullptr; }
    void close();

    // Hands one access unit (Annex B, start codes included) to the codec and
    // passes every picture that is ready to `onPicture`. The bytes are
    // copied into a padded packet, so the codec never reads past their end.
    Result decode(const uint8_t* data, size_t size, int64_t tag, const PictureHandler& onPicture);

    // End of a stream: passes every picture the codec still holds back for
    // reordering to `onPicture`, then leaves the codec ready for a new
    // stream. Answers how many pictures came out.
    int flush(const PictureHandler& onPicture);
    // Forgets every unit handed in and every picture held back, without
    // output: what follows starts afresh (and needs a key frame).
    void discard();

    // Size of the stream as the codec context knows it (0 before the first
    // parameter sets).
    int width() const { return context_ ? context_->width : 0; }
    int height() const { return context_ ? context_->height : 0; }

    const std::string& lastError() const { return lastError_; }

    // Packs a picture as planar YUV 4:2:0: Y (width x height), then U and V
    // ((width / 2) x (height / 2) each), rows without gaps, reading each
    // plane at its own line size. 8-bit 4:2:0 pictures are copied as they
    // are; any other format is converted first. False (out untouched) for a
    // picture without a positive size, without chroma planes, or in a format
    // that cannot be converted.
    bool packYuv420(const AVFrame& picture, std::vector<uint8_t>& out);

    // Converts a picture to 32-bit pixels (blue, green, red, unused), resizing
    // `out` to width x height x 4 when its size differs.
    bool convertToRgb32(const AVFrame& picture, std::vector<uint8_t>& out);

private:
    // An 8-bit 4:2:0 view of the picture: the picture itself, or a converted
    // copy held in converted_.
    const AVFrame* yuv420View(const AVFrame& picture);

    ffmpeg::CodecContextPtr context_;
    ffmpeg::PacketPtr packet_;
    ffmpeg::FramePtr frame_;
    ffmpeg::FramePtr converted_;
    ffmpeg::SwsContextPtr sws_;
    int swsWidth_ = 0, swsHeight_ = 0, swsFormat_ = -1;
    // Access units handed in whose picture has not come out yet.
    int owed_ = 0;
    std::string lastError_;
};

}  // namespace lumora
