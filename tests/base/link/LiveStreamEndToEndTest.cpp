// The live road end to end: connect as the client does, log in with the
// client's own request, and receive whole video frames through the client's
// own message parser.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "app/core/Device.h"
#include "base/link/DeviceClientDelegate.h"
#include "base/link/OWSPMessageBuilder.h"
#include "base/link/OWSPMessageParser.h"
#include "base/link/PUConnection.h"
#include "tools/device-emulator/DeviceEmulator.h"

using namespace lumora;
using namespace lumora::devemu;
using namespace std::chrono_literals;

namespace {

// Feeds every received buffer to a parser, with the connection as the
// parser's link, and writes down what the parser reports. Runs on the
// connection's receiving queue; the test thread reads under the lock.
class LiveClient : public PUConnectionDelegate, public DeviceClientDelegate {
public:
    int connectionDidReceiveMessage(PUConnection& connection, const std::vector<uint8_t>& buffer) override {
        return parser.parseMessage(buffer, nullptr, &connection);
    }

    void deviceDidReceiveVersionInfo(Device*, const _TLV_V_VersionInfo& v, int32_t) override {
        std::lock_guard<std::mutex> l(m);
        mainVersion = v.versionMajor;
    }
    void deviceDidLogin(Device*, int32_t tag) override {
        std::lock_guard<std::mutex> l(m);
        loggedIn = true;
        loginTag = tag;
        cv.notify_all();
    }
    void deviceFailedLogin(Device*, const Error& e) override {
        std::lock_guard<std::mutex> l(m);
        loginError = e;
        cv.notify_all();
    }
    void deviceDidReceiveStreamFormat(Device*, const _TLV_V_StreamDataFormat& f, int32_t) override {
        std::lock_guard<std::mutex> l(m);
        frameRate = f.videoFormat.framerate;
    }
    bool implementsDidReceiveVideoFrame() const override { return true; }
    bool implementsDidReceiveAudioFrame() const override { return true; }
    void deviceDidReceiveVideoFrame(Device*, std::shared_ptr<MediaFrame> frame, int32_t) override {
        std::lock_guard<std::mutex> l(m);
        frames.push_back(std::move(frame));
        cv.notify_all();
    }
    void deviceDidReceiveAudioFrame(Device*, std::shared_ptr<MediaFrame>, int32_t) override {
        std::lock_guard<std::mutex> l(m);
        ++audioFrames;
    }

    bool waitFrames(size_t n) {
        std::unique_lock<std::mutex> l(m);
        return cv.wait_for(l, 30s, [&] { return frames.size() >= n || !loginError.domain.empty(); }) &&
               frames.size() >= n;
    }

    OWSPMessageParser parser;  // receiving queue only
    std::mutex m;
    std::condition_variable cv;
    int mainVersion = 0;
    bool loggedIn = false;
    int32_t loginTag = -1;
    Error loginError;
    int frameRate = 0;
    std::vector<std::shared_ptr<MediaFrame>> frames;
    long audioFrames = 0;
};

struct Case {
    const char* name;
    void (*setup)(EmulatorOptions&);
};

const Case kCases[] = {
    {"plain camera", [](EmulatorOptions&) {}},
    {"key frames above 64 KiB", [](EmulatorOptions& o) { o.bigKeyFrame = 70000; }},
    {"main version 3, frame information alone, then fragments",
     [](EmulatorOptions& o) {
         o.mainVersion = 3;
         o.bigKeyFrame = 70000;
         o.v3Fragment = 3000;
     }},
    {"main version 3, frame information and first fragment together",
     [](EmulatorOptions& o) {
         o.mainVersion = 3;
         o.v3Framing = V3Framing::Together;
         o.bigKeyFrame = 70000;
         o.v3Fragment = 3000;
     }},
    {"replies one per packet, writes split and coalesced",
     [](EmulatorOptions& o) {
         o.grouping = LoginGrouping::PerReply;
         o.splitWrites = 1000;
         o.coalesce = 3;
     }},
};

void runLive(int type, const Case& c) {
    SCOPED_TRACE(c.name);
    EmulatorOptions o;
    o.udt = type == PUConnection::kUDT;
    o.tcp = !o.udt;
    o.pace = Pace::Fast;
    c.setup(o);
    DeviceEmulator emu(o);
    std::string error;
    ASSERT_TRUE(emu.start(error)) << error;

    auto client = std::make_shared<LiveClient>();
    auto connection = PUConnection::create(type, client);
    connection->setClient(client);
    ASSERT_TRUE(connection->openPort("127.0.0.2", o.udt ? emu.udtPort() : emu.tcpPort()));
    if (type == PUConnection::kTCP) {
        ASSERT_TRUE(emu.waitForEvent("connected", 10s));
    }
    // What the session sends for a live view.
    Device d;
    d.userName = "admin";
    d.password = "admin";
    connection->sendMessage(OWSPMessageBuilder::buildLoginRequestExtend(d, 0, 1, 2, connection.get()));

    const size_t n = emu.clip().size() + 10;  // past the clip's end, so the loop shows too
    bool received = client->waitFrames(n);
    connection->close();
    std::lock_guard<std::mutex> l(client->m);
    ASSERT_TRUE(received) << client->frames.size() << " frames; login error " << client->loginError.toString();
    EXPECT_TRUE(client->loggedIn);
    EXPECT_EQ(client->loginTag, connection->tag());
    EXPECT_EQ(client->mainVersion, o.mainVersion);
    EXPECT_EQ(client->frameRate, o.fps);
    for (size_t i = 0; i < n; ++i) {
        const AccessUnit& unit = emu.clip().unit(i % emu.clip().size());
        const MediaFrame& f = *client->frames[i];
        EXPECT_EQ(f.buffer, emu.frameBytes(i % emu.clip().size())) << "frame " << i;
        if (o.bigKeyFrame == 0) {
            EXPECT_EQ(f.buffer, unit.bytes) << "frame " << i;
        }
        EXPECT_EQ(bool(f.keyFrame), unit.keyFrame) << "frame " << i;
        EXPECT_EQ(f.frameIndex, int32_t(i + 1));
        EXPECT_EQ(f.isVideo, 1);
        EXPECT_EQ(f.channel, 0);
    }
}

}  // namespace

