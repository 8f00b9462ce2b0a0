#include <gtest/gtest.h>

#include "OWSPDevicePackets.h"
#include "OWSPParserTestSupport.h"
#include "OWSPTestBytes.h"
#include "app/core/Device.h"
#include "platform/ErrorCodes.h"

using namespace lumora;
using namespace lumora::testing;
using Events = std::vector<std::string>;

namespace {

std::vector<uint8_t> loginReply(uint16_t result) {
    _TLV_V_LoginResponse r;
    r.result = result;
    return DevicePacket(1).record(owsp::kTypeLoginResponse, r).finish();
}

std::vector<uint8_t> versionPacket(uint16_t major, uint16_t minor) {
    return DevicePacket().record(owsp::kTypeVersionInfo, versionRecord(major, minor)).finish();
}

}  // namespace

// ---- Packet loop and the consumer contract ------------------------------------

struct LoopCase {
    const char* name;
    std::vector<uint8_t> input;
    int32_t expected;
    Events events;
};

TEST(OWSPMessageParser, PacketLoopFollowsTheConsumerContract) {
    std::vector<uint8_t> login = loginReply(1);  // 16 bytes
    std::vector<uint8_t> two = concat({login, versionPacket(3, 1)});
    std::vector<uint8_t> next = versionPacket(3, 1);
    std::vector<uint8_t> oneAndAPiece = concat({login, std::vector<uint8_t>(next.begin(), next.begin() + 10)});
    const std::vector<LoopCase> cases = {
        {"nothing", {}, 0, {}},
        {"7 bytes", wireBytes("00000008 000000"), 0, {}},
        {"header only of a longer packet", wireBytes("00000008 00000000"), 0, {}},
        {"sequence number only", wireBytes("00000004 09000000"), 8, {}},
        {"one packet and 10 bytes of the next", oneAndAPiece, 16, {"login @7"}},
        {"two packets in one read", two, 32, {"login @7", "version 3.1 @7"}},
        {"length 204801: clear", wireBytes("00032001 00000000 00x20"), -1, {}},
        {"good packet, then length 204801", concat({login, wireBytes("00032001 00000000")}), -1, {"login @7"}},
        {"length 204800, still arriving: wait", wireBytes("00032000 00000000 00x100"), 0, {}},
        {"length 0 skipped", concat({wireBytes("00000000"), login}), 20, {"login @7"}},
        {"length 3 skipped", concat({wireBytes("00000003 aabbcc"), login}), 23, {"login @7"}},
        {"length 2 at the end waits for 8 bytes", wireBytes("00000002 aabb"), 0, {}},
        {"sequence number plus 3 stray bytes", wireBytes("00000007 00000000 310004"), 11, {}},
        {"record claims more than its packet: rest of packet skipped",
         concat({DevicePacket()
                     .record(owsp::kTypeVersionInfo, versionRecord(3, 2))
                     .bytes(wireBytes("2a00 ff00 0100 0000"))
                     .finish(),
                 login}),
         24 + 16, {"version 3.2 @7", "login @7"}},
        {"unknown record types skipped",
         DevicePacket().raw(0x7777, wireBytes("01020304")).raw(0, {}).record(owsp::kTypeLoginResponse, _TLV_V_LoginResponse{1, 0}).finish(),
         28, {"login @7"}},
    };
    for (const LoopCase& c : cases) {
        SCOPED_TRACE(c.name);
        OWSPMessageParser parser;
        TestLink link;
        EXPECT_EQ(parser.parseMessage(c.input, nullptr, &link), c.expected);
        EXPECT_EQ(link.recorder->events, c.events);
    }
}

