// Speaks raw bytes to the device emulator over loopback, with requests and
// reply checks written out by hand from the wire tables.
#include <arpa/inet.h>
#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/device-emulator/DeviceEmulator.h"
#include "tools/device-emulator/DevicePacket.h"
#include "tools/device-emulator/EmulatorSession.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

using namespace lumora::devemu;
using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

namespace {

void le16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void le32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
uint16_t rd16(const Bytes& b, size_t at) { return uint16_t(b.at(at) | (b.at(at + 1) << 8)); }
uint32_t rd32(const Bytes& b, size_t at) {
    return uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8 | uint32_t(b.at(at + 2)) << 16 |
           uint32_t(b.at(at + 3)) << 24;
}
uint32_t rdBe32(const Bytes& b, size_t at) {
    return uint32_t(b.at(at)) << 24 | uint32_t(b.at(at + 1)) << 16 | uint32_t(b.at(at + 2)) << 8 | uint32_t(b.at(at + 3));
}
void text(Bytes& b, const std::string& s, size_t width) {
    for (size_t i = 0; i < width; ++i) b.push_back(i < s.size() ? uint8_t(s[i]) : 0);
}

// A packet of records (type, body).
Bytes packet(uint32_t seq, const std::vector<std::pair<uint16_t, Bytes>>& records) {
    Bytes body;
    le32(body, seq);
    for (auto& [type, rec] : records) {
        le16(body, type);
        le16(body, uint16_t(rec.size()));
        body.insert(body.end(), rec.begin(), rec.end());
    }
    Bytes out = {uint8_t(body.size() >> 24), uint8_t(body.size() >> 16), uint8_t(body.size() >> 8), uint8_t(body.size())};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes version(uint16_t main, uint16_t sub) {
    Bytes b;
    le16(b, main);
    le16(b, sub);
    return b;
}

Bytes plainLogin(const std::string& user, const std::string& pass, uint8_t channel) {
    Bytes b;
    text(b, user, 32);
    text(b, pass, 16);
    le32(b, 7);
    b.push_back(0);
    b.push_back(channel);
    b.push_back(0);
    b.push_back(0);
    return packet(1, {{40, version(3, 7)}, {41, b}});
}

// Variant A: (encrypt, user, pass, 0, stream type 1, 2); variant B: (0, user,
// pass, device id, mode, type).
Bytes extendedLogin(const std::string& user, const std::string& pass, uint8_t channel, bool variantB,
                    uint8_t mode = 1, uint8_t type = 2, uint8_t encrypt = 0) {
    Bytes b;
    b.push_back(encrypt);
    text(b, encrypt ? "" : user, 32);
    text(b, encrypt ? "" : pass, 16);
    le32(b, variantB ? 9 : 0);
    le32(b, 2);
    b.insert(b.end(), 3, 0);
    le32(b, 1u << channel);
    b.push_back(variantB ? mode : 1);
    b.push_back(variantB ? type : 2);
    b.insert(b.end(), 2, 0);
    EXPECT_EQ(b.size(), 68u);
    return packet(1, {{40, version(5, 0)}, {41, b}});
}

struct Rec {
    uint16_t type;
    uint16_t length;
    Bytes body;
};

// A raw TCP client.
class Client {
public:
    explicit Client(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        inet_pton(AF_INET, "127.0.0.2", &a.sin_addr);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Client() { ::close(fd_); }
    bool connected() const { return connected_; }
    void send(const Bytes& b) { ASSERT_EQ(::send(fd_, b.data(), b.size(), MSG_NOSIGNAL), ssize_t(b.size())); }

    // Exactly n bytes, or nothing when the link ends or 10 s pass.
    std::optional<Bytes> readExactly(size_t n, std::chrono::milliseconds timeout = 10s) {
        Bytes out;
        auto until = std::chrono::steady_clock::now() + timeout;
        while (out.size() < n) {
            int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count());
            if (left <= 0) return std::nullopt;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, left) <= 0) return std::nullopt;
            uint8_t buf[65536];
            ssize_t r = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
            if (r <= 0) {
                lastErrno_ = r < 0 ? errno : 0;
                eof_ = true;
                return std::nullopt;
            }
            out.insert(out.end(), buf, buf + r);
        }
        return out;
    }
    // One whole packet, header included.
    std::optional<Bytes> readPacket(std::chrono::milliseconds timeout = 10s) {
        auto head = readExactly(4, timeout);
        if (!head) return std::nullopt;
        uint32_t len = rdBe32(*head, 0);
        if (len > 204800) {
            oversized_ = len;
            return std::nullopt;
        }
        auto rest = readExactly(len, timeout);
        if (!rest) return std::nullopt;
        head->insert(head->end(), rest->begin(), rest->end());
        return head;
    }
    // Next packet that is not audio.
    std::optional<Bytes> readNonAudio() {
        for (;;) {
            auto p = readPacket();
            if (!p || p->size() < 10 || rd16(*p, 8) != 97) return p;
        }
    }
    bool eof() const { return eof_; }
    int lastErrno() const { return lastErrno_; }
    uint32_t oversized() const { return oversized_; }

private:
    int fd_ = -1;
    bool connected_ = false;
    bool eof_ = false;
    int lastErrno_ = 0;
    uint32_t oversized_ = 0;
};

