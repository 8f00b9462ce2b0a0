// G.726 encoding and decoding throughput over A-law samples at every rate,
// beside spandsp coding the same signal in the same run. Figures are samples
// per second (8000 make one second of audio), best of several runs.

#include <spandsp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "base/decoder/AudioDecEncLib/G726/codec_g726.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRuns = 5;
constexpr int kSamples = 240 * 2000;  // 60 s of audio, whole groups at every rate
constexpr int kRateBitsPerSecond[] = {16000, 24000, 32000, 40000};

double perSecond(int samples, Clock::duration d) { return samples / std::chrono::duration<double>(d).count(); }

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

struct Figures {
    double encode = 0, decode = 0;
};

Figures ours(int bitrule, const std::vector<uint8_t>& alaw, volatile unsigned& sink) {
    Figures f;
    std::vector<uint8_t> packed(alaw.size()), sound(alaw.size());
    for (int r = 0; r < kRuns; ++r) {
        lumora::g726_state* st = nullptr;
        lumora::g726_state_create(bitrule, lumora::AUDIO_ENCODING_ALAW, &st);
        int packedLen = 0, soundLen = 0;
        auto t0 = Clock::now();
        lumora::g726_encode(st, alaw.data(), kSamples, packed.data(), packed.size(), &packedLen);
        auto t1 = Clock::now();
        lumora::g726_state_destroy(&st);
        lumora::g726_state_create(bitrule, lumora::AUDIO_ENCODING_ALAW, &st);
        auto t2 = Clock::now();
        lumora::g726_decode(st, packed.data(), packedLen, sound.data(), sound.size(), &soundLen);
        auto t3 = Clock::now();
        lumora::g726_state_destroy(&st);
        sink = sink + packed[packedLen / 2] + sound[soundLen / 2];
        f.encode = std::max(f.encode, perSecond(kSamples, t1 - t0));
        f.decode = std::max(f.decode, perSecond(soundLen, t3 - t2));
    }
    return f;
}

Figures spandsp(int bitrule, const std::vector<uint8_t>& alaw, volatile unsigned& sink) {
    Figures f;
    std::vector<uint8_t> packed(alaw.size()), sound(alaw.size() + 16);
    for (int r = 0; r < kRuns; ++r) {
        g726_state_t* s = g726_init(nullptr, kRateBitsPerSecond[bitrule], G726_ENCODING_ALAW, G726_PACKING_LEFT);
        auto t0 = Clock::now();
        int packedLen = g726_encode(s, packed.data(), reinterpret_cast<const int16_t*>(alaw.data()), kSamples);
        auto t1 = Clock::now();
        g726_free(s);
        s = g726_init(nullptr, kRateBitsPerSecond[bitrule], G726_ENCODING_ALAW, G726_PACKING_LEFT);
        auto t2 = Clock::now();
        int soundLen = g726_decode(s, reinterpret_cast<int16_t*>(sound.data()), packed.data(), packedLen);
        auto t3 = Clock::now();
        g726_free(s);
        sink = sink + packed[packedLen / 2] + sound[soundLen / 2];
        f.encode = std::max(f.encode, perSecond(kSamples, t1 - t0));
        f.decode = std::max(f.decode, perSecond(soundLen, t3 - t2));
    }
    return f;
}

}  // namespace

int main() {
    const std::vector<uint8_t> alaw = makeAlaw();
    volatile unsigned sink = 0;
    std::printf("G.726 over A-law, %d samples per run, best of %d (Msamples/s; 1 = 125 s of audio per second)\n",
                kSamples, kRuns);
    std::printf("%-10s %12s %12s %12s %12s\n", "rate", "encode", "spandsp", "decode", "spandsp");
    for (int bitrule = 0; bitrule < 4; ++bitrule) {
        Figures o = ours(bitrule, alaw, sink);
        Figures s = spandsp(bitrule, alaw, sink);
        std::printf("%2d kbit/s  %12.2f %12.2f %12.2f %12.2f\n", kRateBitsPerSecond[bitrule] / 1000, o.encode / 1e6,
                    s.encode / 1e6, o.decode / 1e6, s.decode / 1e6);
    }
    // G.711 alone, over every 16-bit value.
    std::vector<uint8_t> bytes(65536);
    auto t0 = Clock::now();
    for (int r = 0; r < 50; ++r)
        for (int v = -32768; v <= 32767; ++v) bytes[v + 32768] = lumora::g711_linear2alaw(v);
    auto t1 = Clock::now();
    for (int r = 0; r < 50; ++r)
        for (int v = -32768; v <= 32767; ++v) bytes[v + 32768] ^= linear_to_alaw(v);
    auto t2 = Clock::now();
    sink = sink + bytes[1234];
    std::printf("G.711 linear to A-law: %.0f Msamples/s, spandsp %.0f Msamples/s\n",
                perSecond(50 * 65536, t1 - t0) / 1e6, perSecond(50 * 65536, t2 - t1) / 1e6);
    return 0;
}