TEST(OWSPMessageParser, LargestPacketIsAcceptedAndOneMoreIsRefused) {
    // 204804 bytes with length field 204800: a key frame to the packet's end.
    std::vector<uint8_t> key = pattern(204800 - 4 - 16 - 4, 3);
    std::vector<uint8_t> packet = videoFramePacket(1, key, true);
    ASSERT_EQ(packet.size(), 204804u);
    Receiver rx;
    rx.feed(packet);
    EXPECT_EQ(rx.results.back(), 204804);
    ASSERT_EQ(rx.link.recorder->videoFrames.size(), 1u);
    EXPECT_EQ(rx.link.recorder->videoFrames[0]->buffer, key);

    Receiver over;
    std::vector<uint8_t> tooBig = videoFramePacket(1, pattern(key.size() + 1), true);
    over.feed(std::span<const uint8_t>(tooBig).first(100));
    EXPECT_EQ(over.results.back(), -1);
    EXPECT_TRUE(over.buffer.empty());
}

// A realistic session: version, login, stream format, video (whole frames
// and, after the device reports main version 3, extended fragments), audio.
std::vector<uint8_t> sessionStream() {
    std::vector<uint8_t> s;
    auto add = [&](std::vector<uint8_t> p) { s.insert(s.end(), p.begin(), p.end()); };
    _TLV_V_StreamDataFormat fmt;
    fmt.dataType = 1;
    fmt.videoFormat.width = 704;
    fmt.videoFormat.height = 576;
    fmt.videoFormat.framerate = 25;
    add(DevicePacket(1).record(owsp::kTypeVersionInfo, versionRecord(5, 0)).record(owsp::kTypeLoginResponse, _TLV_V_LoginResponse{1, 0}).finish());
    add(DevicePacket(2).record(owsp::kTypeStreamFormat2, fmt).finish());
    add(videoFramePacket(1, pattern(70000, 1), true, 1000));
    for (uint32_t i = 2; i < 6; ++i) {
        add(videoFramePacket(i, pattern(3000 + i, uint8_t(i)), false, 1000 + 40 * i));
        add(audioPacket(1000 + 40 * i, pattern(160, 9)));
    }
    add(DevicePacket(3).raw(owsp::kTypeVideoFrameInfoEx, pattern(1200, 5)).finish());  // v5: plain data
    add(versionPacket(3, 0));
    add(DevicePacket().record(owsp::kTypeVideoFrameInfoEx, videoInfoEx(7, 5000, 2000)).raw(owsp::kTypeVideoKeyData, pattern(2000, 7)).finish());
    add(audioPacket(2001, pattern(320, 1)));
    add(DevicePacket().raw(owsp::kTypeVideoData, pattern(3000, 8)).finish());
    add(loginReply(24));
    return s;
}

TEST(OWSPMessageParser, ByteByByteGivesTheCallbacksOfAllAtOnce) {
    std::vector<uint8_t> stream = sessionStream();
    Receiver whole;
    whole.feed(stream);
    EXPECT_EQ(whole.results.back(), int32_t(stream.size()));
    const Events want = {
        "version 5.0 @7",
        "login @7",
        "streamFormat @7",
        "video #1 key 70000 ch0 t1000 @7",
        "video #2 3002 ch0 t1080 @7",
        "audio 160 ch0 t1080 @7",
        "video #3 3003 ch0 t1120 @7",
        "audio 160 ch0 t1120 @7",
        "video #4 3004 ch0 t1160 @7",
        "audio 160 ch0 t1160 @7",
        "video #5 3005 ch0 t1200 @7",
        "audio 160 ch0 t1200 @7",
        // the 101 record at version 5 refills the complete frame #5: same
        // index, not key: filtered
        "version 3.0 @7",
        "audio 320 ch0 t2001 @7",
        "video #7 key 5000 ch0 t2000 @7",
        "loginFailed DVRClientErrorDomain 2009",
    };
    EXPECT_EQ(whole.events(), want);

    for (size_t chunk : {size_t(1), size_t(3), size_t(4096)}) {
        SCOPED_TRACE("chunk " + std::to_string(chunk));
        Receiver pieces;
        pieces.feedInChunks(stream, chunk);
        EXPECT_EQ(pieces.events(), want);
        EXPECT_TRUE(pieces.buffer.empty());
        ASSERT_EQ(pieces.link.recorder->videoFrames.size(), whole.link.recorder->videoFrames.size());
        for (size_t i = 0; i < pieces.link.recorder->videoFrames.size(); ++i)
            EXPECT_EQ(pieces.link.recorder->videoFrames[i]->buffer, whole.link.recorder->videoFrames[i]->buffer);
    }
}

