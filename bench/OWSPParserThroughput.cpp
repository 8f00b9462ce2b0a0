// Device message parser throughput on a recorded-style stream: 25 fps video
// at 2 Mbit/s (a key frame over 64 KiB every second) with 8 kHz G.711 audio
// every 40 ms, given whole and in socket-sized reads through a receive
// buffer. Printed beside framing only (cutting the same packets by their
// length fields and copying them out) in interleaved rounds.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "bench/BenchRounds.h"

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

// The anchor: framing only. Walks the same packets by their length fields
// and copies each whole packet out, as the least a reader of this stream
// must do, through the same receive buffer.
int32_t frameOnly(std::span<const uint8_t> bytes, std::vector<uint8_t>& out) {
    size_t at = 0;
    while (bytes.size() - at > 7) {
        const uint32_t len = uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 |
                             uint32_t(bytes[at + 3]);
        if (len > 204800) return -1;
        if (bytes.size() - at < len + 4) break;
        out.assign(bytes.begin() + long(at), bytes.begin() + long(at + len + 4));
        asm volatile("" : : "r"(out.data()) : "memory");
        at += len + 4;
    }
    return int32_t(at);
}

// Feeds the stream in reads of `chunk` bytes (0: all at once) through a
// receive buffer to `consume`, which answers the bytes it used as the parser
// does. Answers false when the stream was not used up.
template <class Consume>
bool feed(const std::vector<uint8_t>& stream, size_t chunk, Consume&& consume) {
    if (chunk == 0) return consume(std::span<const uint8_t>(stream)) == int32_t(stream.size());
    std::vector<uint8_t> buffer;
    buffer.reserve(256 * 1024);
    for (size_t at = 0; at < stream.size(); at += chunk) {
        const size_t n = std::min(chunk, stream.size() - at);
        buffer.insert(buffer.end(), stream.begin() + long(at), stream.begin() + long(at + n));
        const int32_t used = consume(std::span<const uint8_t>(buffer));
        if (used > 0)
            buffer.erase(buffer.begin(), buffer.begin() + used);
        else if (used < 0)
            buffer.clear();
    }
    return buffer.empty();
}

}  // namespace

int main() {
    const std::vector<uint8_t> stream = recordedStream(10);
    const double megabytes = stream.size() / 1e6;

    // Check once that the parser takes the whole stream and sees every frame.
    {
        OWSPMessageParser parser;
        BenchLink link;
        if (parser.parseMessage(stream, nullptr, &link) != int32_t(stream.size()) || link.counter->video != 250 ||
            link.counter->audio != 250) {
            std::printf("the parser did not take the stream whole (%zu video, %zu audio frames)\n",
                        link.counter->video, link.counter->audio);
            return 1;
        }
    }

    std::printf("OWSPParserThroughput: %.2f MB stream (10 s of 25 fps 2 Mbit/s H.264-sized video, a key frame\n"
                "over 64 KiB every second, G.711 audio every 40 ms), MB/s; real time needs %.3f MB/s\n",
                megabytes, 2'064'000 / 8 / 1e6);
    lumora::bench::printLegend("framing only: the same packets cut by their length fields and copied out, "
                               "through the same receive buffer");
    const struct {
        const char* name;
        size_t chunk;
    } reads[] = {{"whole stream in one call", 0},
                 {"1448-byte reads (a TCP segment)", 1448},
                 {"16 KiB reads", 16384},
                 {"64 KiB reads", 65536}};
    for (const auto& r : reads) {
        auto ours = [&] {
            return lumora::bench::rate(
                [&] {
                    OWSPMessageParser parser;
                    BenchLink link;
                    feed(stream, r.chunk, [&](std::span<const uint8_t> b) {
                        return parser.parseMessage(b, nullptr, &link);
                    });
                },
                megabytes, 0.1);
        };
        auto anchor = [&] {
            std::vector<uint8_t> out;
            out.reserve(128 * 1024);
            return lumora::bench::rate([&] { feed(stream, r.chunk, [&](std::span<const uint8_t> b) { return frameOnly(b, out); }); },
                                       megabytes, 0.1);
        };
        lumora::bench::print(lumora::bench::interleave(r.name, "MB/s", 9, ours, anchor), 34);
    }
    return 0;
}
