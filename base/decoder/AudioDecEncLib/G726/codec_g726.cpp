// G.726 ADPCM and G.711 companding.
//
// The per-sample coder follows the fixed-point block description of ITU-T
// G.726 (the block names of the standard appear in the comments), so its code
// words and samples are bit-exact with the standard's test sequences. Values
// the standard keeps as 16-bit two's complement words (the predictor sums,
// the reconstructed signal, the zero predictor coefficients) wrap as they do
// there.

#include "base/decoder/AudioDecEncLib/G726/codec_g726.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace lumora {

namespace {

// Stops the process on a call no correct caller makes.
void check(bool ok, const char* condition, const char* function) {
    if (ok) return;
    std::fflush(stdout);
    std::fprintf(stderr, "Assertion failed: (%s), function %s, file codec_g726.\n", condition, function);
    std::abort();
}

int wrap16(int v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

// Number of significant bits: the exponent of the standard's floating-point
// formats (0 for 0).
int exponentOf(int magnitude) { return static_cast<int>(std::bit_width(static_cast<unsigned>(magnitude))); }

// ---- Per-rate tables (G.726 tables 1 to 4 and the quantiser blocks) ----

struct Rate {
    int bits;             // bits per code word
    int groupWords;       // code words (samples) per 4-byte group
    const int* decision;  // QUAN: normalised decision levels, log2 domain x 128
    int decisions;
    const int* dqln;      // RECONST: normalised output, log2 domain x 128, by code word
    const int* w;         // FUNCTW: scale factor multiplier, in units of Y (x 512), by code word
    const int* f;         // FUNCTF: transition indicator weight, x 512, by code word
    bool zeroLevel;       // |I| = 0 means no difference; a positive one is sent as all ones
    int bLeakShift;       // UPB: leakage of the zero predictor coefficients

    int signBit() const { return 1 << (bits - 1); }
    int mask() const { return (1 << bits) - 1; }
};

const int kDecision16[] = {261};
const int kDqln16[] = {116, 365, 365, 116};
const int kW16[] = {-704, 14048, 14048, -704};
const int kF16[] = {0, 0xE00, 0xE00, 0};

const int kDecision24[] = {8, 218, 331};
const int kDqln24[] = {-2048, 135, 273, 373, 373, 273, 135, -2048};
const int kW24[] = {-128, 960, 4384, 18624, 18624, 4384, 960, -128};
const int kF24[] = {0, 0x200, 0x400, 0xE00, 0xE00, 0x400, 0x200, 0};

const int kDecision32[] = {-124, 80, 178, 246, 300, 349, 400};
const int kDqln32[] = {-2048, 4, 135, 213, 273, 323, 373, 425, 425, 373, 323, 273, 213, 135, 4, -2048};
const int kW32[] = {-384,  576,   1312,  2048,  3584,  6336, 11360, 35904,
                    35904, 11360, 6336,  3584,  2048,  1312, 576,   -384};
const int kF32[] = {0, 0, 0, 0x200, 0x200, 0x200, 0x600, 0xE00, 0xE00, 0x600, 0x200, 0x200, 0x200, 0, 0, 0};

const int kDecision40[] = {-122, -16, 68, 139, 198, 250, 298, 339, 378, 413, 445, 475, 502, 528, 553};
const int kDqln40[] = {-2048, -66, 28,  104, 169, 224, 274, 318, 358, 395, 429, 459, 488, 514, 539, 566,
                       566,   539, 514, 488, 459, 429, 395, 358, 318, 274, 224, 169, 104, 28,  -66, -2048};
const int kW40[] = {448,   448,   768,   1248,  1280,  1312,  1856,  3200,  4512,  5728,  7008,
                    8960,  11456, 14080, 16928, 22272, 22272, 16928, 14080, 11456, 8960,  7008,
                    5728,  4512,  3200,  1856,  1312,  1280,  1248,  768,   448,   448};
const int kF40[] = {0,     0,     0,     0,     0,     0x200, 0x200, 0x200, 0x200, 0x200, 0x400,
                    0x600, 0x800, 0xA00, 0xC00, 0xC00, 0xC00, 0xC00, 0xA00, 0x800, 0x600, 0x400,
                    0x200, 0x200, 0x200, 0x200, 0x200, 0,     0,     0,     0,     0};

const Rate kRate16 = {2, 16, kDecision16, 1, kDqln16, kW16, kF16, false, 8};
const Rate kRate24 = {3, 10, kDecision24, 3, kDqln24, kW24, kF24, true, 8};
const Rate kRate32 = {4, 8, kDecision32, 7, kDqln32, kW32, kF32, true, 8};
const Rate kRate40 = {5, 6, kDecision40, 15, kDqln40, kW40, kF40, true, 9};

const Rate* rateFor(int bitrule) {
    switch (bitrule) {
    case G726_16: return &kRate16;
    case G726_24: return &kRate24;
    case G726_32: return &kRate32;
    case G726_40: return &kRate40;
    default: return nullptr;
    }
}

bool validCoding(int coding) {
    return coding == AUDIO_ENCODING_ULAW || coding == AUDIO_ENCODING_ALAW || coding == AUDIO_ENCODING_LINEAR;
}

// ---- The standard's 11-bit floating-point numbers: sign (bit 10), 4-bit
// exponent, 6-bit mantissa; zero has the mantissa 32. ----

int toFloat(bool negative, int magnitude) {
    int exp = exponentOf(magnitude);
    int mant = magnitude == 0 ? 32 : (magnitude << 6) >> exp;
    return (negative ? 0x400 : 0) | (exp << 6) | mant;
}

// FMULT: product of a predictor coefficient (16-bit) and a stored value.
int fmult(int an, int srn) {
    bool anNegative = an < 0;
    int anMag = anNegative ? (-(an >> 2)) & 0x1FFF : an >> 2;
    int anExp = exponentOf(anMag);
    int anMant = anMag == 0 ? 32 : (anMag << 6) >> anExp;
    int srnExp = (srn >> 6) & 0xF;
    int srnMant = srn & 0x3F;
    int wanExp = anExp + srnExp;
    int wanMant = (anMant * srnMant + 48) >> 4;
    int wanMag = wanExp <= 26 ? (wanMant << 7) >> (26 - wanExp) : ((wanMant << 7) << (wanExp - 26)) & 0x7FFF;
    bool negative = anNegative != ((srn & 0x400) != 0);
    return negative ? -wanMag : wanMag;
}

struct Estimate {
    int sez;  // zero predictor part, 15 bits
    int se;   // signal estimate, 15 bits
};

// FMULT and ACCUM: the signal estimate from the stored history.
Estimate predict(const g726_coder_state* s) {
    int sezi = 0;
    for (int i = 0; i < 6; ++i) sezi = wrap16(sezi + fmult(s->b[i], s->dq[i]));
    int sei = wrap16(sezi + fmult(s->a[1], s->sr[1]) + fmult(s->a[0], s->sr[0]));
    return {sezi >> 1, sei >> 1};
}

// LIMA and MIX: the quantiser scale factor.
int scaleFactor(const g726_coder_state* s) {
    int al = s->ap >= 256 ? 64 : s->ap >> 2;
    int ylp = s->yl >> 6;
    int dif = s->yu - ylp;
    int prod = (std::abs(dif) * al) >> 6;
    return dif < 0 ? ylp - prod : ylp + prod;
}

// LOG, SUBTB and QUAN: the code word of a difference signal.
int quantize(const Rate& r, int d, int y) {
    int dqm = std::abs(d);
    int exp = std::max(exponentOf(dqm) - 1, 0);
    int mant = ((dqm << 7) >> exp) & 0x7F;
    int dln = (exp << 7) + mant - (y >> 2);
    int i = 0;
    while (i < r.decisions && dln >= r.decision[i]) ++i;
    if (d < 0) return r.mask() - i;
    if (i == 0 && r.zeroLevel) return r.mask();
    return i;
}

// ADDA and ANTILOG: the magnitude of the quantised difference.
int reconstructMagnitude(const Rate& r, int code, int y) {
    int dql = r.dqln[code] + (y >> 2);
    if (dql < 0) return 0;
    int dex = (dql >> 7) & 0xF;
    int dqt = 128 + (dql & 0x7F);
    return (dqt << 7) >> (14 - dex);
}

// Everything after the quantiser, shared by encoder and decoder: the
// reconstructed signal (ADDB, ADDC) and the adaptation of the scale factor,
// predictor and speed control. Returns the reconstructed signal SR.
int reconstructAndAdapt(const Rate& r, int code, int y, const Estimate& e, g726_coder_state* s) {
    const bool dqNegative = (code & r.signBit()) != 0;
    const int dqMag = reconstructMagnitude(r, code, y);
    const int dq = dqNegative ? -dqMag : dqMag;
    const int sr = wrap16(e.se + dq);
    const int dqsez = wrap16(dq + e.sez);
    const int pk0 = dqsez < 0 ? 1 : 0;

    // TRANS: a data signal (tone detected) with a large difference.
    const int ylint = s->yl >> 15;
    const int ylfrac = (s->yl >> 10) & 0x1F;
    const int thr1 = (32 + ylfrac) << ylint;
    const int thr2 = ylint > 9 ? 31 << 10 : thr1;
    const int dqthr = (thr2 + (thr2 >> 1)) >> 1;
    const bool tr = s->td != 0 && dqMag > dqthr;

    // FUNCTW, FILTD, LIMB: fast scale factor. FILTE: slow scale factor.
    s->yu = std::clamp(y + ((r.w[code] - y) >> 5), 544, 5120);
    s->yl += s->yu + ((-s->yl) >> 6);

    // UPA2, LIMC: second pole coefficient.
    int a2p = s->a[1] - (s->a[1] >> 7);
    if (dqsez != 0) {
        const bool pks1 = (pk0 ^ s->pk[0]) != 0;
        const int fa1 = pks1 ? s->a[0] : -s->a[0];
        a2p += std::clamp(fa1, -8191, 8191) >> 5;
        a2p += (pk0 ^ s->pk[1]) ? -128 : 128;
        a2p = std::clamp(a2p, -12288, 12288);
    }
    // UPA1, LIMD: first pole coefficient.
    int a1p = s->a[0] - (s->a[0] >> 8);
    if (dqsez != 0) a1p += (pk0 ^ s->pk[0]) ? -192 : 192;
    const int a1ul = 15360 - a2p;
    a1p = std::clamp(a1p, -a1ul, a1ul);

    // TRIGB: a data signal resets the predictor; otherwise UPB adapts the zeros.
    if (tr) {
        s->a[0] = s->a[1] = 0;
        for (int& b : s->b) b = 0;
    } else {
        s->a[0] = a1p;
        s->a[1] = a2p;
        for (int i = 0; i < 6; ++i) {
            int b = s->b[i] - (s->b[i] >> r.bLeakShift);
            if (dqMag != 0) b += (dqNegative == ((s->dq[i] & 0x400) != 0)) ? 128 : -128;
            s->b[i] = wrap16(b);
        }
    }

    // FLOATA, FLOATB and the delay lines.
    for (int i = 5; i > 0; --i) s->dq[i] = s->dq[i - 1];
    s->dq[0] = toFloat(dqNegative, dqMag);
    s->sr[1] = s->sr[0];
    s->sr[0] = toFloat(sr < 0, sr < 0 ? (-sr) & 0x7FFF : sr);
    s->pk[1] = s->pk[0];
    s->pk[0] = pk0;

    // TONE and TRIGB: tone detector.
    s->td = !tr && a2p < -11776 ? 1 : 0;

    // FUNCTF, FILTA, FILTB, SUBTC, FILTC, TRIGA: speed control.
    const int fi = r.f[code];
    s->dms += (fi - s->dms) >> 5;
    s->dml += ((fi << 2) - s->dml) >> 7;
    if (tr) {
        s->ap = 256;
    } else if (y < 1536 || s->td == 1 || std::abs((s->dms << 2) - s->dml) >= (s->dml >> 3)) {
        s->ap += (0x200 - s->ap) >> 4;
    } else {
        s->ap += (-s->ap) >> 4;
    }
    return sr;
}

// EXPAND: a sample in `coding` to the coder's 14-bit linear input.
int expand(int sample, int coding) {
    switch (coding) {
    case AUDIO_ENCODING_ALAW: return g711_alaw2linear(static_cast<uint8_t>(sample)) >> 2;
    case AUDIO_ENCODING_ULAW: return g711_ulaw2linear(static_cast<uint8_t>(sample)) >> 2;
    default: return std::clamp(sample, -32768, 32767) >> 2;
    }
}

// COMPRESS for A-law output, then SYNC: the synchronous coding adjustment.
// Re-quantises the chosen A-law value; when that would not give the received
// code word, moves one A-law step towards it.
int compressAlaw(const Rate& r, int code, int sr, int se, int y) {
    const int sp = g711_linear2alaw((sr >> 1) << 3);
    const int id = quantize(r, (g711_alaw2linear(static_cast<uint8_t>(sp)) >> 2) - se, y);
    if (id == code) return sp;
    const int im = code ^ r.signBit();  // code words as biased unsigned values
    const int idm = id ^ r.signBit();
    const int magnitude = sp ^ 0x55;  // bit 7 set: positive
    if (idm > im) {  // next lower value
        if (sp & 0x80) return sp == 0xD5 ? 0x55 : (magnitude - 1) ^ 0x55;
        return sp == 0x2A ? 0x2A : (magnitude + 1) ^ 0x55;
    }
    // next higher value
    if (sp & 0x80) return sp == 0xAA ? 0xAA : (magnitude + 1) ^ 0x55;
    return sp == 0x55 ? 0xD5 : (magnitude - 1) ^ 0x55;
}

// COMPRESS for mu-law output, then SYNC.
int compressUlaw(const Rate& r, int code, int sr, int se, int y) {
    const int sp = g711_linear2ulaw(sr << 2);
    const int id = quantize(r, (g711_ulaw2linear(static_cast<uint8_t>(sp)) >> 2) - se, y);
    if (id == code) return sp;
    const int im = code ^ r.signBit();
    const int idm = id ^ r.signBit();
    if (idm > im) {  // next lower value
        if (sp & 0x80) return sp == 0xFF ? 0x7E : sp + 1;
        return sp == 0x00 ? 0x00 : sp - 1;
    }
    // next higher value
    if (sp & 0x80) return sp == 0x80 ? 0x80 : sp - 1;
    return sp == 0x7F ? 0xFE : sp + 1;
}

int encodeSample(const Rate& r, int sample, int coding, g726_coder_state* s) {
    if (!validCoding(coding)) return -1;
    const int sl = expand(sample, coding);
    const Estimate e = predict(s);
    const int y = scaleFactor(s);
    const int code = quantize(r, sl - e.se, y);
    reconstructAndAdapt(r, code, y, e, s);
    return code;
}

int decodeSample(const Rate& r, int code, int coding, g726_coder_state* s) {
    if (!validCoding(coding)) return -1;
    code &= r.mask();
    const Estimate e = predict(s);
    const int y = scaleFactor(s);
    const int sr = reconstructAndAdapt(r, code, y, e, s);
    switch (coding) {
    case AUDIO_ENCODING_ALAW: return compressAlaw(r, code, sr, e.se, y);
    case AUDIO_ENCODING_ULAW: return compressUlaw(r, code, sr, e.se, y);
    default: return std::clamp(sr * 4, -32768, 32767);
    }
}

int encodeWith(int bitrule, int sample, int coding, g726_coder_state* s) {
    switch (bitrule) {
    case G726_16: return g726_16_encoder(sample, coding, s);
    case G726_24: return g726_24_encoder(sample, coding, s);
    case G726_32: return g726_32_encoder(sample, coding, s);
    default: return g726_40_encoder(sample, coding, s);
    }
}

int decodeWith(int bitrule, int code, int coding, g726_coder_state* s) {
    switch (bitrule) {
    case G726_16: return g726_16_decoder(code, coding, s);
    case G726_24: return g726_24_decoder(code, coding, s);
    case G726_32: return g726_32_decoder(code, coding, s);
    default: return g726_40_decoder(code, coding, s);
    }
}

// Stores one decoded sample; returns the bytes written.
size_t putSample(uint8_t* out, int sample, int coding) {
    if (coding == AUDIO_ENCODING_LINEAR) {
        int16_t v = static_cast<int16_t>(sample);
        std::memcpy(out, &v, sizeof v);
        return sizeof v;
    }
    *out = static_cast<uint8_t>(sample);
    return 1;
}

}  // namespace

// ---- G.711 ----

uint8_t g711_linear2alaw(int pcm) {
    pcm = std::clamp(pcm, -32768, 32767);
    int ix = (pcm < 0 ? ~pcm : pcm) >> 4;  // 11-bit magnitude
    if (ix > 15) {
        int exp = exponentOf(ix) - 4;  // segment 1..7
        ix = (exp << 4) | ((ix >> (exp - 1)) & 0xF);
    }
    if (pcm >= 0) ix |= 0x80;
    return static_cast<uint8_t>(ix ^ 0x55);
}

int g711_alaw2linear(uint8_t alaw) {
    int ix = alaw ^ 0x55;
    int exp = (ix >> 4) & 7;
    int mant = ix & 0xF;
    int v = exp == 0 ? (mant << 4) + 8 : ((mant << 4) + 0x108) << (exp - 1);
    return (ix & 0x80) ? v : -v;
}

uint8_t g711_linear2ulaw(int pcm) {
    pcm = std::clamp(pcm, -32768, 32767);
    int mask = pcm < 0 ? 0x7F : 0xFF;
    int biased = (pcm < 0 ? -pcm : pcm) + 0x84;
    int seg = exponentOf(biased) - 8;  // biased >= 0x84: segment 0..8
    if (seg > 7) return static_cast<uint8_t>(0x7F ^ mask);
    return static_cast<uint8_t>(((seg << 4) | ((biased >> (seg + 3)) & 0xF)) ^ mask);
}

int g711_ulaw2linear(uint8_t ulaw) {
    int ix = ~ulaw & 0xFF;
    int t = (((ix & 0xF) << 3) + 0x84) << ((ix >> 4) & 7);
    return (ix & 0x80) ? 0x84 - t : t - 0x84;
}

// ---- Per-sample coders ----

int g726_16_encoder(int sample, int coding, g726_coder_state* state) { return encodeSample(kRate16, sample, coding, state); }
int g726_16_decoder(int code, int coding, g726_coder_state* state) { return decodeSample(kRate16, code, coding, state); }
int g726_24_encoder(int sample, int coding, g726_coder_state* state) { return encodeSample(kRate24, sample, coding, state); }
int g726_24_decoder(int code, int coding, g726_coder_state* state) { return decodeSample(kRate24, code, coding, state); }
int g726_32_encoder(int sample, int coding, g726_coder_state* state) { return encodeSample(kRate32, sample, coding, state); }
int g726_32_decoder(int code, int coding, g726_coder_state* state) { return decodeSample(kRate32, code, coding, state); }
int g726_40_encoder(int sample, int coding, g726_coder_state* state) { return encodeSample(kRate40, sample, coding, state); }
int g726_40_decoder(int code, int coding, g726_coder_state* state) { return decodeSample(kRate40, code, coding, state); }

// ---- States and buffers ----

void g726_coder_reset(g726_coder_state* state) {
    *state = g726_coder_state{};
    state->yl = 34816;
    state->yu = 544;
    for (int& v : state->dq) v = 32;
    for (int& v : state->sr) v = 32;
}

int g726_state_create(uint8_t bitrule, uint8_t coding, g726_state** state) {
    check(bitrule <= G726_40, "bitrule>=G726_16 && bitrule<=G726_40", __func__);
    check(validCoding(coding),
          "coding==AUDIO_ENCODING_ALAW || coding==AUDIO_ENCODING_ULAW || coding==AUDIO_ENCODING_LINEAR", __func__);
    check(state != nullptr, "state != NULL", __func__);
    auto* created = new (std::nothrow) g726_state{};
    if (!created) return 0;
    created->coder = new (std::nothrow) g726_coder_state{};
    if (!created->coder) {
        delete created;
        return 0;
    }
    g726_coder_reset(created->coder);
    created->bitrule = bitrule;
    created->coding = coding;
    *state = created;
    return 1;
}

void g726_state_destroy(g726_state** state) {
    check(state != nullptr, "state != NULL", __func__);
    if (!*state) return;
    delete (*state)->coder;
    delete *state;
    *state = nullptr;
}

uint8_t* g726_pack(uint8_t* out, const uint8_t* cw, int num_cw, int rate) {
    switch (rate) {
    case 2: check(num_cw == 16, "num_cw == 16", __func__); break;
    case 3: check(num_cw == 10, "num_cw == 10", __func__); break;
    case 4: check(num_cw == 8, "num_cw == 8", __func__); break;
    case 5: check(num_cw == 6, "num_cw == 6", __func__); break;
    default: check(false, "FALSE", __func__);
    }
    uint32_t group = 0;
    for (int i = 0; i < num_cw; ++i) group = (group << rate) | (cw[i] & ((1u << rate) - 1));
    out[0] = static_cast<uint8_t>(group >> 24);
    out[1] = static_cast<uint8_t>(group >> 16);
    out[2] = static_cast<uint8_t>(group >> 8);
    out[3] = static_cast<uint8_t>(group);
    return out;
}

int g726_unpack(const uint8_t* in, uint8_t* cw, int rate) {
    const Rate* r = rateFor(rate - 2);
    check(r != nullptr, "FALSE", __func__);
    uint32_t group = (uint32_t{in[0]} << 24) | (uint32_t{in[1]} << 16) | (uint32_t{in[2]} << 8) | in[3];
    for (int i = r->groupWords - 1; i >= 0; --i) {
        cw[i] = static_cast<uint8_t>(group & r->mask());
        group >>= rate;
    }
    return r->groupWords;
}

int g726_encode(g726_state* pHandle, const uint8_t* inBuf, int inLen, uint8_t* outBuf, size_t outCapacity,
                int* outLen) {
    check(pHandle != nullptr, "pHandle != NULL", __func__);
    check(inBuf != nullptr, "inBuf != NULL", __func__);
    check(outBuf != nullptr, "outBuf != NULL", __func__);
    check(outLen != nullptr, "outLen != NULL", __func__);
    check(inLen > 0, "inLen > 0", __func__);
    const Rate* r = rateFor(pHandle->bitrule);
    check(r != nullptr, "FALSE", __func__);

    const int coding = pHandle->coding;
    const int sampleBytes = coding == AUDIO_ENCODING_LINEAR ? 2 : 1;
    const size_t groups = std::min<size_t>(static_cast<size_t>(inLen / sampleBytes) / r->groupWords, outCapacity / 4);
    const uint8_t* in = inBuf;
    uint8_t cw[16];
    for (size_t g = 0; g < groups; ++g) {
        for (int i = 0; i < r->groupWords; ++i) {
            int sample;
            if (sampleBytes == 2) {
                int16_t v;
                std::memcpy(&v, in, sizeof v);
                sample = v;
            } else {
                sample = *in;
            }
            in += sampleBytes;
            cw[i] = static_cast<uint8_t>(encodeWith(pHandle->bitrule, sample, coding, pHandle->coder));
        }
        g726_pack(outBuf + 4 * g, cw, r->groupWords, r->bits);
    }
    *outLen = static_cast<int>(groups * 4);
    return static_cast<int>(in - inBuf);
}

int g726_decode(g726_state* pHandle, const uint8_t* inBuf, int inLen, uint8_t* outBuf, size_t outCapacity,
                int* outLen) {
    check(pHandle != nullptr, "pHandle != NULL", __func__);
    check(inBuf != nullptr, "inBuf != NULL", __func__);
    check(outBuf != nullptr, "outBuf != NULL", __func__);
    check(outLen != nullptr, "outLen != NULL", __func__);
    *outLen = 0;
    const Rate* r = rateFor(pHandle->bitrule);
    if (!r || inLen <= 0) return 0;

    const int coding = pHandle->coding;
    const size_t sampleBytes = coding == AUDIO_ENCODING_LINEAR ? 2 : 1;
    // Units decoded as a whole: one byte at 16 and 32 kbit/s, one group at
    // 24 and 40 kbit/s.
    const bool byteUnits = r->bits == 2 || r->bits == 4;
    const size_t unitBytes = byteUnits ? 1 : 4;
    const size_t unitWords = byteUnits ? 8 / r->bits : r->groupWords;
    const size_t units = std::min(static_cast<size_t>(inLen) / unitBytes, outCapacity / (unitWords * sampleBytes));

    uint8_t* out = outBuf;
    uint8_t cw[16];
    for (size_t u = 0; u < units; ++u) {
        const uint8_t* in = inBuf + u * unitBytes;
        if (byteUnits) {
            for (size_t i = 0; i < unitWords; ++i) cw[i] = static_cast<uint8_t>(*in >> (8 - r->bits * (i + 1)));
        } else {
            g726_unpack(in, cw, r->bits);
        }
        for (size_t i = 0; i < unitWords; ++i)
            out += putSample(out, decodeWith(pHandle->bitrule, cw[i], coding, pHandle->coder), coding);
    }
    *outLen = static_cast<int>(out - outBuf);
    return static_cast<int>(units * unitBytes);
}

}  // namespace lumora
