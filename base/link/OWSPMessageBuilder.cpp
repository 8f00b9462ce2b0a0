#include "base/link/OWSPMessageBuilder.h"

#include <atomic>
#include <cstdio>

#include "app/core/Device.h"
#include "app/core/QvUtility.h"
#include "base/link/PUConnection.h"
#include "platform/bytes/ByteWriter.h"
#include "platform/Log.h"

namespace lumora {

namespace {

using Packet = OWSPMessageBuilder::Packet;

// Process-wide counter of the extended login with mode and type.
std::atomic<uint32_t> gLoginSequence{0};

// Writes one packet: length placeholder, sequence number, records; the
// length is filled in last.
class PacketWriter {
public:
    explicit PacketWriter(uint32_t sequence, size_t expectedSize = 64) : out_(expectedSize) {
        out_.u32be(0);
        out_.u32le(sequence);
    }

    // One record whose body is the given sub-records back to back.
    template <class... R>
    PacketWriter& record(uint16_t type, const R&... parts) {
        out_.u16le(type);
        out_.u16le(static_cast<uint16_t>((R::kSize + ... + 0)));
        (owsp::encode(out_, parts), ...);
        return *this;
    }

    // A record of raw bytes (the caller keeps length within 16 bits).
    PacketWriter& rawRecord(uint16_t type, const uint8_t* data, size_t length) {
        out_.u16le(type);
        out_.u16le(static_cast<uint16_t>(length));
        out_.bytes(data, length);
        return *this;
    }

    Packet finish() {
        out_.putU32beAt(0, static_cast<uint32_t>(out_.size() - 4));
        return out_.take();
    }

private:
    ByteWriter out_;
};

_TLV_V_VersionInfo version(uint16_t major, uint16_t minor) {
    _TLV_V_VersionInfo v;
    v.versionMajor = major;
    v.versionMinor = minor;
    return v;
}

_TLV_V_LoginRequest loginRecord(const Device& device, int32_t channel) {
    _TLV_V_LoginRequest r;
    r.userName = device.userName.value();
    r.password = device.password.value();
    r.deviceId = static_cast<uint32_t>(device.deviceId);
    r.flag = 0;
    r.channel = static_cast<uint8_t>(channel);
    return r;
}

// Fields both extended-login variants share. Credentials travel only
// unencrypted: with any encryption type both fields stay zero.
_TLV_V_LoginRequestExtend loginExtendRecord(const Device& device, int32_t channel) {
    _TLV_V_LoginRequestExtend r;
    if (device.encryptType.load() == 0) {
        r.userName = device.userName.value();
        r.password = device.password.value();
    }
    r.loginFlag = 2;
    r.channelMask = QvUtility::maskForChannel(channel);
    return r;
}

// Heartbeat body: one 32-bit zero.
struct HeartbeatBody {
    uint32_t reserve = 0;
    static constexpr size_t kSize = 4;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) { io.u32(s.reserve); }
};
static_assert(owsp::wireSize<HeartbeatBody>() == HeartbeatBody::kSize);

Packet loginExtendPacket(uint32_t sequence, const _TLV_V_LoginRequestExtend& r) {
    return PacketWriter(sequence, 88)
        .record(owsp::kTypeVersionInfo, version(5, 0))
        .record(owsp::kTypeLoginRequest, r)
        .finish();
}

template <class R>
Packet single(uint32_t sequence, uint16_t type, const R& r) {
    return PacketWriter(sequence, R::kSize + 12).record(type, r).finish();
}

template <class R>
Packet setRequest(uint16_t type, const R* config, PUConnection* connection) {
    if (!config) return {};
    return single(OWSPMessageBuilder::sequenceNumberFor(connection), type, *config);
}

template <class R>
Packet getRequest(uint16_t type, int32_t channel, PUConnection* connection) {
    R r{};
    r.channel = static_cast<uint8_t>(channel);
    return single(OWSPMessageBuilder::sequenceNumberFor(connection), type, r);
}

template <class R>
Packet getRequestWithoutChannel(uint16_t type, PUConnection* connection) {
    return single(OWSPMessageBuilder::sequenceNumberFor(connection), type, R{});
}

}  // namespace

uint32_t OWSPMessageBuilder::sequenceNumberFor(PUConnection* connection) {
    return connection ? connection->sequenceNumber() : 0;
}

uint32_t OWSPMessageBuilder::peekLoginSequence() { return gLoginSequence.load(); }

// ---- Heartbeat and login ----------------------------------------------------

Packet OWSPMessageBuilder::buildHeartbeatRequest(const Device*, PUConnection* connection) {
    return single(sequenceNumberFor(connection), owsp::kTypeHeartbeat, HeartbeatBody{});
}

Packet OWSPMessageBuilder::buildLoginRequest(const Device& device, int32_t channel, PUConnection* connection) {
    return PacketWriter(sequenceNumberFor(connection), 76)
        .record(owsp::kTypeVersionInfo, version(3, 7))
        .record(owsp::kTypeLoginRequest, loginRecord(device, channel))
        .finish();
}