// ---- Video assembly ---------------------------------------------------------------

TEST(OWSPMessageParser, KeyFrameOver65535BytesArrivesWhole) {
    std::vector<uint8_t> key = pattern(70000, 4);
    std::vector<uint8_t> packet = videoFramePacket(3, key, true);
    // The length field holds 70000 mod 65536.
    EXPECT_EQ(packet[8 + 16 + 2] | (packet[8 + 16 + 3] << 8), 70000 - 65536);
    Receiver rx;
    rx.feed(packet);
    ASSERT_EQ(rx.link.recorder->videoFrames.size(), 1u);
    EXPECT_EQ(rx.link.recorder->videoFrames[0]->buffer, key);
    EXPECT_EQ(rx.link.recorder->videoFrames[0]->keyFrame, 1);
}

TEST(OWSPMessageParser, RecordsAfterAKeyRecordAreNotSwallowed) {
    // Version and frame information before the key record, audio after it:
    // the key record must end at its length field, and nothing may be read
    // past the packet.
    std::vector<uint8_t> key = pattern(500, 2);
    std::vector<uint8_t> packet = DevicePacket()
                                      .record(owsp::kTypeVersionInfo, versionRecord(5, 0))
                                      .record(owsp::kTypeVideoFrameInfo, videoInfo(1))
                                      .raw(owsp::kTypeVideoKeyData, key)
                                      .record(owsp::kTypeAudioInfo, audioInfo(9))
                                      .raw(owsp::kTypeAudioData, pattern(80))
                                      .finish();
    Receiver rx;
    rx.feed(packet);
    EXPECT_EQ(rx.events(), (Events{"version 5.0 @7", "video #1 key 500 ch0 t0 @7", "audio 80 ch0 t9 @7"}));
    EXPECT_EQ(rx.link.recorder->videoFrames.at(0)->buffer, key);

    // A key record with other records before it and a large frame: still
    // whole, and the packet is read exactly to its end.
    std::vector<uint8_t> big = pattern(66000, 6);
    std::vector<uint8_t> packet2 = DevicePacket()
                                       .record(owsp::kTypeVersionInfo, versionRecord(5, 0))
                                       .record(owsp::kTypeAudioInfo, audioInfo(1))
                                       .record(owsp::kTypeVideoFrameInfo, videoInfo(2))
                                       .raw(owsp::kTypeVideoKeyData, big)
                                       .finish();
    Receiver rx2;
    rx2.feed(packet2);
    ASSERT_EQ(rx2.link.recorder->videoFrames.size(), 1u);
    EXPECT_EQ(rx2.link.recorder->videoFrames[0]->buffer, big);
}

TEST(OWSPMessageParser, AudioBetweenVideoFragmentsLeavesTheVideoFrameAlone) {
    std::vector<uint8_t> a = pattern(1000, 1), b = pattern(1000, 2), c = pattern(1000, 3);
    std::vector<uint8_t> stream = concat({
        versionPacket(3, 0),
        DevicePacket().record(owsp::kTypeVideoFrameInfoEx, videoInfoEx(10, 3000, 400, 1)).raw(owsp::kTypeVideoKeyData, a).finish(),
        audioPacket(401, pattern(160, 4)),
        DevicePacket().raw(owsp::kTypeVideoData, b).record(owsp::kTypeAudioInfo, audioInfo(402)).raw(owsp::kTypeAudioData, pattern(160, 5)).finish(),
        DevicePacket().raw(owsp::kTypeVideoData, c).finish(),
    });
    Receiver rx;
    rx.feed(stream);
    EXPECT_EQ(rx.events(), (Events{"version 3.0 @7", "audio 160 ch0 t401 @7", "audio 160 ch0 t402 @7",
                                   "video #10 key 3000 ch1 t400 @7"}));
    EXPECT_EQ(rx.link.recorder->videoFrames.at(0)->buffer, concat({a, b, c}));
    EXPECT_EQ(rx.link.recorder->audioFrames.at(1)->buffer, pattern(160, 5));
}

