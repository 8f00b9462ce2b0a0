#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/audio/AudioTypes.h"

namespace lumora {

// Converts between the bytes of an audio queue's format and the signed
// 16-bit interleaved frames that sound devices take and give.
//
// Formats: linear PCM (8 or 16 bits, signed, either byte order), G.711 A-law
// and mu-law (one byte per sample and channel), and IMA ADPCM in blocks of
// mBytesPerPacket bytes (per channel a 4-byte header of first sample and step
// index, then 4-bit codes, low nibble first, in runs of 4 bytes per channel).
//
// Decoding never reads past the given length: a trailing partial sample,
// frame or ADPCM group is not decoded.
class AudioSampleCoder {
public:
    // True when the queues can play and capture this format.
    static bool supports(const AudioStreamBasicDescription& format);
    // Channels of a supported format (at least 1).
    static uint32_t channels(const AudioStreamBasicDescription& format);
    // Sample rate in whole frames per second (at least 1).
    static uint32_t frameRate(const AudioStreamBasicDescription& format);

    // Appends the frames of `length` bytes in `format` to `out`.
    static void decode(const AudioStreamBasicDescription& format, const uint8_t* data, size_t length,
                       std::vector<int16_t>& out);

    // An encoder for the capture side: frames in, the format's bytes out.
    explicit AudioSampleCoder(const AudioStreamBasicDescription& format);

    // Encodes interleaved frames and appends whole packets to `out`
    // (ADPCM keeps frames that do not fill a block for the next call).
    void encode(const int16_t* frames, size_t frameCount, std::vector<uint8_t>& out);
    // Bytes of the smallest unit the encoder emits (one frame, or one block).
    size_t packetBytes() const { return packetBytes_; }

    // G.711 companding (ITU-T G.711).
    static int16_t alawToLinear(uint8_t a);
    static int16_t ulawToLinear(uint8_t u);
    static uint8_t linearToAlaw(int16_t pcm);
    static uint8_t linearToUlaw(int16_t pcm);

    // Frames per channel in one IMA ADPCM block of `blockBytes` bytes; 0 when
    // such a block cannot hold a header and one run of codes per channel.
    static size_t imaFramesPerBlock(size_t blockBytes, uint32_t channels);

private:
    void encodeImaBlock(std::vector<uint8_t>& out);

    AudioStreamBasicDescription format_;
    uint32_t channels_;
    size_t packetBytes_ = 0;
    // ADPCM encoder state.
    size_t imaFrames_ = 0;
    std::vector<int16_t> pending_;
    std::vector<int> imaIndex_;
};

}  // namespace lumora
