// Bit-exactness against spandsp, which passes the ITU-T G.726 test sequences:
// the G.711 conversions exhaustively, and G.726 at every rate and coding over
// generated signals, both directions.

#include <gtest/gtest.h>

#include <spandsp.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/decoder/AudioDecEncLib/G726/codec_g726.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRateBits[] = {2, 3, 4, 5};
constexpr int kRateBitsPerSecond[] = {16000, 24000, 32000, 40000};
constexpr int kGroupWords[] = {16, 10, 8, 6};

int16_t clip16(double v) { return static_cast<int16_t>(std::lround(std::fmin(32767.0, std::fmax(-32768.0, v)))); }

struct Signal {
    std::string name;
    std::vector<int16_t> samples;  // linear
};

// Test signals, each a multiple of every group size (240 = lcm(16, 10, 8, 6)).
std::vector<Signal> makeSignals() {
    const int n = 240 * 40;
    std::vector<Signal> out;
    auto add = [&](std::string name, auto fn) {
        Signal s{std::move(name), std::vector<int16_t>(n)};
        for (int i = 0; i < n; ++i) s.samples[i] = fn(i);
        out.push_back(std::move(s));
    };
    add("silence", [](int) { return int16_t{0}; });
    add("tone 1 kHz -20 dBFS", [](int i) { return clip16(3277 * std::sin(2 * kPi * 1000 * i / 8000.0)); });
    add("tone 300 Hz -3 dBFS", [](int i) { return clip16(23197 * std::sin(2 * kPi * 300 * i / 8000.0)); });
    add("tone 3400 Hz -40 dBFS", [](int i) { return clip16(328 * std::sin(2 * kPi * 3400 * i / 8000.0)); });
    add("tone 2 kHz full scale", [](int i) { return clip16(32767 * std::sin(2 * kPi * 2000 * i / 8000.0 + 0.3)); });
    add("sweep", [](int i) {
        double t = i / 8000.0;
        return clip16(16000 * std::sin(2 * kPi * (50 * t + 1900 * t * t / 1.2)));
    });
    // Phase jumps on a carrier: the tone detector and the data-signal reset.
    add("carrier with phase jumps", [](int i) {
        double phase = ((i / 40) % 3) * 2 * kPi / 3;
        return clip16(20000 * std::sin(2 * kPi * 2400 * i / 8000.0 + phase));
    });
    add("bursts", [](int i) {
        bool on = (i / 600) % 2 == 0;
        return on ? clip16(12000 * std::sin(2 * kPi * 700 * i / 8000.0)) : int16_t{0};
    });
    {
        std::mt19937 rng(1234);
        std::uniform_int_distribution<int> full(-32768, 32767);
        std::vector<int16_t> v(n);
        for (auto& x : v) x = static_cast<int16_t>(full(rng));
        out.push_back({"noise full range", v});
        std::normal_distribution<double> g(0, 2000);
        for (auto& x : v) x = clip16(g(rng));
        out.push_back({"noise gaussian", v});
    }
    add("square full scale", [](int i) { return (i / 20) % 2 ? int16_t{32767} : int16_t{-32768}; });
    add("alternating extremes", [](int i) { return i % 2 ? int16_t{32767} : int16_t{-32768}; });
    add("dc positive full scale", [](int) { return int16_t{32767}; });
    add("dc negative full scale", [](int) { return int16_t{-32768}; });
    add("impulses", [](int i) { return i % 97 == 0 ? int16_t{30000} : int16_t{0}; });
    return out;
}

int spandspCoding(int coding) {
    switch (coding) {
    case lumora::AUDIO_ENCODING_ULAW: return G726_ENCODING_ULAW;
    case lumora::AUDIO_ENCODING_ALAW: return G726_ENCODING_ALAW;
    default: return G726_ENCODING_LINEAR;
    }
}

const char* codingName(int coding) {
    switch (coding) {
    case lumora::AUDIO_ENCODING_ULAW: return "mu-law";
    case lumora::AUDIO_ENCODING_ALAW: return "A-law";
    default: return "linear";
    }
}