// A frame as a main-version-3 device sends it: extended frame information
// announcing the total, then the data in fragments of at most `fragment`
// bytes, one packet each; `together` puts the first fragment in the packet
// of the frame information.
std::vector<uint8_t> v3Frame(uint32_t index, const std::vector<uint8_t>& data, bool key, bool together,
                             size_t fragment) {
    const uint16_t type = key ? owsp::kTypeVideoKeyData : owsp::kTypeVideoData;
    DevicePacket first;
    first.record(owsp::kTypeVideoFrameInfoEx, videoInfoEx(index, uint32_t(data.size()), index * 40));
    size_t at = 0;
    if (together) {
        at = std::min(fragment, data.size());
        first.raw(type, std::span<const uint8_t>(data.data(), at));
    }
    std::vector<uint8_t> out = first.finish();
    for (; at < data.size(); at += fragment) {
        size_t n = std::min(fragment, data.size() - at);
        std::vector<uint8_t> p = DevicePacket().raw(type, std::span<const uint8_t>(data.data() + at, n)).finish();
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// Main version 3, with the frame information alone or together with the
// first fragment (whose key record then follows a 20-byte record, not the
// 16-byte one of version 5): every frame arrives with exactly its bytes and
// its own key flag, and no packet is read past its end.
TEST(OWSPMessageParser, MainVersion3FramesArriveWholeInEitherLayout) {
    struct Layout {
        const char* name;
        bool together;
        size_t fragment;
    };
    const Layout layouts[] = {
        {"information alone", false, 3000},
        {"information and first fragment together", true, 3000},
        {"together, one fragment per frame", true, 100000},  // a key fragment above 65535 bytes
    };
    const std::vector<std::pair<std::vector<uint8_t>, bool>> frames = {
        {pattern(70000, 1), true}, {pattern(5000, 2), false}, {pattern(2999, 3), true},
        {pattern(3000, 4), false}, {pattern(1, 5), false},    {pattern(9000, 6), true},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.name);
        std::vector<uint8_t> stream = versionPacket(3, 0);
        for (size_t i = 0; i < frames.size(); ++i) {
            std::vector<uint8_t> f = v3Frame(uint32_t(i + 1), frames[i].first, frames[i].second, l.together, l.fragment);
            stream.insert(stream.end(), f.begin(), f.end());
        }
        for (size_t chunk : {stream.size(), size_t(977)}) {
            Receiver rx;
            rx.feedInChunks(stream, chunk);
            EXPECT_TRUE(rx.buffer.empty());
            ASSERT_EQ(rx.link.recorder->videoFrames.size(), frames.size());
            for (size_t i = 0; i < frames.size(); ++i) {
                const MediaFrame& f = *rx.link.recorder->videoFrames[i];
                EXPECT_EQ(f.buffer, frames[i].first) << "frame " << i;
                EXPECT_EQ(f.keyFrame, frames[i].second ? 1 : 0) << "frame " << i;
                EXPECT_EQ(f.frameIndex, int32_t(i + 1));
            }
        }
    }
}

TEST(OWSPMessageParser, FrameGrowingPastItsLengthIsDroppedUntilTheNextFrame) {
    std::vector<uint8_t> stream = concat({
        versionPacket(3, 0),
        DevicePacket().record(owsp::kTypeVideoFrameInfoEx, videoInfoEx(1, 100)).raw(owsp::kTypeVideoKeyData, pattern(60)).finish(),
        DevicePacket().raw(owsp::kTypeVideoData, pattern(60)).finish(),  // 120 > 100: dropped
        DevicePacket().raw(owsp::kTypeVideoData, pattern(40)).finish(),  // rest of the broken frame
        DevicePacket().record(owsp::kTypeVideoFrameInfoEx, videoInfoEx(2, 50)).raw(owsp::kTypeVideoKeyData, pattern(50, 1)).finish(),
        // An absurd announcement is refused outright.
        DevicePacket().record(owsp::kTypeVideoFrameInfoEx, videoInfoEx(3, 0xFFFFFFFF)).raw(owsp::kTypeVideoData, pattern(10)).finish(),
    });
    Receiver rx;
    rx.feed(stream);
    EXPECT_EQ(rx.events(), (Events{"version 3.0 @7", "video #2 key 50 ch0 t0 @7"}));
    EXPECT_LE(rx.link.assembly.buffer.size(), 100u);
}

TEST(OWSPMessageParser, Type101DependsOnTheMainVersion) {
    std::vector<uint8_t> ex = DevicePacket()
                                  .record(owsp::kTypeVideoFrameInfo, videoInfo(4))
                                  .record(owsp::kTypeVideoFrameInfoEx, videoInfoEx(5, 20))
                                  .finish();
    Receiver v5;  // initial main version 5: the 16 bytes are non-key video data
    v5.feed(ex);
    EXPECT_EQ(v5.events(), (Events{"video #4 16 ch0 t0 @7"}));
    EXPECT_EQ(v5.parser.mainVersion(), 5);

    Receiver v3;
    v3.feed(versionPacket(3, 0));
    v3.feed(ex);
    v3.feed(DevicePacket().raw(owsp::kTypeVideoData, pattern(20)).finish());
    EXPECT_EQ(v3.events(), (Events{"version 3.0 @7", "video #5 20 ch0 t0 @7"}));
    EXPECT_EQ(v3.parser.mainVersion(), 3);
    EXPECT_EQ(v3.parser.subVersion(), 0);
}

struct FilterCase {
    const char* name;
    std::vector<std::pair<uint32_t, bool>> frames;  // (index, key)
    std::vector<int32_t> delivered;
};

TEST(OWSPMessageParser, FrameIndexFilter) {
    const std::vector<FilterCase> cases = {
        {"forward", {{1, true}, {2, false}, {3, false}}, {1, 2, 3}},
        {"repeat and older non-key dropped", {{5, true}, {5, false}, {4, false}, {6, false}}, {5, 6}},
        {"key frames always pass", {{5, false}, {5, true}, {3, true}, {4, false}}, {5, 5, 3, 4}},
        {"index 0 means none yet", {{0, false}, {0, false}, {1, false}}, {0, 0, 1}},
        {"signed comparison", {{10, false}, {0x80000000u, false}, {0xFFFFFFFFu, true}, {0, false}}, {10, -1, 0}},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.name);
        Receiver rx;
        for (auto [index, key] : c.frames) rx.feed(videoFramePacket(index, pattern(10), key));
        std::vector<int32_t> got;
        for (auto& f : rx.link.recorder->videoFrames) got.push_back(f->frameIndex);
        EXPECT_EQ(got, c.delivered);
    }
}

