#include "base/link/OWSPMessageParser.h"

#include <climits>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/core/Device.h"
#include "base/link/DeviceClientDelegate.h"
#include "base/link/OWSPRecords.h"
#include "platform/bytes/ByteReader.h"
#include "platform/ErrorCodes.h"
#include "platform/text/Utf8.h"
#include "platform/Log.h"

namespace lumora {

namespace {

// The bytes of the key-frame length field's 16 bits wrap at this size.
constexpr size_t kRecordLengthWrap = 65536;

Error loginError(uint16_t result) {
    long code = errors::kLoginOther;
    switch (result) {
        case 2: code = errors::kLoginResult2; break;
        case 4: code = errors::kLoginResult4; break;
        case 5: code = errors::kLoginResult5; break;
        case 24: code = errors::kLoginResult24; break;
        default: break;
    }
    return Error(errors::kDVRClientErrorDomain, code, "device refused the login (result " + std::to_string(result) + ")");
}

// The integer value at the start of a text: leading white space, an
// optional sign, decimal digits; 0 when there are none; clamped to 32 bits.
int32_t leadingInteger(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > int64_t(INT32_MAX) + 1) break;
    }
    if (negative) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    return static_cast<int32_t>(v);
}

}  // namespace

// ---- Packets -------------------------------------------------------------------

int32_t OWSPMessageParser::parseMessage(std::span<const uint8_t> data, Device* device, OWSPLink* connection) {
    const size_t n = data.size();
    if (n < owsp::kPacketHeaderSize) return 0;
    size_t p = 0;
    while (n - p >= owsp::kPacketHeaderSize) {
        ByteReader header(data.subspan(p, 4));
        uint32_t length = 0;
        header.u32be(length);
        if (length > owsp::kMaxPacketLength) {
            Log::warn("OWSPMessageParser", "packet length %u over %u, stream dropped", length, owsp::kMaxPacketLength);
            return -1;
        }
        const size_t packetSize = size_t(length) + 4;
        if (n - p < packetSize) break;
        // The result is a signed 32-bit count: whatever lies beyond waits for
        // the next call.
        if (p + packetSize > size_t(INT32_MAX)) break;
        // A length below 4 does not even cover the sequence number: such a
        // packet has no records and is skipped as it stands.
        if (length >= 4) processOwspMessage(data.subspan(p, packetSize), device, connection);
        p += packetSize;
    }
    return static_cast<int32_t>(p);
}

bool OWSPMessageParser::processOwspMessage(std::span<const uint8_t> packet, Device* device, OWSPLink* connection) {
    if (packet.size() < owsp::kPacketHeaderSize + owsp::kRecordHeaderSize) return true;
    ByteReader header(packet.first(4));
    uint32_t owsplen = 0;
    header.u32be(owsplen);
    size_t at = owsp::kPacketHeaderSize;
    while (packet.size() - at >= owsp::kRecordHeaderSize) {
        ByteReader r(packet.subspan(at, owsp::kRecordHeaderSize));
        uint16_t type = 0, field = 0;
        r.u16le(type);
        r.u16le(field);
        if (packet.size() - at - owsp::kRecordHeaderSize < field) {
            Log::warn("OWSPMessageParser", "record %u claims %u bytes, packet holds %zu", type, field,
                   packet.size() - at - owsp::kRecordHeaderSize);
            return false;
        }
        at += parseTLV(packet.subspan(at), device, connection, owsplen);
    }
    return true;
}

size_t OWSPMessageParser::recordDataLength(uint16_t type, uint16_t field, size_t available) {
    // A key frame may be larger than the 16-bit length field can say; it
    // then runs to the end of its packet and the field holds the low 16 bits
    // of its length. Only a gap of whole multiples of 65536 is read that
    // way, so records that follow a key record are never swallowed.
    if (type == owsp::kTypeVideoKeyData && available > field && (available - field) % kRecordLengthWrap == 0)
        return available;
    return field;
}