Packet OWSPMessageBuilder::buildOwspHeaderOfLoginRequest(const Device&, int32_t, PUConnection* connection) {
    ByteWriter out(8);
    out.u32be(4 + (4 + _TLV_V_VersionInfo::kSize) + (4 + _TLV_V_LoginRequest::kSize));
    out.u32le(sequenceNumberFor(connection));
    return out.take();
}

Packet OWSPMessageBuilder::buildOwspBodyOfLoginRequest(const Device& device, int32_t channel) {
    Packet whole = PacketWriter(0, 76)
                       .record(owsp::kTypeVersionInfo, version(3, 7))
                       .record(owsp::kTypeLoginRequest, loginRecord(device, channel))
                       .finish();
    return Packet(whole.begin() + owsp::kPacketHeaderSize, whole.end());
}

Packet OWSPMessageBuilder::buildLoginRequestExtend(const Device& device, int32_t channel,
                                                   PUConnection* connection) {
    _TLV_V_LoginRequestExtend r = loginExtendRecord(device, channel);
    r.encryptType = device.encryptType.load();
    r.deviceId = 0;
    r.mode = device.streamType.load();
    r.type = 2;
    return loginExtendPacket(sequenceNumberFor(connection), r);
}

Packet OWSPMessageBuilder::buildLoginRequestExtend(const Device& device, int32_t channel, uint8_t mode,
                                                   uint8_t type, PUConnection*) {
    _TLV_V_LoginRequestExtend r = loginExtendRecord(device, channel);
    r.encryptType = 0;
    r.deviceId = static_cast<uint32_t>(device.deviceId);
    r.mode = mode;
    r.type = type;
    return loginExtendPacket(gLoginSequence.fetch_add(1), r);
}

// ---- Pan/tilt/zoom, talk and audio ---------------------------------------------

Packet OWSPMessageBuilder::buildPtzControlRequest(const _TLV_V_PTZControlRequest* request,
                                                  const _ControlArgData* argument, PUConnection* connection) {
    if (!request) return {};
    _TLV_V_PTZControlRequest r = *request;
    r.reserve = 0;
    r.size = argument ? static_cast<uint16_t>(_ControlArgData::kSize) : 0;
    PacketWriter packet(sequenceNumberFor(connection), 36);
    if (argument)
        packet.record(owsp::kTypePtzControl, r, *argument);
    else
        packet.record(owsp::kTypePtzControl, r);
    return packet.finish();
}

Packet OWSPMessageBuilder::buildTalkRequest(uint8_t action, uint32_t deviceId, PUConnection*) {
    _TLV_V_TalkRequest r;
    r.action = action;
    r.deviceId = deviceId;
    return single(1, owsp::kTypeTalkRequest, r);
}

Packet OWSPMessageBuilder::buildAudioData(uint8_t firstByte, const uint8_t* data, size_t length, PUConnection*) {
    if (!data || length == 0) return {};
    if (length > owsp::kMaxAudioDataLength) {
        // The record's 16-bit length would no longer describe the body and
        // the device would lose its place in the stream.
        Log::warn("OWSPMessageBuilder", "audio data of %zu bytes refused (at most %zu)", length,
               owsp::kMaxAudioDataLength);
        return {};
    }
    _TLV_V_AudioInfo info;
    info.channelId = firstByte;
    info.time = 200;
    return PacketWriter(2, 24 + length)
        .record(owsp::kTypeAudioInfo, info)
        .rawRecord(owsp::kTypeAudioData, data, length)
        .finish();
}

// ---- Recordings on the device --------------------------------------------------

Packet OWSPMessageBuilder::buildSearchRequest(const _TLV_V_SearchFileRequest* request, PUConnection*) {
    if (!request) return {};
    return single(2, owsp::kTypeSearchRequest, *request);
}

Packet OWSPMessageBuilder::buildPlayRecordRequest(const _TLV_V_PlayRecordRequest* request, PUConnection*) {
    if (!request) return {};
    return single(2, owsp::kTypePlayRecord, *request);
}

Packet OWSPMessageBuilder::buildDownloadRequest(std::string_view fileName, uint32_t offset,
                                                PUConnection* connection) {
    _TLV_V_DownloadRequest r;
    r.fileName = fileName;
    r.offset = offset;
    return single(sequenceNumberFor(connection), owsp::kTypeDownload, r);
}

// ---- Configuration ----------------------------------------------------------------

