#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "base/decoder/AudioDecEncLib/G726/codec_g726.h"

namespace lumora {

// One G.726 stream at 16 kbit/s over A-law samples, the coding devices use for
// audio in both directions. An instance serves either as a decoder (device
// audio to A-law) or as an encoder (A-law talk audio to G.726), never both:
// the audio controller keeps one for playback and one for talk.
//
// Calls are serialised on the instance, so a free on one thread while another
// decodes never leaves the decoder with a freed state. Without a state (never
// initialised, or freed) both coding calls produce nothing and return 0.
class AudioDecEnc {
public:
    AudioDecEnc() = default;
    ~AudioDecEnc();
    AudioDecEnc(const AudioDecEnc&) = delete;
    AudioDecEnc& operator=(const AudioDecEnc&) = delete;

    // Create a fresh state (16 kbit/s, A-law), replacing one already held.
    // False when memory is exhausted.
    bool initDecoder();
    bool initEncoder();

    // Free the state.
    void freeDecoder();
    void freeEncoder();

    // Decodes `length` G.726 bytes into A-law bytes (4 per input byte), at
    // most `soundCapacity` of them. Returns the output length in bytes.
    // Input beyond what fits the output is not decoded.
    int G726Dec(const uint8_t* data, uint8_t* sound, int length, size_t soundCapacity);

    // Encodes `length` A-law bytes (whole groups of 16) into G.726 bytes, at
    // most `streamCapacity` of them (4 per group). Returns the output length
    // in bytes.
    int G726Enc(const uint8_t* samples, uint8_t* stream, int length, size_t streamCapacity);

    // True while a state is held.
    bool hasState() const;

private:
    bool create();
    void destroy();

    mutable std::mutex _lock;
    g726_state* _handle = nullptr;  // owned
};

}  // namespace lumora