TEST(LiveStreamEndToEndTest, OverUdt) {
    for (const Case& c : kCases) runLive(PUConnection::kUDT, c);
}

TEST(LiveStreamEndToEndTest, OverTcp) {
    for (const Case& c : kCases) runLive(PUConnection::kTCP, c);
}

namespace {

// The device's frame rate for the comparison. The thread sanitizer slows
// every instrumented call many times over; on two loaded cores such a build
// keeps 25 frames a second over TCP but not over UDT, whose library threads
// then wait behind ours (19 to 25 frames behind in three runs, against 0 to
// 2 at 5 frames a second, with three spinning processes on each core). The
// bound stays as it is; the sanitizer build compares at the rate it holds.
#if defined(__SANITIZE_THREAD__)
constexpr int kComparedFrameRate = 5;
#else
constexpr int kComparedFrameRate = 25;
#endif

// Streams at the device's frame rate, key frames of 150 000 bytes (about a
// hundred UDT packets), and answers how far the client fell behind the
// device: the most frames the device had sent beyond the one just received,
// once the link's first second (its start-up and first key frame) is over.
long framesBehindAtFrameRate(int type, size_t frames) {
    EmulatorOptions o;
    o.udt = type == PUConnection::kUDT;
    o.tcp = !o.udt;
    o.pace = Pace::FrameRate;
    o.bigKeyFrame = 150000;
    o.fps = kComparedFrameRate;
    DeviceEmulator emu(o);
    std::string error;
    EXPECT_TRUE(emu.start(error)) << error;
    auto client = std::make_shared<LiveClient>();
    auto connection = PUConnection::create(type, client);
    connection->setClient(client);
    EXPECT_TRUE(connection->openPort("127.0.0.2", o.udt ? emu.udtPort() : emu.tcpPort()));
    if (!o.udt) {
        EXPECT_TRUE(emu.waitForEvent("connected", 10s));
    }
    Device d;
    d.userName = "admin";
    d.password = "admin";
    connection->sendMessage(OWSPMessageBuilder::buildLoginRequestExtend(d, 0, 1, 2, connection.get()));
    const size_t settled = static_cast<size_t>(o.fps);
    long behind = 0;
    size_t seen = 0;
    while (seen < frames) {
        std::unique_lock<std::mutex> l(client->m);
        if (!client->cv.wait_for(l, 10s, [&] { return client->frames.size() > seen; })) break;
        long sent = emu.stats().videoFrames;
        // Frames past the last one counted may already be in (a busy machine).
        for (; seen < client->frames.size() && seen < frames; ++seen) {
            EXPECT_EQ(client->frames[seen]->buffer, emu.frameBytes(seen % emu.clip().size())) << "frame " << seen;
            if (seen >= settled) behind = std::max(behind, sent - static_cast<long>(seen) - 1);
        }
    }
    connection->close();
    EXPECT_EQ(seen, frames);
    return behind;
}

}  // namespace

// Over UDT a live view keeps in step with the device as it does over TCP: a
// key frame's burst goes through at once instead of queueing behind a
// trickle rate for a quarter of a second or more every time.
TEST(LiveStreamEndToEndTest, AtTheFrameRateUdtKeepsInStepLikeTcp) {
    const size_t frames = 120;  // three key frames after the first second
    // Measured against TCP in the same run, so a busy machine slows both.
    // A burst stuck behind a trickle rate falls behind at every key frame,
    // so it shows in every round; a machine busy with something else for a
    // moment shows in one. The comparison is made again once before it
    // counts.
    long tcp = 0, udt = 0;
    for (int round = 0; round < 2; ++round) {
        tcp = framesBehindAtFrameRate(PUConnection::kTCP, frames);
        udt = framesBehindAtFrameRate(PUConnection::kUDT, frames);
        if (udt <= tcp + 5) break;
    }
    EXPECT_LE(udt, tcp + 5) << "TCP fell " << tcp << " frames behind";
}