// Records of a packet as the wire says, with the long key-frame rule: a type
// 100 record in a packet longer than its field plus 24 runs to the packet's end.
// Only key-frame records may do that; every other record ends at its field.
std::vector<Rec> records(const Bytes& p) {
    std::vector<Rec> out;
    uint32_t len = rdBe32(p, 0);
    size_t at = 8;
    while (at + 4 <= p.size()) {
        Rec r{rd16(p, at), rd16(p, at + 2), {}};
        size_t n = r.length;
        if (r.type == 100 && len - r.length > 24) n = len - 24;
        if (at + 4 + n > p.size()) {
            ADD_FAILURE() << "record " << r.type << " runs past its packet";
            break;
        }
        r.body.assign(p.begin() + long(at + 4), p.begin() + long(at + 4 + n));
        out.push_back(r);
        at += 4 + n;
    }
    EXPECT_EQ(at, p.size());
    return out;
}

EmulatorOptions quietOptions() {
    EmulatorOptions o;
    o.videoPath = std::string(LUMORA_TEST_DATA_DIR) + "/clip.h264";
    o.pace = Pace::Step;
    o.audio = false;
    return o;
}

struct Started {
    std::unique_ptr<DeviceEmulator> emu;
    explicit Started(const EmulatorOptions& o) : emu(std::make_unique<DeviceEmulator>(o)) {
        std::string error;
        EXPECT_TRUE(emu->start(error)) << error;
    }
    DeviceEmulator* operator->() { return emu.get(); }
};

}  // namespace

TEST(H264ClipTest, CutsTheTestClipIntoItsAccessUnits) {
    H264Clip clip;
    std::string error;
    ASSERT_TRUE(clip.load(std::string(LUMORA_TEST_DATA_DIR) + "/clip.h264", error)) << error;
    ASSERT_EQ(clip.size(), 50u);  // 2 s at 25 frames per second
    Bytes joined;
    for (size_t i = 0; i < clip.size(); ++i) {
        EXPECT_EQ(clip.unit(i).keyFrame, i % 25 == 0) << i;
        joined.insert(joined.end(), clip.unit(i).bytes.begin(), clip.unit(i).bytes.end());
    }
    std::ifstream in(std::string(LUMORA_TEST_DATA_DIR) + "/clip.h264", std::ios::binary);
    Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(joined, file);

    Bytes grown = H264Clip::padded(clip.unit(0).bytes, 70000);
    EXPECT_GE(grown.size(), 70000u);
    EXPECT_TRUE(std::equal(clip.unit(0).bytes.begin(), clip.unit(0).bytes.end(), grown.begin()));
    EXPECT_FALSE(clip.parse(Bytes{1, 2, 3, 4}, error));
}

TEST(RequestAssemblerTest, GathersPacketsAndRefusesBadLengths) {
    Bytes hb = packet(5, {{49, Bytes(4, 0)}});
    RequestAssembler a;
    Bytes out;
    // Byte by byte: nothing until the last byte.
    for (size_t i = 0; i + 1 < hb.size(); ++i) {
        a.append(&hb[i], 1);
        EXPECT_EQ(a.next(out), RequestAssembler::Result::NeedMore);
    }
    a.append(&hb.back(), 1);
    ASSERT_EQ(a.next(out), RequestAssembler::Result::Packet);
    EXPECT_EQ(out, hb);
    // Two at once, then a length one over the limit.
    Bytes two = hb;
    two.insert(two.end(), hb.begin(), hb.end());
    two.insert(two.end(), {0x00, 0x03, 0x20, 0x01});
    a.append(two.data(), two.size());
    EXPECT_EQ(a.next(out), RequestAssembler::Result::Packet);
    EXPECT_EQ(a.next(out), RequestAssembler::Result::Packet);
    EXPECT_EQ(a.next(out), RequestAssembler::Result::TooLong);
    RequestAssembler b;
    Bytes tiny = {0, 0, 0, 2, 0, 0};
    b.append(tiny.data(), tiny.size());
    EXPECT_EQ(b.next(out), RequestAssembler::Result::TooShort);
}

struct LoginCase {
    const char* name;
    Bytes request;
    int forced;
    uint16_t expectedResult;
    bool streams;
};

// A long run keeps the most recent events only: what each ended
// connection logged does not pile up.
TEST(EmulatorStateTest, KeepsOnlyTheMostRecentEvents) {
    EmulatorState state;
    const size_t total = 3 * EmulatorState::kKeptEvents + 17;
    for (size_t i = 0; i < total; ++i) state.event(int(i), "event " + std::to_string(i));
    std::lock_guard<std::mutex> lock(state.mutex);
    EXPECT_GE(state.events.size(), EmulatorState::kKeptEvents);
    EXPECT_LT(state.events.size(), 2 * EmulatorState::kKeptEvents);
    EXPECT_EQ(state.events.back().text, "event " + std::to_string(total - 1));
    EXPECT_EQ(state.events.front().session, int(total - state.events.size())) << "a contiguous run of the latest";
}

