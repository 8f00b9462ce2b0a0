#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <thread>

#include "OWSPTestBytes.h"
#include "app/core/Device.h"
#include "base/link/OWSPMessageBuilder.h"

using namespace lumora;
using lumora::testing::hexOf;
using lumora::testing::wireBytes;
using B = OWSPMessageBuilder;

namespace {

struct Golden {
    const char* name;
    std::function<B::Packet(const Device&)> build;
    const char* expected;  // in the notation of OWSPTestBytes.h; {id} = the device's id
};

_OWSP_DateTime at(uint32_t y, uint32_t mo, uint32_t d, uint32_t h, uint32_t mi, uint32_t s) {
    _OWSP_DateTime t;
    t.m_year = y;
    t.m_month = mo;
    t.m_day = d;
    t.m_hour = h;
    t.m_minute = mi;
    t.m_second = s;
    return t;
}

void setText(std::array<uint8_t, 256>& field, const char* text) { std::memcpy(field.data(), text, std::strlen(text)); }

// A device as the user entered it.
void fill(Device& d, const char* user, const char* password, uint8_t encryptType, uint8_t streamType) {
    d.userName = user;
    d.password = password;
    d.encryptType = encryptType;
    d.streamType = streamType;
}

const std::vector<Golden>& goldenTable() {
    static const std::vector<Golden> table = {
        {"heartbeat", [](const Device&) { return B::buildHeartbeatRequest(nullptr, nullptr); },
         "0000000c 00000000 3100 0400 00000000"},
        {"login 3.7, channel 2", [](const Device& d) { return B::buildLoginRequest(d, 2, nullptr); },
         "00000048 00000000 2800 0400 0300 0700 2900 3800 'admin' 00x27 '1234' 00x12 {id} 00 02 0000"},
        {"login header", [](const Device& d) { return B::buildOwspHeaderOfLoginRequest(d, 2, nullptr); },
         "00000048 00000000"},
        {"login body", [](const Device& d) { return B::buildOwspBodyOfLoginRequest(d, 2); },
         "2800 0400 0300 0700 2900 3800 'admin' 00x27 '1234' 00x12 {id} 00 02 0000"},
        {"extended login, live, channel 3",
         [](const Device& d) { return B::buildLoginRequestExtend(d, 3, nullptr); },
         "00000054 00000000 2800 0400 0500 0000 2900 4400 "
         "00 'admin' 00x27 '1234' 00x12 00000000 02000000 000000 08000000 01 02 0000"},
        {"extended login, encrypted device",
         [](const Device&) {
             Device e;
             fill(e, "admin", "1234", 3, 0);
             return B::buildLoginRequestExtend(e, 0, nullptr);
         },
         "00000054 00000000 2800 0400 0500 0000 2900 4400 "
         "03 00x48 00000000 02000000 000000 01000000 00 02 0000"},
        {"extended login, 32-byte user name",
         [](const Device&) {
             Device e;
             fill(e, "abcdefghijklmnopqrstuvwxyz012345", "pass", 0, 1);
             return B::buildLoginRequestExtend(e, 31, nullptr);
         },
         "00000054 00000000 2800 0400 0500 0000 2900 4400 "
         "00 'abcdefghijklmnopqrstuvwxyz012345' 'pass' 00x12 00000000 02000000 000000 00000080 01 02 0000"},
        {"extended login, 40-byte user name and 20-byte password cut",
         [](const Device&) {
             Device e;
             fill(e, "abcdefghijklmnopqrstuvwxyz0123456789ABCD", "0123456789abcdefWXYZ", 0, 2);
             return B::buildLoginRequestExtend(e, 32, nullptr);
         },
         "00000054 00000000 2800 0400 0500 0000 2900 4400 "
         "00 'abcdefghijklmnopqrstuvwxyz012345' '0123456789abcdef' 00000000 02000000 000000 00000000 02 02 0000"},
        {"ptz without argument",
         [](const Device&) {
             _TLV_V_PTZControlRequest r;
             r.reserve = 0xdeadbeef;  // the builder sends 0 and the true length
             r.channel = 1;
             r.cmdCode = 5;
             r.size = 99;
             return B::buildPtzControlRequest(&r, nullptr, nullptr);
         },
         "00000010 00000000 3300 0800 00000000 01 05 0000"},
        {"ptz with argument",
         [](const Device&) {
             _TLV_V_PTZControlRequest r;
             r.channel = 1;
             r.cmdCode = 5;
             _ControlArgData a;
             a.words = {1, 2, 3, 0x80000000u};
             return B::buildPtzControlRequest(&r, &a, nullptr);
         },
         "00000020 00000000 3300 1800 00000000 01 05 1000 01000000 02000000 03000000 00000080"},
        {"talk start", [](const Device&) { return B::buildTalkRequest(1, 0x01020304, nullptr); },
         "00000010 01000000 4b01 0800 01 000000 04030201"},
        {"talk stop", [](const Device&) { return B::buildTalkRequest(2, 7, nullptr); },
         "00000010 01000000 4b01 0800 02 000000 07000000"},
        {"audio data, 320 bytes",
         [](const Device&) {
             std::vector<uint8_t> audio(320, 0xab);
             return B::buildAudioData(0, audio.data(), audio.size(), nullptr);
         },
         "00000154 02000000 6100 0800 00 000000 c8000000 6200 4001 abx320"},
        {"audio data, 4072 bytes (largest)",
         [](const Device&) {
             std::vector<uint8_t> audio(4072, 0x01);
             return B::buildAudioData(9, audio.data(), audio.size(), nullptr);
         },
         "00000ffc 02000000 6100 0800 09 000000 c8000000 6200 e80f 01x4072"},
        {"search",
         [](const Device&) {
             _TLV_V_SearchFileRequest r;
             r.channelMask = 5;
             r.startTime = at(2024, 1, 2, 3, 4, 5);
             r.endTime = at(2024, 1, 2, 23, 59, 59);
             r.fileType = 1;
             r.count = 100;
             r.step = 10;
             return B::buildSearchRequest(&r, nullptr);
         },
         "00000058 02000000 4d01 5000 00000000 05000000 "
         "00000000 e8070000 01000000 02000000 03000000 04000000 05000000 "
         "00000000 e8070000 01000000 02000000 17000000 3b000000 3b000000 "
         "01000000 64000000 0a000000 00000000"},
        {"play recording",
         [](const Device&) {
             _TLV_V_PlayRecordRequest r;
             r.fileName = "rec/ch01_20240102.264";
             r.startTime = at(2024, 1, 2, 3, 4, 5);
             r.flags = {1, 1, 1};
             r.extra = {0x11, 0x22};
             return B::buildPlayRecordRequest(&r, nullptr);
         },
         "00000134 02000000 5001 2c01 00000000 'rec/ch01_20240102.264' 00x239 "
         "00000000 e8070000 01000000 02000000 03000000 04000000 05000000 010101 1122 000000"},
        {"download", [](const Device&) { return B::buildDownloadRequest("a.264", 0x1000, nullptr); },
         "00000118 00000000 5201 1001 00000000 'a.264' 00x259 00100000"},
        {"camera colour set",
         [](const Device&) {
             _TLV_V_CameraColor c;
             c.reserve = 7;
             c.channel = 1;
             c.colors = {10, 20, 30, 40, 50};
             return B::buildCameraColorConfigSetRequest(&c, nullptr);
         },
         "00000014 00000000 2d01 0c00 07000000 01 0a141e2832 0000"},
        {"camera colour get", [](const Device&) { return B::buildCameraColorConfigGetRequest(3, nullptr); },
         "00000014 00000000 9101 0c00 00000000 03 00x7"},
        {"motion detect set",
         [](const Device&) {
             _TLV_V_MotionDetect m;
             m.channel = 4;
             m.settings = {1, 2, 3};
             m.area[0][0] = 0x01020304;
             m.area[31][35] = 0xa0b0c0d0;
             m.action.action1 = 1;
             m.action.reserve = {9, 9, 9, 9};
             return B::buildMotionDetectConfigSetRequest(&m, nullptr);
         },
         "00001228 00000000 2e01 2012 00000000 04 010203 04030201 00x4600 d0c0b0a0 "
         "01 00 0000 00000000 00 00 0000 00000000 00000000 09090909"},
        {"motion detect get", [](const Device&) { return B::buildMotionDetectConfigGetRequest(1, nullptr); },
         "00001228 00000000 9301 2012 00000000 01 00x4635"},
        {"cover alarm set",
         [](const Device&) {
             _TLV_V_HideDetect h;
             h.channel = 2;
             h.settings = {1, 2, 3};
             h.action.action1 = 1;
             h.action.action1Channel = 2;
             h.action.action1Value = 0x10;
             h.action.action2 = 3;
             h.action.action2Channel = 4;
             h.action.action2Value = 0x20;
             h.action.action3Value = 0x30;
             h.action.reserve = {5, 6, 7, 8};
             return B::buildHideDetectConfigSetRequest(&h, nullptr);
         },
         "00000028 00000000 2f01 2000 00000000 02 010203 01 02 0000 10000000 03 04 0000 20000000 30000000 05060708"},
        {"cover alarm get", [](const Device&) { return B::buildHideDetectConfigGetRequest(6, nullptr); },
         "00000028 00000000 9501 2000 00000000 06 00x27"},
        {"video loss set",
         [](const Device&) {
             _TLV_V_LossDetect l;
             l.channel = 1;
             return B::buildLossDetectConfigSetRequest(&l, nullptr);
         },
         "00000028 00000000 3001 2000 00000000 01 00x27"},
        {"video loss get", [](const Device&) { return B::buildLossDetectConfigGetRequest(0, nullptr); },
         "00000028 00000000 9701 2000 00x32"},
        {"sensor set",
         [](const Device&) {
             _TLV_V_Sensor s;
             s.channel = 3;
             s.action.action3Value = 1;
             return B::buildSensorConfigSetRequest(&s, nullptr);
         },
         "00000028 00000000 3101 2000 00000000 03 00x19 01000000 00000000"},
        {"sensor get", [](const Device&) { return B::buildSensorConfigGetRequest(5, nullptr); },
         "00000028 00000000 9901 2000 00000000 05 00x27"},
        {"record schedule set",
         [](const Device&) {
             _TLV_V_Record r;
             r.channel = 1;
             r.schedule[0][0] = 1;
             r.schedule[6][23] = 2;
             r.extra = {9, 9, 9, 9};
             return B::buildRecordConfigSetRequest(&r, nullptr);
         },
         "000000bc 00000000 3201 b400 00000000 01 000000 01 00x166 02 09090909"},
        {"record schedule get", [](const Device&) { return B::buildRecordConfigGetRequest(1, nullptr); },
         "000000bc 00000000 9b01 b400 00000000 01 00x175"},
        {"video encoding set",
         [](const Device&) {
             _TLV_V_VideoEncode v;
             v.channel = 1;
             v.format.codecId = 0x34363248;
             v.format.bitrate = 2048;
             v.format.width = 704;
             v.format.height = 576;
             v.format.framerate = 25;
             v.format.colorDepth = 24;
             v.format.frameInterval = 50;
             return B::buildVideoEncodeConfigSetRequest(&v, nullptr);
         },
         "00000020 00000000 3301 1800 00000000 01 000000 48323634 00080000 c002 4002 19 18 32 00"},
        {"video encoding get", [](const Device&) { return B::buildVideoEncodeConfigGetRequest(2, nullptr); },
         "00000020 00000000 9d01 1800 00000000 02 00x19"},
        {"audio encoding set",
         [](const Device&) {
             _TLV_V_AudioEncode a;
             a.format.samplesPerSecond = 8000;
             a.format.bitrate = 16000;
             a.format.waveFormat = 0x45;
             a.format.channelNumber = 1;
             a.format.bitsPerSample = 16;
             return B::buildAudioEncodeConfigSetRequest(&a, nullptr);
         },
         "00000024 00000000 3401 1c00 00000000 00 000000 401f0000 803e0000 4500 0100 0000 1000 0000 0000"},
        {"audio encoding get", [](const Device&) { return B::buildAudioEncodeConfigGetRequest(2, nullptr); },
         "00000024 00000000 9f01 1c00 00000000 02 00x23"},
        {"network set",
         [](const Device&) {
             _TLV_V_Network n;
             n.flags = {1, 0, 0, 0};
             n.name = "cam";
             n.addresses = {{{192, 168, 1, 10}, {255, 255, 255, 0}, {192, 168, 1, 1}, {8, 8, 8, 8}}};
             n.ports = {80, 554, 0, 0};
             n.hardwareAddress = {0, 1, 2, 3, 4, 5};
             return B::buildNetworkConfigSetRequest(&n, nullptr);
         },
         "00000050 00000000 3501 4800 00000000 01000000 'cam' 00x29 c0a8010a ffffff00 c0a80101 08080808 "
         "5000 2a02 0000 0000 000102030405 0000"},
        {"network get", [](const Device&) { return B::buildNetworkConfigGetRequest(nullptr); },
         "00000050 00000000 a101 4800 00x72"},
        {"e-mail set",
         [](const Device&) {
             _TLV_V_Email e;
             e.value1 = 1;
             e.port = 25;
             setText(e.fields[0], "smtp");
             setText(e.fields[3], "x");
             return B::buildEmailConfigSetRequest(&e, nullptr);
         },
         "00000410 00000000 3601 0804 00000000 01 00 1900 'smtp' 00x252 00x512 'x' 00x255"},
        {"e-mail get", [](const Device&) { return B::buildEmailConfigGetRequest(nullptr); },
         "00000410 00000000 a301 0804 00x1032"},
        {"system set",
         [](const Device&) {
             _TLV_V_System s;
             s.name = "NVR-1";
             s.settings = {1, 2, 3, 4, 5};
             return B::buildSystemConfigSetRequest(&s, nullptr);
         },
         "00000034 00000000 3701 2c00 00000000 'NVR-1' 00x27 0102030405 000000"},
        {"system get", [](const Device&) { return B::buildSystemConfigGetRequest(nullptr); },
         "00000034 00000000 a501 2c00 00x44"},
        {"alarm control set",
         [](const Device&) {
             _TLV_V_AlarmControl a;
             a.values = {1, 0, 1, 0};
             return B::buildAlarmConfigSetRequest(&a, nullptr);
         },
         "00000010 00000000 5501 0800 00000000 01000100"},
    };
    return table;
}

}  // namespace