Packet OWSPMessageBuilder::buildCameraColorConfigSetRequest(const _TLV_V_CameraColor* c, PUConnection* conn) {
    return setRequest(owsp::kTypeCameraColorSet, c, conn);
}
Packet OWSPMessageBuilder::buildCameraColorConfigGetRequest(int32_t channel, PUConnection* conn) {
    return getRequest<_TLV_V_CameraColor>(owsp::kTypeCameraColorGet, channel, conn);
}
Packet OWSPMessageBuilder::buildMotionDetectConfigSetRequest(const _TLV_V_MotionDetect* c, PUConnection* conn) {
    return setRequest(owsp::kTypeMotionDetectSet, c, conn);
}
Packet OWSPMessageBuilder::buildMotionDetectConfigGetRequest(int32_t channel, PUConnection* conn) {
    return getRequest<_TLV_V_MotionDetect>(owsp::kTypeMotionDetectGet, channel, conn);
}
Packet OWSPMessageBuilder::buildHideDetectConfigSetRequest(const _TLV_V_HideDetect* c, PUConnection* conn) {
    return setRequest(owsp::kTypeHideDetectSet, c, conn);
}
Packet OWSPMessageBuilder::buildHideDetectConfigGetRequest(int32_t channel, PUConnection* conn) {
    return getRequest<_TLV_V_HideDetect>(owsp::kTypeHideDetectGet, channel, conn);
}
Packet OWSPMessageBuilder::buildLossDetectConfigSetRequest(const _TLV_V_LossDetect* c, PUConnection* conn) {
    return setRequest(owsp::kTypeLossDetectSet, c, conn);
}
Packet OWSPMessageBuilder::buildLossDetectConfigGetRequest(int32_t channel, PUConnection* conn) {
    return getRequest<_TLV_V_LossDetect>(owsp::kTypeLossDetectGet, channel, conn);
}
Packet OWSPMessageBuilder::buildSensorConfigSetRequest(const _TLV_V_Sensor* c, PUConnection* conn) {
    return setRequest(owsp::kTypeSensorSet, c, conn);
}
Packet OWSPMessageBuilder::buildSensorConfigGetRequest(int32_t channel, PUConnection* conn) {
    return getRequest<_TLV_V_Sensor>(owsp::kTypeSensorGet, channel, conn);
}
Packet OWSPMessageBuilder::buildRecordConfigSetRequest(const _TLV_V_Record* c, PUConnection* conn) {
    return setRequest(owsp::kTypeRecordSet, c, conn);
}
Packet OWSPMessageBuilder::buildRecordConfigGetRequest(int32_t channel, PUConnection* conn) {
    return getRequest<_TLV_V_Record>(owsp::kTypeRecordGet, channel, conn);
}
Packet OWSPMessageBuilder::buildVideoEncodeConfigSetRequest(const _TLV_V_VideoEncode* c, PUConnection* conn) {
    return setRequest(owsp::kTypeVideoEncodeSet, c, conn);
}
Packet OWSPMessageBuilder::buildVideoEncodeConfigGetRequest(int32_t channel, PUConnection* conn) {
    return getRequest<_TLV_V_VideoEncode>(owsp::kTypeVideoEncodeGet, channel, conn);
}
Packet OWSPMessageBuilder::buildAudioEncodeConfigSetRequest(const _TLV_V_AudioEncode* c, PUConnection* conn) {
    return setRequest(owsp::kTypeAudioEncodeSet, c, conn);
}
Packet OWSPMessageBuilder::buildAudioEncodeConfigGetRequest(int32_t channel, PUConnection* conn) {
    return getRequest<_TLV_V_AudioEncode>(owsp::kTypeAudioEncodeGet, channel, conn);
}
Packet OWSPMessageBuilder::buildNetworkConfigSetRequest(const _TLV_V_Network* c, PUConnection* conn) {
    return setRequest(owsp::kTypeNetworkSet, c, conn);
}
Packet OWSPMessageBuilder::buildNetworkConfigGetRequest(PUConnection* conn) {
    return getRequestWithoutChannel<_TLV_V_Network>(owsp::kTypeNetworkGet, conn);
}
Packet OWSPMessageBuilder::buildEmailConfigSetRequest(const _TLV_V_Email* c, PUConnection* conn) {
    return setRequest(owsp::kTypeEmailSet, c, conn);
}
Packet OWSPMessageBuilder::buildEmailConfigGetRequest(PUConnection* conn) {
    return getRequestWithoutChannel<_TLV_V_Email>(owsp::kTypeEmailGetAndReply, conn);
}
Packet OWSPMessageBuilder::buildSystemConfigSetRequest(const _TLV_V_System* c, PUConnection* conn) {
    return setRequest(owsp::kTypeSystemSet, c, conn);
}
Packet OWSPMessageBuilder::buildSystemConfigGetRequest(PUConnection* conn) {
    return getRequestWithoutChannel<_TLV_V_System>(owsp::kTypeSystemGet, conn);
}
Packet OWSPMessageBuilder::buildAlarmConfigSetRequest(const _TLV_V_AlarmControl* c, PUConnection* conn) {
    return setRequest(owsp::kTypeAlarmControlSet, c, conn);
}

}  // namespace lumora