TEST(DeviceEmulatorTest, AnswersEveryLoginVariant) {
    const LoginCase cases[] = {
        {"plain", plainLogin("admin", "admin", 1), 0, 1, true},
        {"extended A", extendedLogin("admin", "admin", 2, false), 0, 1, true},
        {"extended B live", extendedLogin("admin", "admin", 3, true), 0, 1, true},
        {"extended B search", extendedLogin("admin", "admin", 0, true, 3, 0), 0, 1, false},
        {"wrong password", extendedLogin("admin", "nope", 0, true), 0, 2, false},
        {"wrong user, plain", plainLogin("root", "admin", 0), 0, 2, false},
        {"encrypted, unchecked", extendedLogin("", "", 0, false, 1, 2, 1), 0, 1, true},
        {"refused on demand", extendedLogin("admin", "admin", 0, true), 24, 24, false},
        {"channel the device lacks", extendedLogin("admin", "admin", 5, true), 0, 24, false},
        {"channel the device lacks, plain", plainLogin("admin", "admin", 4), 0, 24, false},
    };
    for (const LoginCase& c : cases) {
        SCOPED_TRACE(c.name);
        EmulatorOptions o = quietOptions();
        o.forcedLoginResult = c.forced;
        Started emu(o);
        Client cl(emu->tcpPort());
        ASSERT_TRUE(cl.connected());
        cl.send(c.request);
        auto reply = cl.readPacket();
        ASSERT_TRUE(reply);
        auto recs = records(*reply);
        ASSERT_GE(recs.size(), 2u);
        EXPECT_EQ(recs[0].type, 40);
        EXPECT_EQ(rd16(recs[0].body, 0), 5);
        EXPECT_EQ(recs[1].type, 42);
        EXPECT_EQ(rd16(recs[1].body, 0), c.expectedResult);
        if (c.expectedResult != 1) {
            EXPECT_EQ(recs.size(), 2u);
            continue;
        }
        ASSERT_EQ(recs.size(), 4u);
        EXPECT_EQ(recs[2].type, 70);
        ASSERT_EQ(recs[2].body.size(), 74u);
        EXPECT_EQ(recs[2].body[68], 4);  // channel count
        EXPECT_EQ(recs[3].type, 200);
        ASSERT_EQ(recs[3].body.size(), 40u);
        EXPECT_EQ(rd16(recs[3].body, 12), 320);  // width
        EXPECT_EQ(rd16(recs[3].body, 14), 240);  // height
        EXPECT_EQ(recs[3].body[16], 25);         // frames per second
        EXPECT_EQ(recs[3].body[2], 0);           // no audio
        if (!c.streams) {
            lumora::test::waitFor(
                [&] { return emu->countEvents("search login") != 0; });
            EXPECT_EQ(emu->countEvents("search login"), 1u);
            EXPECT_EQ(emu->countEvents("streaming"), 0u);
            continue;
        }
        ASSERT_TRUE(emu->waitForEvent("streaming", 5s));
        emu->releaseFrames(2);
        for (uint32_t i = 0; i < 2; ++i) {
            auto f = cl.readPacket();
            ASSERT_TRUE(f);
            auto fr = records(*f);
            ASSERT_EQ(fr.size(), 2u);
            EXPECT_EQ(fr[0].type, 99);
            EXPECT_EQ(rd32(fr[0].body, 4), i + 1);  // frame index
            EXPECT_EQ(rd32(fr[0].body, 8), i * 40); // milliseconds at 25 fps
            EXPECT_EQ(fr[1].type, i == 0 ? 100 : 102);
            EXPECT_EQ(fr[1].body, emu->frameBytes(i));
        }
    }
}

TEST(DeviceEmulatorTest, KeyFrameAboveSixtyFourKilobytesRunsToThePacketEnd) {
    EmulatorOptions o = quietOptions();
    o.bigKeyFrame = 70000;
    Started emu(o);
    Client cl(emu->tcpPort());
    cl.send(extendedLogin("admin", "admin", 0, true));
    ASSERT_TRUE(cl.readPacket());
    ASSERT_TRUE(emu->waitForEvent("streaming", 5s));
    emu->releaseFrames(1);
    auto f = cl.readPacket();
    ASSERT_TRUE(f);
    Bytes expected = emu->frameBytes(0);
    ASSERT_GE(expected.size(), 70000u);
    EXPECT_EQ(rdBe32(*f, 0), expected.size() + 24);
    EXPECT_EQ(rd16(*f, 8 + 16 + 2), expected.size() & 0xFFFF);
    auto fr = records(*f);
    ASSERT_EQ(fr.size(), 2u);
    EXPECT_EQ(fr[1].body, expected);
}

TEST(DeviceEmulatorTest, KeyFramesGrowToTheLargestPacketTheProtocolAllows) {
    EmulatorOptions o = quietOptions();
    ProgramOptions program;
    std::string error;
    ASSERT_TRUE(parseArguments({"--big-key", "204776"}, o, program, error)) << error;
    EmulatorOptions tooBig;
    EXPECT_FALSE(parseArguments({"--big-key", "204777"}, tooBig, program, error));
    Started emu(o);
    Client cl(emu->tcpPort());
    cl.send(extendedLogin("admin", "admin", 0, true));
    ASSERT_TRUE(cl.readPacket());
    ASSERT_TRUE(emu->waitForEvent("streaming", 5s));
    emu->releaseFrames(1);
    auto f = cl.readPacket();
    ASSERT_TRUE(f) << "oversized " << cl.oversized();
    EXPECT_EQ(rdBe32(*f, 0), 204800u);
    auto fr = records(*f);
    ASSERT_EQ(fr.size(), 2u);
    EXPECT_EQ(fr[1].type, 100);
    EXPECT_EQ(fr[1].body.size(), 204776u);
    EXPECT_EQ(fr[1].body, emu->frameBytes(0));
}