// The signal as the coder's samples: G.711 bytes or linear values.
std::vector<int16_t> samplesIn(const std::vector<int16_t>& linear, int coding) {
    std::vector<int16_t> v(linear.size());
    for (size_t i = 0; i < v.size(); ++i) {
        if (coding == lumora::AUDIO_ENCODING_ALAW) v[i] = linear_to_alaw(linear[i]);
        else if (coding == lumora::AUDIO_ENCODING_ULAW) v[i] = linear_to_ulaw(linear[i]);
        else v[i] = linear[i];
    }
    return v;
}

std::vector<uint8_t> asBytes(const std::vector<int16_t>& samples, int coding) {
    if (coding == lumora::AUDIO_ENCODING_LINEAR) {
        std::vector<uint8_t> b(samples.size() * 2);
        std::memcpy(b.data(), samples.data(), b.size());
        return b;
    }
    std::vector<uint8_t> b(samples.size());
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(samples[i]);
    return b;
}

// spandsp with one code word per byte. Its sample buffers are 16-bit values
// for linear coding but plain bytes for A-law and mu-law.
std::vector<uint8_t> referenceEncode(int bitrule, int coding, const std::vector<int16_t>& samples) {
    g726_state_t* s = g726_init(nullptr, kRateBitsPerSecond[bitrule], spandspCoding(coding), G726_PACKING_NONE);
    std::vector<uint8_t> in = asBytes(samples, coding);
    std::vector<uint8_t> codes(samples.size());
    int n = g726_encode(s, codes.data(), reinterpret_cast<const int16_t*>(in.data()), static_cast<int>(samples.size()));
    codes.resize(n);
    g726_free(s);
    return codes;
}

std::vector<int16_t> referenceDecode(int bitrule, int coding, const std::vector<uint8_t>& codes) {
    g726_state_t* s = g726_init(nullptr, kRateBitsPerSecond[bitrule], spandspCoding(coding), G726_PACKING_NONE);
    std::vector<int16_t> out(codes.size());
    int n = g726_decode(s, out.data(), codes.data(), static_cast<int>(codes.size()));
    out.resize(n);
    if (coding != lumora::AUDIO_ENCODING_LINEAR) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(out.data());
        std::vector<int16_t> samples(bytes, bytes + n);
        out = samples;
    }
    g726_free(s);
    return out;
}

// Ours through the buffer functions: groups unpacked into code words.
std::vector<uint8_t> ourEncode(int bitrule, int coding, const std::vector<int16_t>& samples) {
    lumora::g726_state* st = nullptr;
    EXPECT_EQ(lumora::g726_state_create(bitrule, coding, &st), 1);
    std::vector<uint8_t> in = asBytes(samples, coding);
    std::vector<uint8_t> packed(samples.size());
    int outLen = -1;
    int used = lumora::g726_encode(st, in.data(), static_cast<int>(in.size()), packed.data(), packed.size(), &outLen);
    EXPECT_EQ(used, static_cast<int>(in.size()));
    lumora::g726_state_destroy(&st);
    std::vector<uint8_t> codes;
    for (int g = 0; g + 4 <= outLen; g += 4) {
        uint8_t cw[16];
        int n = lumora::g726_unpack(&packed[g], cw, kRateBits[bitrule]);
        codes.insert(codes.end(), cw, cw + n);
    }
    return codes;
}

std::vector<int16_t> ourDecode(int bitrule, int coding, const std::vector<uint8_t>& codes) {
    const int words = kGroupWords[bitrule];
    std::vector<uint8_t> packed;
    for (size_t i = 0; i + words <= codes.size(); i += words) {
        uint8_t group[4];
        lumora::g726_pack(group, &codes[i], words, kRateBits[bitrule]);
        packed.insert(packed.end(), group, group + 4);
    }
    lumora::g726_state* st = nullptr;
    EXPECT_EQ(lumora::g726_state_create(bitrule, coding, &st), 1);
    std::vector<uint8_t> out(codes.size() * 2);
    int outLen = -1;
    int used = lumora::g726_decode(st, packed.data(), static_cast<int>(packed.size()), out.data(), out.size(), &outLen);
    EXPECT_EQ(used, static_cast<int>(packed.size()));
    lumora::g726_state_destroy(&st);
    std::vector<int16_t> samples;
    if (coding == lumora::AUDIO_ENCODING_LINEAR) {
        samples.resize(outLen / 2);
        std::memcpy(samples.data(), out.data(), samples.size() * 2);
    } else {
        for (int i = 0; i < outLen; ++i) samples.push_back(out[i]);
    }
    return samples;
}