size_t OWSPMessageParser::parseTLV(std::span<const uint8_t> bytes, Device* device, OWSPLink* connection,
                                   uint32_t /*owsplen*/) {
    ByteReader r(bytes);
    uint16_t type = 0, field = 0;
    if (!r.u16le(type) || !r.u16le(field)) return bytes.size();
    const size_t length = recordDataLength(type, field, r.remaining());
    std::span<const uint8_t> body;
    if (!r.span(length, body)) return bytes.size();  // runs past the packet: nothing more to read here
    const size_t used = owsp::kRecordHeaderSize + length;

    std::shared_ptr<DeviceClientDelegate> client = connection ? connection->client() : nullptr;
    const int32_t tag = connection ? connection->tag() : 0;

    switch (type) {
        case owsp::kTypeVersionInfoOld:
        case owsp::kTypeVersionInfo: {
            auto v = owsp::decodeBody<_TLV_V_VersionInfo>(body);
            _mainVersion = v.versionMajor;
            _subVersion = v.versionMinor;
            if (client) client->deviceDidReceiveVersionInfo(device, v, tag);
            break;
        }
        case owsp::kTypeLoginResponse:
            parseLoginResponse(body, device, connection);
            break;
        case owsp::kTypeSwitchChannelResp:
            if (client)
                client->deviceDidReceiveSwitchChannelResp(
                    device, owsp::decodeBody<_TLV_V_SwitchChannelResponse>(body), tag);
            break;
        case owsp::kTypeDeviceInfo:
        case owsp::kTypeDeviceInfoAlt:
            if (client) client->deviceDidReceiveDeviceInfo(device, owsp::decodeBody<_TLV_V_DeviceInfo>(body), tag);
            break;
        case owsp::kTypeAudioInfo:
            parseAudioFrameInfo(body, connection);
            break;
        case owsp::kTypeAudioData:
            parseAudioFrameData(body, device, connection);
            break;
        case owsp::kTypeVideoFrameInfo:
            parseVideoFrameInfo(body, connection);
            break;
        case owsp::kTypeVideoKeyData:
            parseVideoFrameData(body, true, device, connection);
            break;
        case owsp::kTypeVideoFrameInfoEx:
            // Devices of main version 5 send non-key video under this type.
            if (_mainVersion == 5)
                parseVideoFrameData(body, false, device, connection);
            else
                parseVideoFrameInfoEx(body, connection);
            break;
        case owsp::kTypeVideoData:
            parseVideoFrameData(body, false, device, connection);
            break;
        case owsp::kTypeStreamFormat1:
        case owsp::kTypeStreamFormat2:
        case owsp::kTypeStreamFormat3:
            if (client)
                client->deviceDidReceiveStreamFormat(device, owsp::decodeBody<_TLV_V_StreamDataFormat>(body), tag);
            break;
        case owsp::kTypeConfigResponse:
            parseConfigSetResponse(body, device, connection);
            break;
        case owsp::kTypeTalkResponse:
            if (client) client->deviceDidReceiveTalkResp(device, owsp::decodeBody<_TLV_V_TalkResponse>(body), tag);
            break;
        case owsp::kTypeSearchResponse:
            if (client)
                client->deviceDidReceiveSearchResp(device, owsp::decodeBody<_TLV_V_SearchFileResponse>(body), tag);
            break;
        case owsp::kTypeFileInfo:
            if (client) client->deviceDidReceiveFileInfo(device, owsp::decodeBody<_TLV_V_FileInfo>(body), tag);
            break;
        case owsp::kTypeRecordEnd:
            if (client) client->devicedidRcvRecordend(device);
            break;
        case owsp::kTypeCameraColorReply:
            if (client)
                client->deviceDidReceiveCameraColorConfig(device, owsp::decodeBody<_TLV_V_CameraColor>(body), tag);
            break;
        case owsp::kTypeMotionDetectReply:
            if (client)
                client->deviceDidReceiveMotionDetectConfig(device, owsp::decodeBody<_TLV_V_MotionDetect>(body), tag);
            break;
        case owsp::kTypeHideDetectReply:
            if (client)
                client->deviceDidReceiveHideDetectConfig(device, owsp::decodeBody<_TLV_V_HideDetect>(body), tag);
            break;
        case owsp::kTypeLossDetectReply:
            if (client)
                client->deviceDidReceiveLossDetectConfig(device, owsp::decodeBody<_TLV_V_LossDetect>(body), tag);
            break;
        case owsp::kTypeSensorReply:
            if (client) client->deviceDidReceiveSensorAlarmConfig(device, owsp::decodeBody<_TLV_V_Sensor>(body), tag);
            break;
        case owsp::kTypeRecordReply:
            if (client) client->deviceDidReceiveRecordConfig(device, owsp::decodeBody<_TLV_V_Record>(body), tag);
            break;
        case owsp::kTypeVideoEncodeReply:
            if (client)
                client->deviceDidReceiveVideoEncodeConfig(device, owsp::decodeBody<_TLV_V_VideoEncode>(body), tag);
            break;
        case owsp::kTypeAudioEncodeReply:
            if (client)
                client->deviceDidReceiveAudioEncodeConfig(device, owsp::decodeBody<_TLV_V_AudioEncode>(body), tag);
            break;
        case owsp::kTypeNetworkReply:
            if (client) client->deviceDidReceiveNetworkConfig(device, owsp::decodeBody<_TLV_V_Network>(body), tag);
            break;
        case owsp::kTypeEmailGetAndReply:
            if (client) client->deviceDidReceiveEmailConfig(device, owsp::decodeBody<_TLV_V_Email>(body), tag);
            break;
        case owsp::kTypeSystemReply:
            if (client) client->deviceDidReceiveSystemConfig(device, owsp::decodeBody<_TLV_V_System>(body), tag);
            break;
        default:
            break;  // not ours: skipped
    }
    return used;
}