// Only a key-frame record may run past its 16-bit length field, so a non-key
// frame above 65535 bytes has no readable non-key layout at main version 5.
// By default the device leaves it out rather than call it a key frame.
TEST(DeviceEmulatorTest, NonKeyFrameAboveSixtyFourKilobytesIsNotMislabelledByDefault) {
    lumora::test::TempDir dir;
    Bytes clip = {0, 0, 0, 1, 0x65, 0x88, 0x84, 0x21};  // IDR slice, first macroblock 0
    Bytes big(70000, 0xAA);
    big[0] = 0x9A;  // non-IDR slice, first macroblock 0: a new access unit
    clip.insert(clip.end(), {0, 0, 0, 1, 0x41});
    clip.insert(clip.end(), big.begin(), big.end());
    const std::string path = dir.file("bignonkey.h264");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(clip.data()), long(clip.size()));

    struct Case {
        const char* name;
        std::optional<BigNonKey> choice;
        uint32_t secondIndex;    // frame index of the second packet that arrives
        uint16_t secondType;     // its data record type
        bool secondIsBig;
    } cases[] = {
        {"default", std::nullopt, 3, 100, false},  // frame 2 left out; frame 3 is the looped key frame
        {"drop", BigNonKey::Drop, 3, 100, false},
        {"as key, on request", BigNonKey::AsKey, 2, 100, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EmulatorOptions o = quietOptions();
        o.videoPath = path;
        if (c.choice) o.bigNonKey = *c.choice;
        Started emu(o);
        ASSERT_EQ(emu->clip().size(), 2u);
        ASSERT_FALSE(emu->clip().unit(1).keyFrame);
        ASSERT_GT(emu->frameBytes(1).size(), 65535u);
        Client cl(emu->tcpPort());
        cl.send(extendedLogin("admin", "admin", 0, true));
        ASSERT_TRUE(cl.readPacket());
        ASSERT_TRUE(emu->waitForEvent("streaming", 5s));
        emu->releaseFrames(3);
        auto first = cl.readPacket();
        ASSERT_TRUE(first);
        EXPECT_EQ(rd32(records(*first)[0].body, 4), 1u);
        auto f = cl.readPacket();
        ASSERT_TRUE(f);
        auto fr = records(*f);
        ASSERT_EQ(fr.size(), 2u);
        EXPECT_EQ(rd32(fr[0].body, 4), c.secondIndex);
        EXPECT_EQ(fr[1].type, c.secondType);
        EXPECT_EQ(fr[1].body == emu->frameBytes(1), c.secondIsBig);
        EXPECT_EQ(emu->countEvents("dropped non-key frame of"), c.secondIsBig ? 0u : 1u);
    }
}

TEST(DeviceEmulatorTest, GathersRequestsAcrossReadsAndDropsAnOverlongOne) {
    Started emu(quietOptions());
    Client cl(emu->tcpPort());
    Bytes login = extendedLogin("admin", "admin", 0, true);
    for (uint8_t b : login) {
        cl.send(Bytes{b});
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    auto reply = cl.readPacket();
    ASSERT_TRUE(reply);
    EXPECT_EQ(rd16(records(*reply)[1].body, 0), 1);
    cl.send(Bytes{0x00, 0x03, 0x20, 0x01, 1, 0, 0, 0});
    while (cl.readPacket()) {
    }
    EXPECT_TRUE(cl.eof());
    EXPECT_TRUE(emu->waitForEvent("closed request length 204801 over limit", 5s));
}

TEST(DeviceEmulatorTest, LogsHeartbeatsPanTiltZoomAndGrantsTalk) {
    Started emu(quietOptions());
    Client cl(emu->tcpPort());
    cl.send(packet(1, {{49, Bytes(4, 0)}}));
    Bytes ptz;
    le32(ptz, 0);
    ptz.push_back(2);  // channel
    ptz.push_back(11); // command
    le16(ptz, 16);
    for (uint32_t v : {1u, 2u, 3u, 4u}) le32(ptz, v);
    cl.send(packet(2, {{51, ptz}}));
    Bytes talk = {1, 0, 0, 0};
    le32(talk, 9);
    cl.send(packet(1, {{331, talk}}));
    auto reply = cl.readPacket();
    ASSERT_TRUE(reply);
    auto recs = records(*reply);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].type, 332);
    ASSERT_EQ(recs[0].body.size(), 28u);
    EXPECT_EQ(rd16(recs[0].body, 0), 1);           // granted
    EXPECT_EQ(rd32(recs[0].body, 4), 8000u);       // samples per second
    EXPECT_EQ(rd16(recs[0].body, 12), 0x7A19);     // A-law
    Bytes info = {0, 0, 0, 0};
    le32(info, 200);
    cl.send(packet(2, {{97, info}, {98, Bytes(320, 0xD5)}}));
    EXPECT_TRUE(emu->waitForEvent("talk audio started", 5s));
    EXPECT_TRUE(emu->waitForEvent("heartbeat", 5s));
    EXPECT_TRUE(emu->waitForEvent("ptz channel=2 command=11 arg=1,2,3,4", 5s));
    EXPECT_TRUE(emu->waitForEvent("talk action=1 device=9", 5s));
    EXPECT_EQ(emu->stats().talkAudioBytes, 320);
}

