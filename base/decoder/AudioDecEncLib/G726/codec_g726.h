#pragma once

#include <cstddef>
#include <cstdint>

namespace lumora {

// G.726 ADPCM at 16, 24, 32 and 40 kbit/s over G.711 A-law, mu-law or 16-bit
// linear samples, and the G.711 conversions it uses.
//
// A stream's code words travel in 4-byte groups. The code words of one group,
// first code word first, form one number with the first code word in its most
// significant bits, stored most significant byte first and right-aligned:
//
//   rate      bits  code words (= samples) per group  bits used
//   16 kbit/s   2   16                                32
//   24 kbit/s   3   10                                30 (top 2 bits 0)
//   32 kbit/s   4    8                                32
//   40 kbit/s   5    6                                30 (top 2 bits 0)
//
// At 16 and 32 kbit/s a group is therefore a plain bit stream (each byte holds
// 4 or 2 code words, the earlier in the higher bits), and a stream of any
// whole number of bytes decodes.
//
// Calls that a correct caller never makes (no state, no buffers, an unknown
// rate or coding, an empty encoder input, a wrong code word count for the
// rate) stop the process with the condition, the function and the file name.
// Lengths, however, are data: a negative or odd decoder input length, input
// that does not fill a group, and output buffers too small for all of the
// input never stop the process and never make a call read or write past the
// lengths it was given; the result says how much input was used.

// Rate selector (`g726_state::bitrule`).
enum : uint8_t {
    G726_16 = 0,
    G726_24 = 1,
    G726_32 = 2,
    G726_40 = 3,
};

// Sample coding of the encoder's input and the decoder's output
// (`g726_state::coding`).
enum : uint8_t {
    AUDIO_ENCODING_ULAW = 0,    // one G.711 mu-law byte per sample
    AUDIO_ENCODING_ALAW = 1,    // one G.711 A-law byte per sample
    AUDIO_ENCODING_LINEAR = 2,  // one signed 16-bit sample in native byte order
};

// The adaptive quantiser and predictor variables of one G.726 coder, in the
// scaling of the standard's fixed-point description.
struct g726_coder_state {
    int32_t yl;     // slow (locked) scale factor, 19 bits
    int32_t yu;     // fast (unlocked) scale factor, 13 bits
    int32_t dms;    // short-term average of F[I]
    int32_t dml;    // long-term average of F[I]
    int32_t ap;     // speed control
    int32_t a[2];   // pole predictor coefficients A1, A2
    int32_t b[6];   // zero predictor coefficients B1..B6 (16-bit, wrapping)
    int32_t pk[2];  // signs of the last two partial signal estimates
    int32_t dq[6];  // last six quantised differences, 11-bit floating point
    int32_t sr[2];  // last two reconstructed signals, 11-bit floating point
    int32_t td;     // tone detector
};

// One stream's state: one encoder or one decoder, never both.
struct g726_state {
    g726_coder_state* coder;
    uint8_t bitrule;
    uint8_t coding;
};

// Sets a coder state to the reset values of G.726.
void g726_coder_reset(g726_coder_state* state);

// Allocates and resets a state for `bitrule` (0..3) and `coding` (0..2) and
// stores it in `*state`. 1 on success; 0 when memory is exhausted, with
// nothing left allocated and `*state` untouched.
int g726_state_create(uint8_t bitrule, uint8_t coding, g726_state** state);

// Frees `*state` and its coder state and clears `*state`. A stored null
// pointer is left alone.
void g726_state_destroy(g726_state** state);

// Encodes whole groups of samples: `inLen` bytes (2 per sample for linear
// coding, 1 otherwise) into at most `outCapacity` bytes, 4 per group. Stores
// the output length in `*outLen` and returns the input bytes used (whole
// groups only: samples that do not fill a group, an odd byte of linear input,
// and groups that no longer fit the output stay unused).
int g726_encode(g726_state* pHandle, const uint8_t* inBuf, int inLen, uint8_t* outBuf, size_t outCapacity,
                int* outLen);

// Decodes `inLen` bytes into at most `outCapacity` bytes of samples and stores
// the output length in `*outLen`. At 16 and 32 kbit/s every input byte gives 4
// or 2 samples; at 24 and 40 kbit/s every whole 4-byte group gives 10 or 6 and
// trailing bytes are not used. Returns the input bytes used: only whole bytes
// (or groups) whose samples all fit the output are decoded. A length of 0 or
// less decodes nothing.
int g726_decode(g726_state* pHandle, const uint8_t* inBuf, int inLen, uint8_t* outBuf, size_t outCapacity,
                int* outLen);

// Packs one group: `num_cw` code words of `rate` bits (2, 3, 4 or 5) into the
// 4 bytes at `out`; `num_cw` must be the group size of that rate. Only the low
// `rate` bits of each code word count. Returns `out`.
uint8_t* g726_pack(uint8_t* out, const uint8_t* cw, int num_cw, int rate);

// Unpacks one group of `rate`-bit code words (2, 3, 4 or 5) from the 4 bytes
// at `in` into `cw` (16, 10, 8 or 6 of them). Returns the number unpacked.
int g726_unpack(const uint8_t* in, uint8_t* cw, int rate);

// Per-sample coders. An encoder takes one sample in `coding` and returns its
// code word; a decoder takes one code word (only its low 2, 3, 4 or 5 bits
// count) and returns one sample in `coding`: a G.711 byte, or for linear
// coding the reconstructed signal times 4, limited to -32768..32767. Both
// return -1 for a coding other than 0, 1 and 2, leaving the state alone.
// Linear encoder input is a 16-bit sample; larger values are limited.
int g726_16_encoder(int sample, int coding, g726_coder_state* state);
int g726_16_decoder(int code, int coding, g726_coder_state* state);
int g726_24_encoder(int sample, int coding, g726_coder_state* state);
int g726_24_decoder(int code, int coding, g726_coder_state* state);
int g726_32_encoder(int sample, int coding, g726_coder_state* state);
int g726_32_decoder(int code, int coding, g726_coder_state* state);
int g726_40_encoder(int sample, int coding, g726_coder_state* state);
int g726_40_decoder(int code, int coding, g726_coder_state* state);

// ITU-T G.711. Linear values are 16-bit (inputs outside -32768..32767 are
// limited). A-law bytes have their even bits inverted (0x55) and a negative
// input is quantised by its one's complement (-1 is the smallest negative
// level); mu-law adds the bias 0x84 (33 in 14-bit units) to the magnitude.
uint8_t g711_linear2alaw(int pcm);
int g711_alaw2linear(uint8_t alaw);
uint8_t g711_linear2ulaw(int pcm);
int g711_ulaw2linear(uint8_t ulaw);

}  // namespace lumora
