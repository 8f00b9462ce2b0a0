#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "base/decoder/AudioDecEncLib/G726/codec_g726.h"

using namespace lumora;

namespace {

constexpr int kBits[] = {2, 3, 4, 5};
constexpr int kGroupWords[] = {16, 10, 8, 6};

// A state that frees itself.
struct State {
    g726_state* s = nullptr;
    State(uint8_t bitrule, uint8_t coding) { EXPECT_EQ(g726_state_create(bitrule, coding, &s), 1); }
    ~State() { g726_state_destroy(&s); }
};

std::vector<uint8_t> alawTone(size_t n, double hz = 1000, double amplitude = 8000) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = g711_linear2alaw(static_cast<int>(amplitude * std::sin(2 * 3.141592653589793 * hz * i / 8000.0)));
    return v;
}

std::vector<uint8_t> randomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

}  // namespace

TEST(G726Pack, GroupLayoutPerRate) {
    struct Case {
        int rate;
        std::vector<uint8_t> cw;
        uint8_t want[4];
    } cases[] = {
        {2, {3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2}, {0xC6, 0xC6, 0xC6, 0xC6}},
        {2, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, {0x00, 0x00, 0x00, 0x01}},
        // 24 kbit/s: code word 0 in bits 5-3 of byte 0, code word 1 in bits 2-0.
        {3, {5, 3, 0, 0, 0, 0, 0, 0, 0, 0}, {0x2B, 0x00, 0x00, 0x00}},
        {3, {7, 7, 7, 7, 7, 7, 7, 7, 7, 7}, {0x3F, 0xFF, 0xFF, 0xFF}},
        // Code word 4 spans bytes 1 and 2.
        {3, {0, 0, 0, 0, 7, 0, 0, 0, 0, 0}, {0x00, 0x03, 0x80, 0x00}},
        {3, {0, 0, 0, 0, 0, 0, 0, 7, 0, 0}, {0x00, 0x00, 0x01, 0xC0}},  // code word 7: bytes 2 and 3
        {4, {1, 2, 3, 4, 5, 6, 7, 8}, {0x12, 0x34, 0x56, 0x78}},
        // 40 kbit/s: code word 0 in bits 5-1 of byte 0, code word 1 spans bytes 0 and 1.
        {5, {31, 0, 0, 0, 0, 0}, {0x3E, 0x00, 0x00, 0x00}},
        {5, {0, 31, 0, 0, 0, 0}, {0x01, 0xF0, 0x00, 0x00}},
        {5, {31, 31, 31, 31, 31, 31}, {0x3F, 0xFF, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        EXPECT_EQ(g726_pack(out, c.cw.data(), static_cast<int>(c.cw.size()), c.rate), out);
        EXPECT_EQ(0, std::memcmp(out, c.want, 4)) << "rate " << c.rate << " first byte " << int(out[0]);
    }
}

TEST(G726Pack, OnlyLowBitsCountAndUnpackRestores) {
    std::mt19937 rng(5);
    for (int r = 0; r < 4; ++r)
        for (int round = 0; round < 200; ++round) {
            uint8_t cw[16], noisy[16], back[16], out[4];
            for (int i = 0; i < kGroupWords[r]; ++i) {
                cw[i] = static_cast<uint8_t>(rng() & ((1 << kBits[r]) - 1));
                noisy[i] = static_cast<uint8_t>(cw[i] | (rng() << kBits[r]));
            }
            g726_pack(out, noisy, kGroupWords[r], kBits[r]);
            if (kBits[r] == 3 || kBits[r] == 5) {
                EXPECT_EQ(out[0] & 0xC0, 0) << "rate " << kBits[r];
            }
            ASSERT_EQ(g726_unpack(out, back, kBits[r]), kGroupWords[r]);
            EXPECT_EQ(0, std::memcmp(cw, back, kGroupWords[r])) << "rate " << kBits[r];
        }
}

TEST(G726Codec, EncodeLengthsByRateAndCoding) {
    struct Case {
        uint8_t bitrule, coding;
        int inLen;
        int wantUsed, wantOut;
    } cases[] = {
        {G726_16, AUDIO_ENCODING_ALAW, 320, 320, 80},    // 40 ms of talk audio
        {G726_16, AUDIO_ENCODING_LINEAR, 64, 64, 8},     // 32 bytes per group
        {G726_24, AUDIO_ENCODING_ULAW, 30, 30, 12},
        {G726_32, AUDIO_ENCODING_ALAW, 16, 16, 8},
        {G726_40, AUDIO_ENCODING_LINEAR, 24, 24, 8},
        // Input that does not fill a group stays unused instead of being read
        // past its end.
        {G726_16, AUDIO_ENCODING_ALAW, 20, 16, 4},
        {G726_16, AUDIO_ENCODING_ALAW, 15, 0, 0},
        {G726_24, AUDIO_ENCODING_ALAW, 19, 10, 4},
        {G726_16, AUDIO_ENCODING_LINEAR, 33, 32, 4},     // an odd byte
    };
    for (const Case& c : cases) {
        State st(c.bitrule, c.coding);
        std::vector<uint8_t> in = randomBytes(c.inLen, 1);  // exactly sized: ASan sees any overread
        std::vector<uint8_t> out(c.wantOut + 4, 0xEE);
        int outLen = -1;
        EXPECT_EQ(g726_encode(st.s, in.data(), c.inLen, out.data(), out.size(), &outLen), c.wantUsed)
            << int(c.bitrule) << "/" << int(c.coding) << "/" << c.inLen;
        EXPECT_EQ(outLen, c.wantOut);
        for (size_t i = c.wantOut; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE);
    }
}

TEST(G726Codec, DecodeLengthsByRateAndCoding) {
    struct Case {
        uint8_t bitrule, coding;
        int inLen;
        int wantUsed, wantOut;
    } cases[] = {
        {G726_16, AUDIO_ENCODING_ALAW, 80, 80, 320},  // one received packet
        {G726_16, AUDIO_ENCODING_ALAW, 1, 1, 4},
        {G726_16, AUDIO_ENCODING_LINEAR, 3, 3, 24},
        {G726_32, AUDIO_ENCODING_ULAW, 3, 3, 6},
        {G726_24, AUDIO_ENCODING_ALAW, 4, 4, 10},
        {G726_24, AUDIO_ENCODING_ALAW, 6, 4, 10},  // trailing bytes are not decoded
        {G726_24, AUDIO_ENCODING_ALAW, 3, 0, 0},
        {G726_40, AUDIO_ENCODING_LINEAR, 8, 8, 24},
        {G726_40, AUDIO_ENCODING_ULAW, 11, 8, 12},
    };
    for (const Case& c : cases) {
        State st(c.bitrule, c.coding);
        std::vector<uint8_t> in = randomBytes(c.inLen, 2);
        std::vector<uint8_t> out(c.wantOut + 8, 0xEE);
        int outLen = -1;
        EXPECT_EQ(g726_decode(st.s, in.data(), c.inLen, out.data(), out.size(), &outLen), c.wantUsed)
            << int(c.bitrule) << "/" << int(c.coding) << "/" << c.inLen;
        EXPECT_EQ(outLen, c.wantOut);
        for (size_t i = c.wantOut; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE);
    }
}

// Received lengths never overrun the output or stop the process.
TEST(G726Codec, DecodeStopsAtTheOutputCapacity) {
    struct Case {
        uint8_t bitrule, coding;
        int inLen;
        size_t capacity;
        int wantUsed, wantOut;
    } cases[] = {
        {G726_16, AUDIO_ENCODING_ALAW, 600, 2048, 512, 2048},  // a packet too long for the area
        {G726_16, AUDIO_ENCODING_ALAW, 10, 7, 1, 4},           // no partial bytes
        {G726_16, AUDIO_ENCODING_LINEAR, 10, 15, 1, 8},
        {G726_24, AUDIO_ENCODING_ALAW, 8, 19, 4, 10},          // no partial groups
        {G726_40, AUDIO_ENCODING_LINEAR, 8, 11, 0, 0},
        {G726_16, AUDIO_ENCODING_ALAW, 10, 0, 0, 0},
    };
    for (const Case& c : cases) {
        State st(c.bitrule, c.coding);
        std::vector<uint8_t> in = randomBytes(c.inLen, 3);
        std::vector<uint8_t> out(c.capacity + 16, 0xEE);
        int outLen = -1;
        EXPECT_EQ(g726_decode(st.s, in.data(), c.inLen, out.data(), c.capacity, &outLen), c.wantUsed)
            << int(c.bitrule) << "/" << c.inLen << "/" << c.capacity;
        EXPECT_EQ(outLen, c.wantOut);
        for (size_t i = c.wantOut; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << i;
    }
}

TEST(G726Codec, EncodeStopsAtTheOutputCapacity) {
    State st(G726_16, AUDIO_ENCODING_ALAW);
    std::vector<uint8_t> in = alawTone(320);
    std::vector<uint8_t> out(16, 0xEE);
    int outLen = -1;
    EXPECT_EQ(g726_encode(st.s, in.data(), 320, out.data(), 11, &outLen), 32);
    EXPECT_EQ(outLen, 8);
    for (size_t i = 8; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE);
}

TEST(G726Codec, DecodeOfNothingOrAnUnknownRateGivesNothing) {
    State st(G726_16, AUDIO_ENCODING_ALAW);
    uint8_t in[4] = {1, 2, 3, 4}, out[64];
    int outLen = -1;
    EXPECT_EQ(g726_decode(st.s, in, 0, out, sizeof out, &outLen), 0);
    EXPECT_EQ(outLen, 0);
    outLen = -1;
    EXPECT_EQ(g726_decode(st.s, in, -5, out, sizeof out, &outLen), 0);
    EXPECT_EQ(outLen, 0);
    st.s->bitrule = 4;
    outLen = -1;
    EXPECT_EQ(g726_decode(st.s, in, 4, out, sizeof out, &outLen), 0);
    EXPECT_EQ(outLen, 0);
}

// A state carries its history from call to call: splitting at group
// boundaries changes nothing, and equal states give equal output.
TEST(G726Codec, HistoryCarriesAcrossCalls) {
    for (uint8_t bitrule = G726_16; bitrule <= G726_40; ++bitrule) {
        const int group = kGroupWords[bitrule];
        std::vector<uint8_t> in = alawTone(group * 30, 440, 12000);
        State whole(bitrule, AUDIO_ENCODING_ALAW), split(bitrule, AUDIO_ENCODING_ALAW), twin(bitrule, AUDIO_ENCODING_ALAW);
        std::vector<uint8_t> a(120), b(120), c(120);
        int la = 0, lb1 = 0, lb2 = 0, lc = 0;
        g726_encode(whole.s, in.data(), static_cast<int>(in.size()), a.data(), a.size(), &la);
        g726_encode(split.s, in.data(), group * 7, b.data(), b.size(), &lb1);
        g726_encode(split.s, in.data() + group * 7, group * 23, b.data() + lb1, b.size() - lb1, &lb2);
        g726_encode(twin.s, in.data(), static_cast<int>(in.size()), c.data(), c.size(), &lc);
        EXPECT_EQ(la, 120);
        EXPECT_EQ(lb1 + lb2, 120);
        EXPECT_EQ(a, b) << "rate " << int(bitrule);
        EXPECT_EQ(a, c) << "rate " << int(bitrule);

        State dWhole(bitrule, AUDIO_ENCODING_ALAW), dSplit(bitrule, AUDIO_ENCODING_ALAW);
        std::vector<uint8_t> x(in.size()), y(in.size());
        int lx = 0, ly1 = 0, ly2 = 0;
        g726_decode(dWhole.s, a.data(), la, x.data(), x.size(), &lx);
        int used = g726_decode(dSplit.s, a.data(), 8, y.data(), y.size(), &ly1);
        g726_decode(dSplit.s, a.data() + used, la - used, y.data() + ly1, y.size() - ly1, &ly2);
        EXPECT_EQ(lx, static_cast<int>(in.size()));
        EXPECT_EQ(ly1 + ly2, lx);
        EXPECT_EQ(x, y) << "rate " << int(bitrule);
    }
}

// The decoded tone follows the original closely at every rate.
TEST(G726Codec, RoundTripKeepsTheSignal) {
    const double minSnr[] = {18, 22, 30, 40};  // dB, by rate (measured: 23.8, 27.6, 37.8, 48.2)
    for (uint8_t bitrule = G726_16; bitrule <= G726_40; ++bitrule) {
        std::vector<uint8_t> in = alawTone(240 * 20, 800, 10000);
        State enc(bitrule, AUDIO_ENCODING_ALAW), dec(bitrule, AUDIO_ENCODING_ALAW);
        std::vector<uint8_t> packed(in.size()), out(in.size());
        int lp = 0, lo = 0;
        g726_encode(enc.s, in.data(), static_cast<int>(in.size()), packed.data(), packed.size(), &lp);
        g726_decode(dec.s, packed.data(), lp, out.data(), out.size(), &lo);
        ASSERT_EQ(lo, static_cast<int>(in.size()));
        double signal = 0, noise = 0;
        for (size_t i = 200; i < in.size(); ++i) {  // after the coder has settled
            double s = g711_alaw2linear(in[i]), d = g711_alaw2linear(out[i]) - s;
            signal += s * s;
            noise += d * d;
        }
        EXPECT_GT(10 * std::log10(signal / noise), minSnr[bitrule]) << "rate " << int(bitrule);
    }
}

TEST(G726Codec, StatesStartFromTheResetValues) {
    State st(G726_32, AUDIO_ENCODING_ULAW);
    EXPECT_EQ(st.s->bitrule, G726_32);
    EXPECT_EQ(st.s->coding, AUDIO_ENCODING_ULAW);
    const g726_coder_state& c = *st.s->coder;
    EXPECT_EQ(c.yl, 34816);
    EXPECT_EQ(c.yu, 544);
    EXPECT_EQ(c.dms + c.dml + c.ap + c.td + c.a[0] + c.a[1] + c.pk[0] + c.pk[1], 0);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(c.b[i], 0);
        EXPECT_EQ(c.dq[i], 32);
    }
    EXPECT_EQ(c.sr[0], 32);
    EXPECT_EQ(c.sr[1], 32);
    g726_state_destroy(&st.s);
    EXPECT_EQ(st.s, nullptr);
    g726_state_destroy(&st.s);  // nothing stored: nothing to do
}

TEST(G726Coder, UnknownCodingGivesMinusOneAndLeavesTheState) {
    using Fn = int (*)(int, int, g726_coder_state*);
    const Fn coders[] = {g726_16_encoder, g726_16_decoder, g726_24_encoder, g726_24_decoder,
                         g726_32_encoder, g726_32_decoder, g726_40_encoder, g726_40_decoder};
    for (Fn f : coders) {
        g726_coder_state s, before;
        g726_coder_reset(&s);
        f(0x35, AUDIO_ENCODING_ALAW, &s);  // move away from the reset values
        before = s;
        EXPECT_EQ(f(1, 3, &s), -1);
        EXPECT_EQ(f(1, -1, &s), -1);
        EXPECT_EQ(0, std::memcmp(&s, &before, sizeof s));
    }
}

TEST(G726Coder, DecoderUsesOnlyTheLowBits) {
    using Fn = int (*)(int, int, g726_coder_state*);
    const Fn decoders[] = {g726_16_decoder, g726_24_decoder, g726_32_decoder, g726_40_decoder};
    std::mt19937 rng(11);
    for (int r = 0; r < 4; ++r) {
        g726_coder_state a, b;
        g726_coder_reset(&a);
        g726_coder_reset(&b);
        for (int i = 0; i < 500; ++i) {
            int code = static_cast<int>(rng() & 0xFF);
            ASSERT_EQ(decoders[r](code & ((1 << kBits[r]) - 1), AUDIO_ENCODING_ALAW, &a),
                      decoders[r](code, AUDIO_ENCODING_ALAW, &b));
        }
    }
}

// Loud linear output is limited at every rate, never wrapped to the other
// sign: the A-law output of the same code words keeps the sign.
TEST(G726Coder, LinearOutputIsLimitedNotWrapped) {
    using Fn = int (*)(int, int, g726_coder_state*);
    const Fn decoders[] = {g726_16_decoder, g726_24_decoder, g726_32_decoder, g726_40_decoder};
    std::mt19937 rng(7);
    for (int r = 0; r < 4; ++r) {
        g726_coder_state lin, alaw;
        g726_coder_reset(&lin);
        g726_coder_reset(&alaw);
        int loud = 0;
        for (int i = 0; i < 20000; ++i) {
            int code = static_cast<int>(rng() & ((1 << kBits[r]) - 1));
            int v = decoders[r](code, AUDIO_ENCODING_LINEAR, &lin);
            int a = g711_alaw2linear(static_cast<uint8_t>(decoders[r](code, AUDIO_ENCODING_ALAW, &alaw)));
            ASSERT_GE(v, -32768);
            ASSERT_LE(v, 32767);
            if (std::abs(a) >= 24000) {
                ++loud;
                ASSERT_EQ(v > 0, a > 0) << "rate " << kBits[r] << " sample " << i << ": " << v << " vs " << a;
            }
        }
        EXPECT_GT(loud, 0) << "rate " << kBits[r];
    }
}

TEST(G711, KnownValues) {
    EXPECT_EQ(g711_linear2alaw(0), 0xD5);
    EXPECT_EQ(g711_linear2alaw(-1), 0x55);
    EXPECT_EQ(g711_linear2alaw(32767), 0xAA);
    EXPECT_EQ(g711_linear2alaw(-32768), 0x2A);
    EXPECT_EQ(g711_linear2alaw(100000), 0xAA);  // limited
    EXPECT_EQ(g711_alaw2linear(0xD5), 8);
    EXPECT_EQ(g711_alaw2linear(0x2A), -32256);
    EXPECT_EQ(g711_linear2ulaw(0), 0xFF);
    EXPECT_EQ(g711_linear2ulaw(32767), 0x80);
    EXPECT_EQ(g711_linear2ulaw(-32768), 0x00);
    EXPECT_EQ(g711_linear2ulaw(-100000), 0x00);  // limited
    EXPECT_EQ(g711_ulaw2linear(0xFF), 0);
    EXPECT_EQ(g711_ulaw2linear(0x80), 32124);
    EXPECT_EQ(g711_ulaw2linear(0x00), -32124);
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(g711_linear2alaw(g711_alaw2linear(b)), b);
        if (b != 0x7F) {  // -0 reads back as +0
            EXPECT_EQ(g711_linear2ulaw(g711_ulaw2linear(b)), b);
        }
    }
}

// Calls no correct caller makes stop the process with the condition, the
// function and the file.
TEST(G726CodecDeathTest, ProgrammingErrorsStopWithTheirCondition) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    g726_state* st = nullptr;
    uint8_t buf[64] = {};
    int len = 0;
    EXPECT_DEATH(g726_state_create(4, AUDIO_ENCODING_ALAW, &st),
                 "bitrule>=G726_16 && bitrule<=G726_40.*function g726_state_create, file codec_g726");
    EXPECT_DEATH(g726_state_create(G726_16, 3, &st),
                 "coding==AUDIO_ENCODING_ALAW \\|\\| coding==AUDIO_ENCODING_ULAW \\|\\| "
                 "coding==AUDIO_ENCODING_LINEAR.*g726_state_create");
    EXPECT_DEATH(g726_state_create(G726_16, AUDIO_ENCODING_ALAW, nullptr), "state != NULL.*g726_state_create");
    EXPECT_DEATH(g726_state_destroy(nullptr), "state != NULL.*function g726_state_destroy, file codec_g726");

    ASSERT_EQ(g726_state_create(G726_16, AUDIO_ENCODING_ALAW, &st), 1);
    EXPECT_DEATH(g726_encode(nullptr, buf, 16, buf, 64, &len), "pHandle != NULL.*function g726_encode");
    EXPECT_DEATH(g726_encode(st, nullptr, 16, buf, 64, &len), "inBuf != NULL.*g726_encode");
    EXPECT_DEATH(g726_encode(st, buf, 16, nullptr, 64, &len), "outBuf != NULL.*g726_encode");
    EXPECT_DEATH(g726_encode(st, buf, 16, buf, 64, nullptr), "outLen != NULL.*g726_encode");
    EXPECT_DEATH(g726_encode(st, buf, 0, buf, 64, &len), "inLen > 0.*function g726_encode, file codec_g726");
    EXPECT_DEATH(g726_decode(nullptr, buf, 16, buf, 64, &len), "pHandle != NULL.*function g726_decode");
    EXPECT_DEATH(g726_decode(st, buf, 16, buf, 64, nullptr), "outLen != NULL.*g726_decode");
    st->bitrule = 9;
    EXPECT_DEATH(g726_encode(st, buf, 16, buf, 64, &len), "\\(FALSE\\).*g726_encode");
    g726_state_destroy(&st);

    EXPECT_DEATH(g726_pack(buf, buf, 16, 6), "\\(FALSE\\).*function g726_pack, file codec_g726");
    EXPECT_DEATH(g726_pack(buf, buf, 15, 2), "num_cw == 16.*g726_pack");
    EXPECT_DEATH(g726_pack(buf, buf, 8, 3), "num_cw == 10.*g726_pack");
    EXPECT_DEATH(g726_pack(buf, buf, 16, 4), "num_cw == 8.*g726_pack");
    EXPECT_DEATH(g726_pack(buf, buf, 5, 5), "num_cw == 6.*g726_pack");
}