TEST(DeviceEmulatorTest, SendsAudioRecordsWhileStreaming) {
    EmulatorOptions o = quietOptions();
    o.audio = true;
    Started emu(o);
    Client cl(emu->tcpPort());
    cl.send(extendedLogin("admin", "admin", 1, true));
    auto reply = cl.readPacket();
    ASSERT_TRUE(reply);
    EXPECT_EQ(records(*reply)[3].body[2], 1);  // audio flag
    for (int i = 0; i < 3; ++i) {
        auto p = cl.readPacket();
        ASSERT_TRUE(p);
        auto recs = records(*p);
        ASSERT_EQ(recs.size(), 2u);
        EXPECT_EQ(recs[0].type, 97);
        EXPECT_EQ(recs[0].body[0], 1);  // channel
        EXPECT_EQ(recs[1].type, 98);
        EXPECT_EQ(recs[1].body.size(), 320u);
    }
}

TEST(DeviceEmulatorTest, ServesSeveralSessionsAtOnce) {
    EmulatorOptions o = quietOptions();
    o.pace = Pace::Fast;
    Started emu(o);
    Client a(emu->tcpPort()), b(emu->tcpPort());
    a.send(extendedLogin("admin", "admin", 0, true));
    b.send(plainLogin("admin", "admin", 1));
    for (Client* c : {&a, &b}) {
        ASSERT_TRUE(c->readPacket());
        for (size_t i = 0; i < 60; ++i) {  // past the clip's end: it loops
            auto f = c->readPacket();
            ASSERT_TRUE(f);
            EXPECT_EQ(records(*f)[1].body, emu->frameBytes(i % 50));
        }
    }
    EXPECT_EQ(emu->stats().sessions, 2);
}

TEST(DeviceEmulatorTest, SwitchedOffAndOnItListensOnTheSamePortAgain) {
    EmulatorOptions o = quietOptions();
    o.pace = Pace::Fast;
    Started emu(o);
    const uint16_t port = emu->tcpPort();
    ASSERT_NE(port, 0);
    {
        Client a(port);
        a.send(extendedLogin("admin", "admin", 0, true));
        ASSERT_TRUE(a.readPacket());
    }
    emu->stop();
    EXPECT_EQ(emu->tcpPort(), 0);
    std::string error;
    ASSERT_TRUE(emu->start(error)) << error;
    EXPECT_EQ(emu->tcpPort(), port);
    Client b(port);
    b.send(extendedLogin("admin", "admin", 0, true));
    EXPECT_TRUE(b.readPacket());
}

// A rebooting device: its open link ends, connections are refused while it
// is away, and it comes back by itself on the same port.
TEST(DeviceEmulatorTest, GoesAwayRefusingConnectionsAndComesBackOnTheSamePort) {
    EmulatorOptions o = quietOptions();
    o.pace = Pace::Fast;
    Started emu(o);
    const uint16_t port = emu->tcpPort();
    Client a(port);
    a.send(extendedLogin("admin", "admin", 0, true));
    ASSERT_TRUE(a.readPacket());
    // Long enough that the checks below run while it is away; the wait
    // for its return is what ends the test, not the clock.
    emu->goAway(3s);
    {
        Client refused(port);
        EXPECT_FALSE(refused.connected());
    }
    EXPECT_TRUE(emu->isAway());
    while (a.readPacket()) {
    }
    EXPECT_TRUE(a.eof());
    ASSERT_TRUE(emu->waitUntilBack(60s));
    EXPECT_FALSE(emu->isAway());
    EXPECT_EQ(emu->tcpPort(), port);
    Client b(port);
    ASSERT_TRUE(b.connected());
    b.send(extendedLogin("admin", "admin", 0, true));
    EXPECT_TRUE(b.readPacket());
    EXPECT_EQ(emu->countEvents("away"), 1u);
    EXPECT_EQ(emu->countEvents("back"), 1u);

    // A stop during an absence ends it for good.
    emu->goAway(60s);
    emu->stop();
    EXPECT_FALSE(emu->isAway());
    EXPECT_EQ(emu->tcpPort(), 0);
}

TEST(DeviceEmulatorTest, InjectsFaults) {
    struct FaultCase {
        const char* name;
        void (*set)(EmulatorOptions&);
        size_t packetsBeforeEnd;  // whole packets the client gets
        bool reset;
        bool oversize;
    };
    const FaultCase cases[] = {
        {"close after 3", [](EmulatorOptions& o) { o.closeAfter = 3; }, 3, false, false},
        {"reset after 2", [](EmulatorOptions& o) { o.resetAfter = 2; }, 2, true, false},
        {"oversize after 2", [](EmulatorOptions& o) { o.oversizeAfter = 2; }, 2, false, true},
        {"split writes, close after 4",
         [](EmulatorOptions& o) {
             o.splitWrites = 7;
             o.closeAfter = 4;
         },
         4, false, false},
        {"coalesce 3, close after 5",
         [](EmulatorOptions& o) {
             o.coalesce = 3;
             o.closeAfter = 5;
         },
         5, false, false},
        {"login packets each, close after 4",
         [](EmulatorOptions& o) {
             o.grouping = LoginGrouping::PerReply;
             o.closeAfter = 4;
         },
         4, false, false},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        EmulatorOptions o = quietOptions();
        o.pace = Pace::Fast;
        c.set(o);
        Started emu(o);
        Client cl(emu->tcpPort());
        cl.send(extendedLogin("admin", "admin", 0, true));
        size_t got = 0;
        while (cl.readPacket()) ++got;
        EXPECT_EQ(got, c.packetsBeforeEnd);
        if (c.oversize) {
            EXPECT_EQ(cl.oversized(), 204801u);
        } else {
            EXPECT_TRUE(cl.eof());
        }
        if (c.reset) {
            EXPECT_EQ(cl.lastErrno(), ECONNRESET);
        }
    }
}