template <typename T>
::testing::AssertionResult sameSequence(const std::vector<T>& want, const std::vector<T>& got) {
    if (want.size() != got.size())
        return ::testing::AssertionFailure() << "length " << got.size() << ", reference " << want.size();
    for (size_t i = 0; i < want.size(); ++i)
        if (want[i] != got[i])
            return ::testing::AssertionFailure()
                   << "first difference at " << i << ": " << int(got[i]) << ", reference " << int(want[i]);
    return ::testing::AssertionSuccess();
}

// Linear decoder output. The reference stores the reconstructed signal times
// 4 (up to 18 bits) into 16 bits and so wraps loud samples, often to the other
// sign; ours limits them. Where ours is limited the reference holds some
// wrapped multiple of 4; everywhere else the two are equal (the coder state
// itself is compared exactly through the A-law and mu-law runs).
::testing::AssertionResult sameLinear(const std::vector<int16_t>& want, const std::vector<int16_t>& got) {
    if (want.size() != got.size())
        return ::testing::AssertionFailure() << "length " << got.size() << ", reference " << want.size();
    for (size_t i = 0; i < want.size(); ++i) {
        bool limited = got[i] == 32767 || got[i] == -32768;
        if (limited ? want[i] % 4 != 0 : want[i] != got[i])
            return ::testing::AssertionFailure()
                   << "first difference at " << i << ": " << got[i] << ", reference " << want[i];
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult sameDecoded(int coding, const std::vector<int16_t>& want, const std::vector<int16_t>& got) {
    return coding == lumora::AUDIO_ENCODING_LINEAR ? sameLinear(want, got) : sameSequence(want, got);
}

}  // namespace

TEST(G711Reference, LinearToAlawAndMuLawForEverySample) {
    for (int v = -32768; v <= 32767; ++v) {
        ASSERT_EQ(lumora::g711_linear2alaw(v), linear_to_alaw(v)) << v;
        ASSERT_EQ(lumora::g711_linear2ulaw(v), linear_to_ulaw(v)) << v;
    }
}

TEST(G711Reference, AlawAndMuLawToLinearForEveryByte) {
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(lumora::g711_alaw2linear(b), alaw_to_linear(b)) << b;
        EXPECT_EQ(lumora::g711_ulaw2linear(b), ulaw_to_linear(b)) << b;
    }
}

TEST(G726Reference, EncoderMatchesAtEveryRateAndCoding) {
    const auto signals = makeSignals();
    for (int bitrule = 0; bitrule < 4; ++bitrule)
        for (int coding = 0; coding < 3; ++coding)
            for (const auto& sig : signals) {
                auto in = samplesIn(sig.samples, coding);
                EXPECT_TRUE(sameSequence(referenceEncode(bitrule, coding, in), ourEncode(bitrule, coding, in)))
                    << kRateBitsPerSecond[bitrule] << " bit/s, " << codingName(coding) << ", " << sig.name;
            }
}

TEST(G726Reference, EncoderMatchesOnRandomG711Bytes) {
    std::mt19937 rng(99);
    std::vector<int16_t> in(240 * 100);
    for (int bitrule = 0; bitrule < 4; ++bitrule)
        for (int coding : {lumora::AUDIO_ENCODING_ALAW, lumora::AUDIO_ENCODING_ULAW}) {
            for (auto& x : in) x = static_cast<int16_t>(rng() & 0xFF);
            EXPECT_TRUE(sameSequence(referenceEncode(bitrule, coding, in), ourEncode(bitrule, coding, in)))
                << kRateBitsPerSecond[bitrule] << " bit/s, " << codingName(coding);
        }
}