TEST(OWSPMessageBuilder, EveryRequestMatchesItsGoldenBytes) {
    Device device;
    fill(device, "admin", "1234", 0, 1);
    for (const Golden& g : goldenTable()) {
        SCOPED_TRACE(g.name);
        std::vector<uint8_t> want = wireBytes(g.expected, static_cast<uint32_t>(device.deviceId));
        std::vector<uint8_t> got = g.build(device);
        EXPECT_EQ(hexOf(got), hexOf(want));
    }
}

// The framing of every packet agrees with itself: the length field counts
// what follows it, and the records fill the packet exactly.
TEST(OWSPMessageBuilder, EveryPacketIsSelfConsistent) {
    Device device;
    fill(device, "admin", "1234", 0, 1);
    for (const Golden& g : goldenTable()) {
        if (std::string(g.name).rfind("login header", 0) == 0 || std::string(g.name) == "login body") continue;
        SCOPED_TRACE(g.name);
        std::vector<uint8_t> p = g.build(device);
        ASSERT_GE(p.size(), 12u);
        uint32_t len = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
        EXPECT_EQ(len + 4, p.size());
        size_t at = 8;
        while (at + 4 <= p.size()) at += 4 + size_t(p[at + 2] | (p[at + 3] << 8));
        EXPECT_EQ(at, p.size());
    }
}