TEST(DeviceEmulatorTest, GoesSilentOnDemand) {
    EmulatorOptions o = quietOptions();
    o.audio = true;
    o.silentAfter = 1;  // the login reply, then nothing
    Started emu(o);
    Client cl(emu->tcpPort());
    cl.send(extendedLogin("admin", "admin", 0, true));
    ASSERT_TRUE(cl.readPacket());
    ASSERT_TRUE(emu->waitForEvent("streaming", 5s));
    emu->releaseFrames(5);
    EXPECT_FALSE(cl.readPacket(300ms));
    EXPECT_FALSE(cl.eof());  // the link stays open
}

namespace {

// Logs in for a recording search (mode 3, type 0) and reads the reply.
void loginForRecordings(Client& cl) {
    cl.send(extendedLogin("admin", "admin", 1, true, 3, 0));
    auto reply = cl.readPacket();
    ASSERT_TRUE(reply);
    ASSERT_EQ(rd16(records(*reply).at(1).body, 0), 1);
}

void dateTime(Bytes& b, uint32_t y, uint32_t mo, uint32_t d, uint32_t h, uint32_t mi, uint32_t s) {
    for (uint32_t v : {0u, y, mo, d, h, mi, s}) le32(b, v);
}

struct Span {
    uint32_t y, mo, d, h, mi, s;
};

Bytes searchRequest(uint32_t channelMask, Span from, Span to, uint32_t typeMask = 0, uint32_t perAnswer = 100) {
    Bytes b;
    le32(b, 0);
    le32(b, channelMask);
    dateTime(b, from.y, from.mo, from.d, from.h, from.mi, from.s);
    dateTime(b, to.y, to.mo, to.d, to.h, to.mi, to.s);
    le32(b, typeMask);
    le32(b, perAnswer);
    le32(b, 10);
    le32(b, 0);
    EXPECT_EQ(b.size(), 80u);
    return packet(2, {{333, b}});
}

struct FoundFile {
    std::string name;
    std::string start, end;  // "YYYY-MM-DD HH:MM:SS"
    int channel;
};

std::string timeText(const Bytes& b, size_t at) {
    char s[32];
    std::snprintf(s, sizeof s, "%04u-%02u-%02u %02u:%02u:%02u", rd32(b, at + 4), rd32(b, at + 8), rd32(b, at + 12),
                  rd32(b, at + 16), rd32(b, at + 20), rd32(b, at + 24));
    return s;
}

// Reads search answers until one says no more follow; gives every answer's
// three bytes and the files.
void readSearch(Client& cl, std::vector<Bytes>& answers, std::vector<FoundFile>& files) {
    for (;;) {
        auto p = cl.readPacket();
        ASSERT_TRUE(p);
        auto recs = records(*p);
        ASSERT_FALSE(recs.empty());
        ASSERT_EQ(recs[0].type, 334);
        ASSERT_EQ(recs[0].body.size(), 3u);
        answers.push_back(recs[0].body);
        EXPECT_EQ(recs.size(), 1u + recs[0].body[1]);
        for (size_t i = 1; i < recs.size(); ++i) {
            EXPECT_EQ(recs[i].type, 335);
            ASSERT_EQ(recs[i].body.size(), 332u);
            const Bytes& f = recs[i].body;
            std::string name(f.begin(), f.begin() + 260);
            name = name.c_str();
            files.push_back({name, timeText(f, 272), timeText(f, 300), f[328]});
        }
        if (recs[0].body[2] == 0) return;
    }
}

}  // namespace

TEST(DeviceEmulatorTest, ConfigurationRecordsRoundTripPerKindAndChannel) {
    struct Kind {
        const char* name;
        uint16_t set, get, reply;
        size_t size;
        bool perChannel;
    } kinds[] = {
        {"camera colour", 301, 401, 402, 12, true},   {"motion", 302, 403, 404, 4640, true},
        {"hide", 303, 405, 406, 32, true},            {"loss", 304, 407, 408, 32, true},
        {"sensor", 305, 409, 410, 32, true},          {"record", 306, 411, 412, 180, true},
        {"video encode", 307, 413, 414, 24, true},    {"audio encode", 308, 415, 416, 28, true},
        {"network", 309, 417, 418, 72, false},        {"email", 310, 419, 419, 1032, false},
        {"system", 311, 421, 422, 44, false},
    };
    Started emu(quietOptions());
    Client cl(emu->tcpPort());
    loginForRecordings(cl);
    auto ask = [&](uint16_t type, const Bytes& body) {
        cl.send(packet(5, {{type, body}}));
        auto p = cl.readPacket();
        EXPECT_TRUE(p);
        auto recs = p ? records(*p) : std::vector<Rec>{};
        EXPECT_EQ(recs.size(), 1u);
        return recs.empty() ? Rec{} : recs[0];
    };
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.name);
        Bytes getBody(k.size, 0);
        if (k.perChannel) getBody[4] = 2;
        // Nothing set yet: a zero record for the asked channel.
        Rec before = ask(k.get, getBody);
        EXPECT_EQ(before.type, k.reply);
        EXPECT_EQ(before.body, getBody);

        Bytes record(k.size);
        for (size_t i = 0; i < k.size; ++i) record[i] = uint8_t(i * 7 + k.set);
        if (k.perChannel) record[4] = 2;
        Rec result = ask(k.set, record);
        EXPECT_EQ(result.type, 312);
        EXPECT_EQ(rd16(result.body, 0), 0) << "accepted";
        EXPECT_EQ(ask(k.get, getBody).body, record);
        if (k.perChannel) {
            Bytes other(k.size, 0);
            other[4] = 1;
            EXPECT_EQ(ask(k.get, other).body, other) << "another channel keeps its own record";
            Bytes missing = record;
            missing[4] = 4;  // the device has channels 0 to 3
            EXPECT_EQ(rd16(ask(k.set, missing).body, 0), 1) << "a channel the device lacks";
        }
        Bytes shortRecord(record.begin(), record.end() - 1);
        EXPECT_EQ(rd16(ask(k.set, shortRecord).body, 0), 1) << "a record of the wrong size";
        EXPECT_EQ(ask(k.get, getBody).body, record) << "a refused set changes nothing";
    }
    // The device keeps them across links.
    Client again(emu->tcpPort());
    loginForRecordings(again);
    again.send(packet(3, {{417, Bytes(72, 0)}}));
    auto p = again.readPacket();
    ASSERT_TRUE(p);
    EXPECT_EQ(records(*p).at(0).body.at(5), uint8_t(5 * 7 + 309));
}

