// G.726 encoding and decoding throughput over A-law samples at every rate,
// beside spandsp coding the same signal, in interleaved rounds; and the G.711
// single-sample conversions, both sides called the same way.

#include <spandsp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "base/decoder/AudioDecEncLib/G726/codec_g726.h"
#include "bench/BenchRounds.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSamples = 240 * 2000;  // 60 s of audio, whole groups at every rate
constexpr int kRateBitsPerSecond[] = {16000, 24000, 32000, 40000};


// Speech-like test signal: two tones plus noise, as A-law bytes.
std::vector<uint8_t> makeAlaw() {
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 600);
    std::vector<uint8_t> v(kSamples);
    for (int i = 0; i < kSamples; ++i) {
        double t = i / 8000.0;
        double x = 7000 * std::sin(2 * M_PI * 310 * t) + 3000 * std::sin(2 * M_PI * 1730 * t) + noise(rng);
        v[i] = lumora::g711_linear2alaw(static_cast<int>(x));
    }
    return v;
}

constexpr int kRounds = 7;

// One coding pass each, as a call into each library (ours a static library,
// spandsp a shared one): the whole signal encoded, or the whole packed
// signal decoded, from a fresh state.
struct Ours {
    int bitrule;
    std::vector<uint8_t> packed, sound;
    int packedLen = 0;
    void encode(const std::vector<uint8_t>& alaw) {
        lumora::g726_state* st = nullptr;
        lumora::g726_state_create(bitrule, lumora::AUDIO_ENCODING_ALAW, &st);
        lumora::g726_encode(st, alaw.data(), kSamples, packed.data(), packed.size(), &packedLen);
        lumora::g726_state_destroy(&st);
    }
    void decode() {
        lumora::g726_state* st = nullptr;
        lumora::g726_state_create(bitrule, lumora::AUDIO_ENCODING_ALAW, &st);
        int soundLen = 0;
        lumora::g726_decode(st, packed.data(), packedLen, sound.data(), sound.size(), &soundLen);
        lumora::g726_state_destroy(&st);
    }
};

struct Spandsp {
    int bitrule;
    std::vector<uint8_t> packed, sound;
    int packedLen = 0;
    void encode(const std::vector<uint8_t>& alaw) {
        g726_state_t* s = g726_init(nullptr, kRateBitsPerSecond[bitrule], G726_ENCODING_ALAW, G726_PACKING_LEFT);
        packedLen = g726_encode(s, packed.data(), reinterpret_cast<const int16_t*>(alaw.data()), kSamples);
        g726_free(s);
    }
    void decode() {
        g726_state_t* s = g726_init(nullptr, kRateBitsPerSecond[bitrule], G726_ENCODING_ALAW, G726_PACKING_LEFT);
        g726_decode(s, reinterpret_cast<int16_t*>(sound.data()), packed.data(), packedLen);
        g726_free(s);
    }
};

// G.711 single-sample conversions. spandsp's are inline functions in its
// header, so they get an out-of-line copy here; ours are out-of-line
// functions of the codec library. Both are called the same way, through a
// function pointer the compiler cannot see through, so neither is inlined
// into the loop.
__attribute__((noinline)) uint8_t spandspLinearToAlaw(int v) { return linear_to_alaw(static_cast<int16_t>(v)); }
__attribute__((noinline)) int spandspAlawToLinear(uint8_t a) { return alaw_to_linear(a); }

using Encode711 = uint8_t (*)(int);
using Decode711 = int (*)(uint8_t);

double encode711(Encode711 fn, std::vector<uint8_t>& bytes) {
    Encode711 volatile opaque = fn;
    Encode711 f = opaque;
    return lumora::bench::rate(
                                                          [&] {
                                                              for (int v = -32768; v <= 32767; ++v)
                                                                  bytes[v + 32768] = f(v);
                                                          },
                                                          65536, 0.05);
}

double decode711(Decode711 fn, std::vector<int>& values) {
    Decode711 volatile opaque = fn;
    Decode711 f = opaque;
    return lumora::bench::rate(
        [&] {
            for (int a = 0; a < 256 * 64; ++a) values[a] = f(static_cast<uint8_t>(a));
        },
        256 * 64, 0.05);
}

}  // namespace

int main() {
    using lumora::bench::interleave;
    using lumora::bench::print;
    const std::vector<uint8_t> alaw = makeAlaw();
    std::printf("G726Bench: G.726 over A-law, %d samples (60 s) per pass, Msamples/s (1 = 125 s of audio per second)\n",
                kSamples);
    lumora::bench::printLegend("spandsp (a test-only reference, MSB-first packing), the same signal, one library call "
                               "per pass on both sides");
    for (int bitrule = 0; bitrule < 4; ++bitrule) {
        Ours o{bitrule, std::vector<uint8_t>(alaw.size()), std::vector<uint8_t>(alaw.size())};
        Spandsp s{bitrule, std::vector<uint8_t>(alaw.size()), std::vector<uint8_t>(alaw.size() + 16)};
        const int kbit = kRateBitsPerSecond[bitrule] / 1000;
        const double ms = kSamples / 1e6;
        print(interleave(std::to_string(kbit) + " kbit/s encode", "Ms/s", kRounds,
                         [&] { return lumora::bench::rate([&] { o.encode(alaw); }, ms, 0.05); },
                         [&] { return lumora::bench::rate([&] { s.encode(alaw); }, ms, 0.05); }));
        o.encode(alaw);
        s.encode(alaw);
        print(interleave(std::to_string(kbit) + " kbit/s decode", "Ms/s", kRounds,
                         [&] { return lumora::bench::rate([&] { o.decode(); }, ms, 0.05); },
                         [&] { return lumora::bench::rate([&] { s.decode(); }, ms, 0.05); }));
    }
    std::vector<uint8_t> bytes(65536);
    std::vector<int> values(256 * 64);
    std::puts("G.711, one sample per call through a function pointer on both sides (Msamples/s):");
    print(interleave("linear to A-law", "Ms/s", kRounds, [&] { return encode711(lumora::g711_linear2alaw, bytes) / 1e6; },
                     [&] { return encode711(spandspLinearToAlaw, bytes) / 1e6; }));
    print(interleave("A-law to linear", "Ms/s", kRounds, [&] { return decode711(lumora::g711_alaw2linear, values) / 1e6; },
                     [&] { return decode711(spandspAlawToLinear, values) / 1e6; }));
    return 0;
}
