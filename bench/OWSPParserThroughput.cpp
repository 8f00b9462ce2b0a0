// Device message parser throughput on a recorded-style stream: 25 fps video
// at 2 Mbit/s (a key frame over 64 KiB every second) with 8 kHz G.711 audio
// every 40 ms. Printed beside memcpy of the same bytes, measured in the same
// run, as the anchor.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "base/link/DeviceClientDelegate.h"
#include "base/link/OWSPMessageParser.h"
#include "tests/base/link/OWSPDevicePackets.h"

using namespace lumora;
using namespace lumora::testing;
using Clock = std::chrono::steady_clock;

namespace {

class CountingClient : public DeviceClientDelegate {
public:
    size_t video = 0, audio = 0, bytes = 0;
    bool implementsDidReceiveVideoFrame() const override { return true; }
    bool implementsDidReceiveAudioFrame() const override { return true; }
    void deviceDidReceiveVideoFrame(Device*, std::shared_ptr<MediaFrame> f, int32_t) override {
        ++video;
        bytes += f->buffer.size();
    }
    void deviceDidReceiveAudioFrame(Device*, std::shared_ptr<MediaFrame> f, int32_t) override {
        ++audio;
        bytes += f->buffer.size();
    }
};

class BenchLink : public OWSPLink {
public:
    std::shared_ptr<CountingClient> counter = std::make_shared<CountingClient>();
    MediaFrame assembly;
    std::shared_ptr<DeviceClientDelegate> client() const override { return counter; }
    MediaFrame& frame() override { return assembly; }
    int32_t tag() const override { return 1; }
};

std::vector<uint8_t> recordedStream(int seconds) {
    constexpr int kFps = 25;
    constexpr size_t kBytesPerSecond = 2'000'000 / 8;
    constexpr size_t kKeyFrame = 80'000;
    constexpr size_t kOtherFrame = (kBytesPerSecond - kKeyFrame) / (kFps - 1);
    std::vector<uint8_t> s;
    uint32_t seq = 1, index = 1;
    for (int sec = 0; sec < seconds; ++sec) {
        for (int f = 0; f < kFps; ++f, ++index) {
            uint32_t t = index * 40;
            bool key = f == 0;
            auto v = videoFramePacket(index, pattern(key ? kKeyFrame : kOtherFrame, uint8_t(index)), key, t, seq++);
            s.insert(s.end(), v.begin(), v.end());
            auto a = audioPacket(t, pattern(320, uint8_t(index)), seq++);
            s.insert(s.end(), a.begin(), a.end());
        }
    }
    return s;
}

double mbPerSecond(size_t bytes, Clock::duration d) {
    return double(bytes) / 1e6 / std::chrono::duration<double>(d).count();
}

}  // namespace

int main() {
    const std::vector<uint8_t> stream = recordedStream(10);
    const int rounds = 40;
    const size_t total = stream.size() * rounds;

    // Anchor: copying the same bytes.
    std::vector<uint8_t> sink(stream.size());
    auto t0 = Clock::now();
    for (int r = 0; r < rounds; ++r) {
        std::memcpy(sink.data(), stream.data(), stream.size());
        asm volatile("" : : "r"(sink.data()) : "memory");
    }
    auto memcpyTime = Clock::now() - t0;

    // The parser over the whole stream in one call.
    size_t frames = 0;
    t0 = Clock::now();
    for (int r = 0; r < rounds; ++r) {
        OWSPMessageParser parser;
        BenchLink link;
        int32_t used = parser.parseMessage(stream, nullptr, &link);
        if (used != int32_t(stream.size())) {
            printf("parser stopped at %d of %zu bytes\n", used, stream.size());
            return 1;
        }
        frames += link.counter->video + link.counter->audio;
    }
    auto wholeTime = Clock::now() - t0;

    // The parser as a link feeds it: 16 KiB reads into a receive buffer.
    t0 = Clock::now();
    for (int r = 0; r < rounds; ++r) {
        OWSPMessageParser parser;
        BenchLink link;
        std::vector<uint8_t> buffer;
        for (size_t at = 0; at < stream.size(); at += 16384) {
            size_t n = std::min<size_t>(16384, stream.size() - at);
            buffer.insert(buffer.end(), stream.begin() + at, stream.begin() + at + n);
            int32_t used = parser.parseMessage(buffer, nullptr, &link);
            if (used > 0) buffer.erase(buffer.begin(), buffer.begin() + used);
            else if (used < 0) buffer.clear();
        }
    }
    auto chunkTime = Clock::now() - t0;

    printf("stream: %.2f MB per round (10 s of 25 fps 2 Mbit/s video + G.711 audio), %d rounds, %zu frames\n",
           stream.size() / 1e6, rounds, frames);
    printf("memcpy (anchor):              %10.1f MB/s\n", mbPerSecond(total, memcpyTime));
    printf("parser, whole stream:         %10.1f MB/s  (%.2fx memcpy time)\n", mbPerSecond(total, wholeTime),
           std::chrono::duration<double>(wholeTime).count() / std::chrono::duration<double>(memcpyTime).count());
    printf("parser, 16 KiB reads:         %10.1f MB/s  (%.2fx memcpy time)\n", mbPerSecond(total, chunkTime),
           std::chrono::duration<double>(chunkTime).count() / std::chrono::duration<double>(memcpyTime).count());
    printf("real time needs:              %10.3f MB/s per stream\n", 2'064'000 / 8 / 1e6);
    return 0;
}