TEST(OWSPMessageParser, FramesNobodyTakesAreNeitherCopiedNorCounted) {
    Receiver rx;
    rx.link.recorder->wantsFrames = false;
    rx.feed(videoFramePacket(9, pattern(10), false));
    rx.feed(audioPacket(1, pattern(10)));
    EXPECT_TRUE(rx.events().empty());
    EXPECT_EQ(rx.parser.lastFrameIndex(), 0);
    EXPECT_TRUE(rx.link.assembly.isDataReady()) << "the assembly frame is still filled";

    Receiver noClient;
    noClient.link.hasClient = false;
    noClient.feed(sessionStream());
    EXPECT_TRUE(noClient.buffer.empty());

    OWSPMessageParser parser;  // no link at all
    std::vector<uint8_t> s = sessionStream();
    EXPECT_EQ(parser.parseMessage(s, nullptr, nullptr), int32_t(s.size()));
    EXPECT_EQ(parser.mainVersion(), 3);
}

// ---- Replies -------------------------------------------------------------------------

TEST(OWSPMessageParser, LoginResultsMapToTheirCodes) {
    const std::vector<std::pair<uint16_t, const char*>> cases = {
        {1, "login @7"},
        {2, "loginFailed DVRClientErrorDomain 2004"},
        {3, "loginFailed DVRClientErrorDomain 2012"},
        {4, "loginFailed DVRClientErrorDomain 2006"},
        {5, "loginFailed DVRClientErrorDomain 2005"},
        {24, "loginFailed DVRClientErrorDomain 2009"},
        {0, "loginFailed DVRClientErrorDomain 2012"},
        {0xFFFF, "loginFailed DVRClientErrorDomain 2012"},
    };
    for (auto [result, want] : cases) {
        SCOPED_TRACE(result);
        Receiver rx;
        rx.feed(loginReply(result));
        EXPECT_EQ(rx.events(), Events{want});
    }
}