// ---- Replies -----------------------------------------------------------------------

void OWSPMessageParser::parseLoginResponse(std::span<const uint8_t> body, Device* device, OWSPLink* connection) {
    auto r = owsp::decodeBody<_TLV_V_LoginResponse>(body);
    if (r.result == 1) {
        // A new stream: the device numbers its frames from 1 again, and
        // nothing half gathered from an earlier stream belongs to it.
        _lastframeindex = 0;
        skippingVideo_ = false;
        if (connection) connection->frame() = MediaFrame();
        audioFrame_ = audioStart();
    }
    std::shared_ptr<DeviceClientDelegate> client = connection ? connection->client() : nullptr;
    if (!client) return;
    if (r.result == 1)
        client->deviceDidLogin(device, connection->tag());
    else
        client->deviceFailedLogin(device, loginError(r.result));
}

void OWSPMessageParser::parseConfigSetResponse(std::span<const uint8_t> body, Device* device, OWSPLink* connection) {
    std::shared_ptr<DeviceClientDelegate> client = connection ? connection->client() : nullptr;
    if (!client) return;
    auto r = owsp::decodeBody<_TLV_V_ConfigResponse>(body);
    // Unverified: result 1 is read as a refusal here, the opposite of the
    // login reply. No part of the client sends configuration sets yet; check
    // against a device before relying on it.
    if (r.result == 1)
        client->deviceFailedSetConfig(device, 0,
                                      Error(errors::kDVRClientErrorDomain, errors::kConfigSetRefused,
                                            "device refused the configuration"),
                                      connection->tag());
    else
        client->deviceDidSetConfig(device, 0, connection->tag());
}

// ---- Media ---------------------------------------------------------------------------

void OWSPMessageParser::parseVideoFrameInfo(std::span<const uint8_t> body, OWSPLink* connection) {
    if (!connection) return;
    auto info = owsp::decodeBody<_TLV_V_VideoFrameInfo>(body);
    MediaFrame& f = connection->frame();
    f.channel = info.channelId;
    f.frameIndex = static_cast<int32_t>(info.frameIndex);
    f.timestamp = info.time;
    f.isVideo = 1;
    f.frameLength = 0;
    f.keyFrame = 0;
    skippingVideo_ = false;
}