TEST(OWSPMessageBuilder, AbsentRecordsAndBadAudioBuildNothing) {
    EXPECT_TRUE(B::buildPtzControlRequest(nullptr, nullptr, nullptr).empty());
    _ControlArgData arg;
    EXPECT_TRUE(B::buildPtzControlRequest(nullptr, &arg, nullptr).empty());
    EXPECT_TRUE(B::buildSearchRequest(nullptr, nullptr).empty());
    EXPECT_TRUE(B::buildPlayRecordRequest(nullptr, nullptr).empty());
    EXPECT_TRUE(B::buildCameraColorConfigSetRequest(nullptr, nullptr).empty());
    EXPECT_TRUE(B::buildMotionDetectConfigSetRequest(nullptr, nullptr).empty());
    EXPECT_TRUE(B::buildHideDetectConfigSetRequest(nullptr, nullptr).empty());
    EXPECT_TRUE(B::buildLossDetectConfigSetRequest(nullptr, nullptr).empty());
    EXPECT_TRUE(B::buildSensorConfigSetRequest(nullptr, nullptr).empty());
    EXPECT_TRUE(B::buildRecordConfigSetRequest(nullptr, nullptr).empty());
    EXPECT_TRUE(B::buildVideoEncodeConfigSetRequest(nullptr, nullptr).empty());
    EXPECT_TRUE(B::buildAudioEncodeConfigSetRequest(nullptr, nullptr).empty());
    EXPECT_TRUE(B::buildNetworkConfigSetRequest(nullptr, nullptr).empty());
    EXPECT_TRUE(B::buildEmailConfigSetRequest(nullptr, nullptr).empty());
    EXPECT_TRUE(B::buildSystemConfigSetRequest(nullptr, nullptr).empty());
    EXPECT_TRUE(B::buildAlarmConfigSetRequest(nullptr, nullptr).empty());

    std::vector<uint8_t> audio(4073, 0);
    EXPECT_TRUE(B::buildAudioData(0, nullptr, 10, nullptr).empty());
    EXPECT_TRUE(B::buildAudioData(0, audio.data(), 0, nullptr).empty());
    EXPECT_TRUE(B::buildAudioData(0, audio.data(), 4073, nullptr).empty())
        << "the 16-bit record length must describe the body";
    audio.resize(70000);
    EXPECT_TRUE(B::buildAudioData(0, audio.data(), audio.size(), nullptr).empty());
}