TEST(OWSPMessageParser, EveryReplyReachesItsCallback) {
    _TLV_V_DeviceInfo info;
    info.companyIdentity = "ACME-CAMERAS-LTD";  // fills its 16 bytes
    info.productIdentity = "P1";
    info.channelNumber = 4;
    _TLV_V_FileInfo file;
    file.fileName = "ch01/0001.264";
    file.startTime.m_year = 2024;
    _TLV_V_TalkResponse talk;
    talk.result = 1;
    talk.audioFormat.samplesPerSecond = 8000;
    _TLV_V_SearchFileResponse search;
    search.result = 1;
    search.count = 3;
    _TLV_V_StreamDataFormat fmt;
    fmt.dataType = 2;
    fmt.audioFormat.waveFormat = 6;
    _TLV_V_SwitchChannelResponse sw;
    sw.result = 1;
    _TLV_V_CameraColor color;
    color.channel = 1;
    _TLV_V_MotionDetect motion;
    motion.channel = 2;
    motion.area[31][35] = 77;
    _TLV_V_HideDetect hide;
    hide.channel = 3;
    _TLV_V_Record record;
    record.channel = 4;
    _TLV_V_VideoEncode venc;
    venc.channel = 5;
    _TLV_V_AudioEncode aenc;
    aenc.channel = 6;
    _TLV_V_Network net;
    net.name = "cam";
    _TLV_V_Email mail;
    mail.port = 25;
    _TLV_V_System sys;
    sys.name = "NVR";

    std::vector<uint8_t> stream = concat({
        DevicePacket().record(owsp::kTypeVersionInfoOld, versionRecord(4, 1)).finish(),
        DevicePacket().record(owsp::kTypeDeviceInfo, info).record(owsp::kTypeDeviceInfoAlt, info).finish(),
        DevicePacket().record(owsp::kTypeSwitchChannelResp, sw).finish(),
        DevicePacket().record(owsp::kTypeStreamFormat1, fmt).record(owsp::kTypeStreamFormat3, fmt).finish(),
        DevicePacket().record(owsp::kTypeTalkResponse, talk).finish(),
        DevicePacket().record(owsp::kTypeSearchResponse, search).record(owsp::kTypeFileInfo, file).raw(owsp::kTypeRecordEnd, wireBytes("01020304")).finish(),
        DevicePacket()
            .record(owsp::kTypeCameraColorReply, color)
            .record(owsp::kTypeHideDetectReply, hide)
            .record(owsp::kTypeLossDetectReply, hide)
            .record(owsp::kTypeSensorReply, hide)
            .record(owsp::kTypeRecordReply, record)
            .record(owsp::kTypeVideoEncodeReply, venc)
            .record(owsp::kTypeAudioEncodeReply, aenc)
            .record(owsp::kTypeNetworkReply, net)
            .record(owsp::kTypeEmailGetAndReply, mail)
            .record(owsp::kTypeSystemReply, sys)
            .finish(),
        DevicePacket().record(owsp::kTypeMotionDetectReply, motion).finish(),
        DevicePacket().record(owsp::kTypeConfigResponse, _TLV_V_ConfigResponse{1, 0}).record(owsp::kTypeConfigResponse, _TLV_V_ConfigResponse{0, 0}).finish(),
    });
    Receiver rx;
    rx.link.linkTag = -3;
    rx.feed(stream);
    EXPECT_EQ(rx.events(), (Events{
                               "version 4.1 @-3", "deviceInfo @-3", "deviceInfo @-3", "switchChannel 1 @-3",
                               "streamFormat @-3", "streamFormat @-3", "talk 1 @-3", "search 1/3 @-3",
                               "fileInfo ch01/0001.264 @-3", "recordEnd", "cameraColor ch1 @-3", "hideDetect ch3 @-3",
                               "lossDetect ch3 @-3", "sensor ch3 @-3", "record ch4 @-3", "videoEncode ch5 @-3",
                               "audioEncode ch6 @-3", "network cam @-3", "email port25 @-3", "system NVR @-3",
                               "motionDetect ch2 77 @-3", "setConfigFailed 0 2011 @-3", "setConfig 0 @-3",
                           }));
    const RecordingClient& r = *rx.link.recorder;
    EXPECT_EQ(r.lastDeviceInfo.companyIdentity.str(), "ACME-CAMERAS-LTD");
    EXPECT_EQ(r.lastDeviceInfo.productIdentity.str(), "P1");
    EXPECT_EQ(r.lastDeviceInfo.channelNumber, 4);
    EXPECT_EQ(r.lastFileInfo.startTime.m_year, 2024u);
    EXPECT_EQ(r.lastTalk.audioFormat.samplesPerSecond, 8000u);
    EXPECT_TRUE(r.lastStreamFormat.hasAudio());
    EXPECT_EQ(r.lastStreamFormat.audioFormat.waveFormat, 6);
    EXPECT_EQ(rx.parser.mainVersion(), 4);
    EXPECT_EQ(rx.parser.subVersion(), 1);
}

