#pragma once

// One fuzz iteration for the G.726 coder, shared by the libFuzzer target
// (g726_decoder_fuzz.cpp) and the seed test of the normal build. The first
// byte picks the rate and sample coding, the second the room given for the
// output; the rest is a G.726 stream to decode, in two uneven pieces through
// one state, and then sample bytes to encode. Output buffers are exactly the
// size promised to the coder, so a write beyond it shows under
// AddressSanitizer; an answer beyond the input or the room is a finding.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/decoder/AudioDecEncLib/G726/AudioDecEnc.h"
#include "base/decoder/AudioDecEncLib/G726/codec_g726.h"

namespace lumora::fuzz {

inline int fuzzG726Decoder(const uint8_t* data, size_t size) {
    if (size < 2 || size > 65536) return 0;
    const uint8_t rate = data[0] & 3;
    const uint8_t coding = (data[0] >> 2) % 3;
    const size_t room = size_t(data[1]) * 37;
    const uint8_t* body = data + 2;
    const int n = static_cast<int>(size - 2);

    g726_state* state = nullptr;
    if (!g726_state_create(rate, coding, &state)) return 0;
    std::unique_ptr<uint8_t[]> out(new uint8_t[room ? room : 1]);
    int cut = n / 3, done = 0;
    for (int piece : {cut, n - cut}) {
        int outLen = -1;
        int used = g726_decode(state, body + done, piece, out.get(), room, &outLen);
        if (used < 0 || used > piece || outLen < 0 || size_t(outLen) > room) __builtin_trap();
        done += piece;
    }
    if (n > 0) {
        int outLen = -1;
        int used = g726_encode(state, body, n, out.get(), room, &outLen);
        if (used < 0 || used > n || outLen < 0 || size_t(outLen) > room) __builtin_trap();
    }
    g726_state_destroy(&state);

    // The application's own 16 kbit/s A-law decoder and encoder.
    AudioDecEnc dec;
    if (dec.initDecoder()) {
        int got = dec.G726Dec(body, out.get(), n, room);
        if (got < 0 || size_t(got) > room) __builtin_trap();
    }
    AudioDecEnc enc;
    if (n > 0 && enc.initEncoder()) {
        int got = enc.G726Enc(body, out.get(), n, room);
        if (got > 0 && size_t(got) > room) __builtin_trap();
    }
    return 0;
}

}  // namespace lumora::fuzz