TEST(OWSPMessageBuilder, ExtendedLoginWithModeTakesTheProcessCounter) {
    Device device;
    fill(device, "admin", "1234", 5, 1);  // encrypted: credentials stay zero
    uint32_t first = B::peekLoginSequence();
    B::Packet a = B::buildLoginRequestExtend(device, 1, 3, 0, nullptr);
    B::Packet b = B::buildLoginRequestExtend(device, 1, 2, 0, nullptr);
    std::vector<uint8_t> wa = wireBytes("00000054 {id}", first);
    std::vector<uint8_t> wb = wireBytes("00000054 {id}", first + 1);
    EXPECT_TRUE(std::equal(wa.begin(), wa.end(), a.begin()));
    EXPECT_TRUE(std::equal(wb.begin(), wb.end(), b.begin()));
    std::vector<uint8_t> body = wireBytes("2800 0400 0500 0000 2900 4400 00 00x48 {id} 02000000 000000 02000000 03 00 0000",
                                          static_cast<uint32_t>(device.deviceId));
    EXPECT_EQ(hexOf(std::vector<uint8_t>(a.begin() + 8, a.end())), hexOf(body));
    EXPECT_EQ(b[8 + 8 + 4 + 64], 2) << "mode at body offset 64";
}

// Each CTest case is its own process, so this one sees the counter fresh.
TEST(OWSPMessageBuilder, FirstExtendedLoginWithModeOfAProcessCarriesZero) {
    if (B::peekLoginSequence() != 0) GTEST_SKIP() << "counter already used in this process";
    Device device;
    B::Packet a = B::buildLoginRequestExtend(device, 0, 1, 2, nullptr);
    B::Packet b = B::buildLoginRequestExtend(device, 0, 1, 2, nullptr);
    EXPECT_EQ(hexOf(B::Packet(a.begin() + 4, a.begin() + 8)), "00000000");
    EXPECT_EQ(hexOf(B::Packet(b.begin() + 4, b.begin() + 8)), "01000000");
}

TEST(OWSPMessageBuilder, ExtendedLoginCounterIsSafeAcrossThreads) {
    Device device;
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::vector<uint32_t>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                B::Packet p = B::buildLoginRequestExtend(device, 0, 1, 2, nullptr);
                seen[t].push_back(uint32_t(p[4]) | (uint32_t(p[5]) << 8) | (uint32_t(p[6]) << 16) |
                                  (uint32_t(p[7]) << 24));
            }
        });
    for (auto& th : threads) th.join();
    std::set<uint32_t> all;
    for (auto& v : seen) all.insert(v.begin(), v.end());
    EXPECT_EQ(all.size(), size_t(kThreads * kEach)) << "no sequence number handed out twice";
}

TEST(OWSPMessageBuilder, RequestsWithoutConnectionCarrySequenceZero) {
    EXPECT_EQ(B::sequenceNumberFor(nullptr), 0u);
}