TEST(OWSPMessageParser, ShortAndUnterminatedBodiesAreReadWithinTheirRecord) {
    // A device-information record cut after 20 bytes whose texts have no
    // terminator, followed by a login reply in the same packet.
    std::vector<uint8_t> body(20, 'A');
    std::vector<uint8_t> packet =
        DevicePacket().raw(owsp::kTypeDeviceInfo, body).record(owsp::kTypeLoginResponse, _TLV_V_LoginResponse{1, 0}).finish();
    Receiver rx;
    rx.feed(packet);
    EXPECT_EQ(rx.events(), (Events{"deviceInfo @7", "login @7"}));
    EXPECT_EQ(rx.link.recorder->lastDeviceInfo.companyIdentity.str(), std::string(16, 'A'));
    EXPECT_EQ(rx.link.recorder->lastDeviceInfo.productIdentity.str(), "AAAA");
    EXPECT_EQ(rx.link.recorder->lastDeviceInfo.channelNumber, 0);

    // A file name filling all 260 bytes.
    std::vector<uint8_t> fileBody(332, 'f');
    Receiver rx2;
    rx2.feed(DevicePacket().raw(owsp::kTypeFileInfo, fileBody).finish());
    EXPECT_EQ(rx2.link.recorder->lastFileInfo.fileName.str().size(), 260u);
}

// ---- Helpers -----------------------------------------------------------------------------

TEST(OWSPMessageParser, LoginDataIsRecognisedByItsFirstType) {
    EXPECT_TRUE(OWSPMessageParser::isLoginData(wireBytes("2900 3800")));
    EXPECT_FALSE(OWSPMessageParser::isLoginData(wireBytes("2800 0400")));
    EXPECT_FALSE(OWSPMessageParser::isLoginData(wireBytes("29")));
    EXPECT_FALSE(OWSPMessageParser::isLoginData({}));
}

struct DomainCase {
    const char* name;
    std::vector<uint8_t> input;
    bool result;
    const char* address;
    uint32_t port;
};