TEST(DeviceEmulatorTest, ConfigurationSetsFollowTheChosenResultAndNeedALogin) {
    EmulatorOptions o = quietOptions();
    ProgramOptions program;
    std::string error;
    ASSERT_TRUE(parseArguments({"--config-set-result", "1"}, o, program, error)) << error;
    Started emu(o);
    Client cl(emu->tcpPort());
    Bytes colour(12, 9);
    colour[4] = 0;
    cl.send(packet(4, {{301, colour}}));
    auto early = cl.readPacket();
    ASSERT_TRUE(early);
    EXPECT_EQ(rd16(records(*early).at(0).body, 0), 1) << "refused before a login";
    loginForRecordings(cl);
    cl.send(packet(4, {{301, colour}, {401, Bytes(12, 0)}}));
    auto set = cl.readPacket();
    ASSERT_TRUE(set);
    EXPECT_EQ(rd32(*set, 4), 4u) << "replies carry the request's sequence number";
    EXPECT_EQ(rd16(records(*set).at(0).body, 0), 1);
    auto get = cl.readPacket();
    ASSERT_TRUE(get);
    EXPECT_EQ(records(*get).at(0).body, Bytes(12, 0)) << "a refused set is not kept";
}

TEST(DeviceEmulatorTest, RecordingSearchAnswersCountsAndFiles) {
    const Span open{0, 0, 0, 0, 0, 0};
    struct Case {
        const char* name;
        int count;
        uint32_t perAnswer;
        std::vector<int> answerCounts;
    } cases[] = {
        {"none", 0, 100, {0}},
        {"one", 1, 100, {1}},
        {"300 in answers of 100", 300, 100, {100, 100, 100}},
        {"300 in answers of at most 255", 300, 0, {255, 45}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EmulatorOptions o = quietOptions();
        o.recordingCount = c.count;
        Started emu(o);
        ASSERT_EQ(emu->recordings().size(), size_t(c.count));
        Client cl(emu->tcpPort());
        loginForRecordings(cl);
        cl.send(searchRequest(0xFFFFFFFFu, open, open, 0, c.perAnswer));
        std::vector<Bytes> answers;
        std::vector<FoundFile> files;
        readSearch(cl, answers, files);
        ASSERT_EQ(answers.size(), c.answerCounts.size());
        for (size_t i = 0; i < answers.size(); ++i) {
            EXPECT_EQ(answers[i][1], c.answerCounts[i]);
            EXPECT_EQ(answers[i][2], i + 1 < answers.size() ? 1 : 0);
        }
        ASSERT_EQ(files.size(), size_t(c.count));
        for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(files[i].name, emu->recordings()[i].name);
        if (c.count == 0) continue;
        // 450 s recordings 30 s apart from 2026-01-01 23:50:00: the second
        // one runs over midnight into the next day and year's first hour.
        EXPECT_EQ(files[0].start, "2026-01-01 23:50:00");
        EXPECT_EQ(files[0].end, "2026-01-01 23:57:30");
        EXPECT_EQ(files[0].name, "ch01_20260101_235000.h264");
        if (c.count < 300) continue;
        EXPECT_EQ(files[1].start, "2026-01-01 23:58:00");
        EXPECT_EQ(files[1].end, "2026-01-02 00:05:30");
        EXPECT_EQ(files[1].channel, 1);
        EXPECT_EQ(files[299].start, "2026-01-03 15:42:00");  // 299 x 480 s later
        EXPECT_EQ(files[299].channel, 3);
    }
}

TEST(DeviceEmulatorTest, RecordingSearchKeepsToTheChannelsAndTheSpanAsked) {
    EmulatorOptions o = quietOptions();
    ProgramOptions program;
    std::string error;
    ASSERT_TRUE(parseArguments({"--recordings", "300", "--recording-start", "2026-02-28T22:00:00",
                                "--recording-length", "600", "--recording-gap", "0"},
                               o, program, error))
        << error;
    EmulatorOptions bad;
    EXPECT_FALSE(parseArguments({"--recording-start", "2026-02-30 25:00"}, bad, program, error));
    EmulatorOptions named;
    ASSERT_TRUE(parseArguments({"--recording", "a.h264", "--recording=b.h264"}, named, program, error)) << error;
    ASSERT_EQ(named.recordings.size(), 2u);
    EXPECT_EQ(named.recordings[1].name, "b.h264");
    o.recordings.push_back({"alarm.h264", 2, 1, {2026, 3, 1, 0, 5, 0}, 60, 1000});
    Started emu(o);
    Client cl(emu->tcpPort());
    loginForRecordings(cl);
    // Channel 2 only (bit 2), from 23:55 to 00:30 across the month's end.
    cl.send(searchRequest(1u << 2, {2026, 2, 28, 23, 55, 0}, {2026, 3, 1, 0, 30, 0}));
    std::vector<Bytes> answers;
    std::vector<FoundFile> files;
    readSearch(cl, answers, files);
    std::vector<std::string> names;
    for (const auto& f : files) names.push_back(f.name + " " + f.start);
    EXPECT_EQ(names, (std::vector<std::string>{"alarm.h264 2026-03-01 00:05:00",
                                               "ch03_20260301_002000.h264 2026-03-01 00:20:00"}));
    // Alarm recordings only (type bit 1).
    cl.send(searchRequest(0, {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, 1u << 1));
    answers.clear();
    files.clear();
    readSearch(cl, answers, files);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, "alarm.h264");
    EXPECT_EQ(files[0].end, "2026-03-01 00:06:00");
}

TEST(DeviceEmulatorTest, ALoginForAMissingChannelIsIgnoredOnlyAsAChosenFault) {
    EmulatorOptions o = quietOptions();
    o.channels = 1;
    o.silentOnMissingChannel = true;
    Started emu(o);
    Client cl(emu->tcpPort());
    cl.send(extendedLogin("admin", "admin", 1, true));
    EXPECT_FALSE(cl.readPacket(300ms));
    EXPECT_EQ(emu->countEvents("login kind=extended user=admin channel=1"), 1u);
    cl.send(extendedLogin("admin", "admin", 0, true));
    auto reply = cl.readPacket();
    ASSERT_TRUE(reply);
    EXPECT_EQ(rd16(records(*reply).at(1).body, 0), 1);
}

TEST(EmulatorOptionsTest, CommandLineTakesCheckedValuesInEitherSpelling) {
    EmulatorOptions o;
    ProgramOptions program;
    std::string error;
    ASSERT_TRUE(parseArguments({"--listen", "127.0.0.3:0", "--fps=30", "--protocol-version", "3.0", "--pace", "fast",
                                "--run-for", "5", "-v", "--no-audio"},
                               o, program, error))
        << error;
    EXPECT_EQ(o.tcpHost, "127.0.0.3");
    EXPECT_EQ(o.fps, 30);
    EXPECT_EQ(o.mainVersion, 3);
    EXPECT_EQ(o.pace, Pace::Fast);
    EXPECT_FALSE(o.audio);
    EXPECT_EQ(program.runSeconds, 5);
    EXPECT_TRUE(program.verbose);

    const std::pair<std::vector<std::string>, const char*> bad[] = {
        {{"--fps", "0"}, "--fps wants a whole number from 1 to 255, not \"0\""},
        {{"--channels", "4x"}, "--channels wants a whole number"},
        {{"--udt", "127.0.0.2:99999"}, "--udt wants HOST:PORT"},
        {{"--pace", "slow"}, "--pace: unknown choice slow"},
        {{"--fps"}, "--fps needs a value"},
        {{"--nope"}, "unknown option --nope"},
        {{"stray"}, "unexpected argument \"stray\""},
    };
    for (const auto& [args, message] : bad) {
        EmulatorOptions again;
        ProgramOptions p;
        std::string why;
        EXPECT_FALSE(parseArguments(args, again, p, why)) << args[0];
        EXPECT_EQ(why.rfind(message, 0), 0u) << why;
    }
}

// A playback login (mode 2, type 0) streams nothing until the play request;
// then the recording (the clip) is sent once, followed by the
// end-of-recording record, and nothing more.
TEST(DeviceEmulatorTest, PlaysARecordingOnceThenEndsIt) {
    EmulatorOptions o = quietOptions();
    o.pace = Pace::Fast;
    Started emu(o);
    Client cl(emu->tcpPort());
    cl.send(extendedLogin("admin", "admin", 1, true, 2, 0));
    ASSERT_TRUE(cl.readPacket());
    ASSERT_TRUE(emu->waitForEvent("playback login", 5s));
    EXPECT_FALSE(cl.readPacket(200ms)) << "nothing before the play request";

    Bytes play;
    le32(play, 0);
    text(play, "rec-0001.h264", 260);
    play.insert(play.end(), 28, 0);  // start time
    play.insert(play.end(), {1, 1, 1, 0, 0, 0, 0, 0});  // three flags, spare bytes
    ASSERT_EQ(play.size(), 300u);
    cl.send(packet(2, {{336, play}}));
    ASSERT_TRUE(emu->waitForEvent("play rec-0001.h264", 5s));

    size_t frames = 0;
    bool ended = false;
    while (auto p = cl.readPacket(2s)) {
        auto recs = records(*p);
        ASSERT_FALSE(recs.empty());
        if (recs[0].type == 354) {
            ended = true;
            continue;
        }
        EXPECT_FALSE(ended) << "a frame after the end of the recording";
        if (recs[0].type != 99) continue;
        ASSERT_EQ(recs.size(), 2u);
        EXPECT_EQ(recs[1].body, emu->frameBytes(frames % emu->clip().size()));
        ++frames;
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(frames, emu->clip().size());
}