TEST(G726Reference, DecoderMatchesAtEveryRateAndCoding) {
    const auto signals = makeSignals();
    for (int bitrule = 0; bitrule < 4; ++bitrule)
        for (int coding = 0; coding < 3; ++coding)
            for (const auto& sig : signals) {
                // Code words of the signal, as a device would send them.
                auto codes = referenceEncode(bitrule, lumora::AUDIO_ENCODING_LINEAR, sig.samples);
                EXPECT_TRUE(sameDecoded(coding, referenceDecode(bitrule, coding, codes), ourDecode(bitrule, coding, codes)))
                    << kRateBitsPerSecond[bitrule] << " bit/s, " << codingName(coding) << ", " << sig.name;
            }
}

TEST(G726Reference, DecoderMatchesOnRandomCodeWords) {
    std::mt19937 rng(7);
    for (int bitrule = 0; bitrule < 4; ++bitrule)
        for (int coding = 0; coding < 3; ++coding) {
            std::vector<uint8_t> codes(240 * 200);
            for (auto& c : codes) c = static_cast<uint8_t>(rng() & ((1 << kRateBits[bitrule]) - 1));
            EXPECT_TRUE(sameDecoded(coding, referenceDecode(bitrule, coding, codes), ourDecode(bitrule, coding, codes)))
                << kRateBitsPerSecond[bitrule] << " bit/s, " << codingName(coding);
        }
}

// The system's own use: 16 kbit/s over A-law, whose groups are the reference's
// MSB-first byte stream; 32 kbit/s packs the same way.
TEST(G726Reference, PackedStreamsMatchMsbFirstPacking) {
    const auto signals = makeSignals();
    for (int bitrule : {lumora::G726_16, lumora::G726_32})
        for (const auto& sig : signals) {
            auto alaw = asBytes(samplesIn(sig.samples, lumora::AUDIO_ENCODING_ALAW), lumora::AUDIO_ENCODING_ALAW);
            g726_state_t* ref = g726_init(nullptr, kRateBitsPerSecond[bitrule], G726_ENCODING_ALAW, G726_PACKING_LEFT);
            std::vector<uint8_t> want(alaw.size());
            want.resize(g726_encode(ref, want.data(), reinterpret_cast<const int16_t*>(alaw.data()),
                                    static_cast<int>(alaw.size())));
            g726_free(ref);

            lumora::g726_state* st = nullptr;
            ASSERT_EQ(lumora::g726_state_create(bitrule, lumora::AUDIO_ENCODING_ALAW, &st), 1);
            std::vector<uint8_t> got(alaw.size());
            int outLen = 0;
            lumora::g726_encode(st, alaw.data(), static_cast<int>(alaw.size()), got.data(), got.size(), &outLen);
            got.resize(outLen);
            lumora::g726_state_destroy(&st);
            EXPECT_TRUE(sameSequence(want, got)) << kRateBitsPerSecond[bitrule] << " bit/s, " << sig.name;

            // And back to A-law.
            ref = g726_init(nullptr, kRateBitsPerSecond[bitrule], G726_ENCODING_ALAW, G726_PACKING_LEFT);
            std::vector<uint8_t> wantSound(alaw.size() + 8);
            wantSound.resize(g726_decode(ref, reinterpret_cast<int16_t*>(wantSound.data()), want.data(),
                                         static_cast<int>(want.size())));
            g726_free(ref);
            ASSERT_EQ(lumora::g726_state_create(bitrule, lumora::AUDIO_ENCODING_ALAW, &st), 1);
            std::vector<uint8_t> gotSound(alaw.size());
            int used = lumora::g726_decode(st, got.data(), static_cast<int>(got.size()), gotSound.data(),
                                           gotSound.size(), &outLen);
            EXPECT_EQ(used, static_cast<int>(got.size()));
            gotSound.resize(outLen);
            lumora::g726_state_destroy(&st);
            EXPECT_TRUE(sameSequence(wantSound, gotSound)) << kRateBitsPerSecond[bitrule] << " bit/s, " << sig.name;
        }
}