TEST(OWSPMessageParser, DomainServerResponseSetsAddressAndPort) {
    auto text = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    const std::vector<DomainCase> cases = {
        {"address and port", text("10.0.0.5:8000"), true, "10.0.0.5", 8000},
        {"header end cuts", text("host.lan:554\r\n\r\n:99 junk"), true, "host.lan", 554},
        {"port with trailing text", text("h:80abc"), true, "h", 80},
        {"nothing after the colon", text("h:"), false, "h", 1},
        {"no colon", text("hostonly"), false, "old", 1},
        {"not UTF-8", wireBytes("ff fe 3a 38 30"), false, "old", 1},
        {"empty", {}, false, "old", 1},
    };
    for (const DomainCase& c : cases) {
        SCOPED_TRACE(c.name);
        Device d;
        d.address = "old";
        d.mediaPort = 1;
        EXPECT_EQ(OWSPMessageParser::parseDomainServerResponse(c.input, d), c.result);
        EXPECT_EQ(d.address.value(), c.address);
        EXPECT_EQ(d.mediaPort.load(), c.port);
    }
}

// Every accepted login starts a new stream, numbered from 1 again: the index
// filter forgets the frames of the stream before, also when the new stream
// begins between key frames.
TEST(OWSPMessageParser, AnAcceptedLoginStartsTheIndexFilterAgain) {
    Receiver rx;
    for (uint32_t i = 1; i <= 10; ++i) rx.feed(videoFramePacket(i, pattern(10), i == 1));
    rx.feed(loginReply(1));
    for (uint32_t i = 2; i <= 4; ++i) rx.feed(videoFramePacket(i, pattern(10), false));
    rx.feed(loginReply(2));  // a refused login changes nothing
    rx.feed(videoFramePacket(3, pattern(10), false));
    std::vector<int32_t> got;
    for (auto& f : rx.link.recorder->videoFrames) got.push_back(f->frameIndex);
    EXPECT_EQ(got, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 2, 3, 4}));
}

// Audio data that comes before any audio information is audio all the same.
TEST(OWSPMessageParser, AudioBeforeAnyAudioInformationIsAudio) {
    Receiver rx;
    rx.feed(DevicePacket().raw(owsp::kTypeAudioData, pattern(160, 4)).finish());
    ASSERT_EQ(rx.link.recorder->audioFrames.size(), 1u);
    EXPECT_EQ(rx.link.recorder->audioFrames[0]->isVideo, 0);
    EXPECT_TRUE(rx.link.recorder->videoFrames.empty());
}

// A frame gathered from fragments is a key frame when any fragment came as
// key data, wherever that fragment lies; the index filter then lets it pass
// like any key frame, also with an index it has seen.
TEST(OWSPMessageParser, AFrameIsKeyWhenAnyOfItsFragmentsIsKeyData) {
    struct Case {
        const char* name;
        std::vector<bool> fragmentKeys;
        bool key;
    } cases[] = {
        {"key first", {true, false, false}, true},
        {"key in the middle", {false, true, false}, true},
        {"key last", {false, false, true}, true},
        {"no key fragment", {false, false, false}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Receiver rx;
        rx.feed(versionPacket(3, 0));
        rx.feed(DevicePacket().record(owsp::kTypeVideoFrameInfoEx, videoInfoEx(5, 10)).raw(owsp::kTypeVideoKeyData, pattern(10)).finish());
        // The same index again, gathered from three fragments.
        rx.feed(DevicePacket().record(owsp::kTypeVideoFrameInfoEx, videoInfoEx(5, 30)).finish());
        for (size_t i = 0; i < c.fragmentKeys.size(); ++i) {
            const uint16_t type = c.fragmentKeys[i] ? owsp::kTypeVideoKeyData : owsp::kTypeVideoData;
            rx.feed(DevicePacket().raw(type, pattern(10, uint8_t(i + 1))).finish());
        }
        const auto& frames = rx.link.recorder->videoFrames;
        ASSERT_EQ(frames.size(), c.key ? 2u : 1u) << "a repeated index passes only as a key frame";
        if (c.key) {
            EXPECT_EQ(frames[1]->keyFrame, 1);
            EXPECT_EQ(frames[1]->buffer, concat({pattern(10, 1), pattern(10, 2), pattern(10, 3)}));
        }
    }
}