void OWSPMessageParser::parseVideoFrameInfoEx(std::span<const uint8_t> body, OWSPLink* connection) {
    if (!connection) return;
    auto info = owsp::decodeBody<_TLV_V_VideoFrameInfoEx>(body);
    MediaFrame& f = connection->frame();
    f.channel = info.channelId;
    f.frameIndex = static_cast<int32_t>(info.frameIndex);
    f.timestamp = info.time;
    f.isVideo = 1;
    // A fresh frame: its fragments follow until the announced length, and
    // it is a key frame only when one of them comes as key data.
    f.buffer.clear();
    f.frameLength = info.frameLength;
    f.keyFrame = 0;
    skippingVideo_ = false;
    if (info.frameLength > kMaxFrameLength) {
        Log::warn("OWSPMessageParser", "announced frame of %u bytes over %u, skipped", info.frameLength, kMaxFrameLength);
        f.frameLength = 0;
        skippingVideo_ = true;
    }
}

void OWSPMessageParser::parseAudioFrameInfo(std::span<const uint8_t> body, OWSPLink*) {
    auto info = owsp::decodeBody<_TLV_V_AudioInfo>(body);
    audioFrame_.channel = info.channelId;
    audioFrame_.timestamp = info.time;
    audioFrame_.isVideo = 0;
    audioFrame_.frameLength = 0;
}

void OWSPMessageParser::parseVideoFrameData(std::span<const uint8_t> data, bool keyFrame, Device* device,
                                            OWSPLink* connection) {
    if (!connection || skippingVideo_) return;
    MediaFrame& f = connection->frame();
    if (f.frameLength == 0 || f.isDataReady()) {
        f.setBuffer(data);
        f.frameLength = static_cast<uint32_t>(data.size());
        f.keyFrame = keyFrame ? 1 : 0;
    } else {
        if (f.buffer.size() > f.frameLength || data.size() > f.frameLength - f.buffer.size()) {
            Log::warn("OWSPMessageParser", "frame %d grows past its %u bytes, dropped", f.frameIndex, f.frameLength);
            f.buffer.clear();
            f.frameLength = 0;
            skippingVideo_ = true;
            return;
        }
        f.appendData(data);
        // A frame gathered from fragments is a key frame when any of its
        // fragments came as key data.
        if (keyFrame) f.keyFrame = 1;
    }
    deliverVideoIfReady(f, device, connection);
}

void OWSPMessageParser::deliverVideoIfReady(MediaFrame& f, Device* device, OWSPLink* connection) {
    if (!f.isDataReady()) return;
    std::shared_ptr<DeviceClientDelegate> client = connection->client();
    if (!client || !client->implementsDidReceiveVideoFrame()) return;
    // Frame index 0 means none delivered yet; later frames must move
    // forward (signed), except key frames, which always pass.
    if (_lastframeindex != 0 && f.frameIndex <= _lastframeindex && !f.keyFrame) return;
    auto copy = std::make_shared<MediaFrame>(f);
    _lastframeindex = copy->frameIndex;
    client->deviceDidReceiveVideoFrame(device, std::move(copy), connection->tag());
}

void OWSPMessageParser::parseAudioFrameData(std::span<const uint8_t> data, Device* device, OWSPLink* connection) {
    audioFrame_.setBuffer(data);
    audioFrame_.frameLength = static_cast<uint32_t>(data.size());
    if (!audioFrame_.isDataReady() || !connection) return;
    std::shared_ptr<DeviceClientDelegate> client = connection->client();
    if (!client || !client->implementsDidReceiveAudioFrame()) return;
    client->deviceDidReceiveAudioFrame(device, std::make_shared<MediaFrame>(audioFrame_), connection->tag());
}

// ---- Helpers no part of the client calls yet ----------------------------------------

bool OWSPMessageParser::isLoginData(std::span<const uint8_t> bytes) {
    ByteReader r(bytes);
    uint16_t type = 0;
    return r.u16le(type) && type == owsp::kTypeLoginRequest;
}

bool OWSPMessageParser::parseDomainServerResponse(std::span<const uint8_t> bytes, Device& device) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!Utf8::isValid(text)) return false;
    if (size_t end = text.find("\r\n\r\n"); end != std::string_view::npos) text = text.substr(0, end);
    size_t colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    device.address = std::string(text.substr(0, colon));
    std::string_view port = text.substr(colon + 1);
    if (port.empty()) return false;
    device.mediaPort = static_cast<uint32_t>(leadingInteger(port));
    return true;
}

}  // namespace lumora
