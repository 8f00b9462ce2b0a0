// The live road end to end: connect as the client does, log in with the
// client's own request, and gather whole video frames from what arrives.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "app/core/Device.h"
#include "base/link/OWSPMessageBuilder.h"
#include "base/link/PUConnection.h"
#include "tools/device-emulator/DeviceEmulator.h"

using namespace lumora;
using namespace lumora::devemu;
using namespace std::chrono_literals;

namespace {

// Cuts the buffer into whole packets and keeps the data of each video frame
// (frame information 99, then key data 100 or non-key data 102; a key record
// in a packet longer than its length field plus 24 runs to the packet's end).
class FrameCollector : public PUConnectionDelegate {
public:
    int connectionDidReceiveMessage(PUConnection&, const std::vector<uint8_t>& b) override {
        size_t at = 0;
        std::lock_guard<std::mutex> l(m);
        while (b.size() - at >= 8) {
            uint32_t len = uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
            if (len > 204800) return -1;
            if (b.size() - at < len + 4) break;
            size_t r = at + 8, end = at + 4 + len;
            while (end - r >= 4) {
                uint16_t type = uint16_t(b[r] | b[r + 1] << 8);
                size_t n = uint16_t(b[r + 2] | b[r + 3] << 8);
                if (type == 100 && len - n > 24) n = len - 24;
                if (end - r - 4 < n) break;
                if (type == 42) loginResult = b[r + 4] | b[r + 5] << 8;
                if (type == 100 || type == 102) {
                    frames.emplace_back(b.begin() + long(r + 4), b.begin() + long(r + 4 + n));
                    keys.push_back(type == 100);
                }
                r += 4 + n;
            }
            at = end;
        }
        cv.notify_all();
        return int(at);
    }
    bool waitFrames(size_t n) {
        std::unique_lock<std::mutex> l(m);
        return cv.wait_for(l, 20s, [&] { return frames.size() >= n; });
    }
    std::mutex m;
    std::condition_variable cv;
    int loginResult = -1;
    std::vector<std::vector<uint8_t>> frames;
    std::vector<bool> keys;
};

void runLive(int type) {
    EmulatorOptions o;
    o.udt = type == PUConnection::kUDT;
    o.tcp = !o.udt;
    o.pace = Pace::Fast;
    o.bigKeyFrame = 70000;  // one key frame above 64 KiB on the way
    DeviceEmulator emu(o);
    std::string error;
    ASSERT_TRUE(emu.start(error)) << error;
    auto collector = std::make_shared<FrameCollector>();
    auto c = PUConnection::create(type, collector);
    ASSERT_TRUE(c->openPort("127.0.0.2", o.udt ? emu.udtPort() : emu.tcpPort()));
    if (type == PUConnection::kTCP) {
        ASSERT_TRUE(emu.waitForEvent("connected", 10s));
    }
    Device d;
    d.userName = "admin";
    d.password = "admin";
    c->sendMessage(OWSPMessageBuilder::buildLoginRequestExtend(d, 0, 1, 2, c.get()));
    const size_t n = 60;  // past the clip's end, so the loop shows too
    ASSERT_TRUE(collector->waitFrames(n));
    c->close();
    std::lock_guard<std::mutex> l(collector->m);
    EXPECT_EQ(collector->loginResult, 1);
    for (size_t i = 0; i < n; ++i) {
        EXPECT_EQ(collector->frames[i], emu.frameBytes(i % emu.clip().size())) << "frame " << i;
        EXPECT_EQ(collector->keys[i], emu.clip().unit(i % emu.clip().size()).keyFrame) << "frame " << i;
    }
}

}  // namespace

TEST(LiveStreamEndToEndTest, OverUdt) { runLive(PUConnection::kUDT); }

#if __has_include("base/network/GCDAsyncSocket.h")
TEST(LiveStreamEndToEndTest, OverTcp) { runLive(PUConnection::kTCP); }
#endif
