#pragma once

// The records ("TLV" bodies) of the device message protocol and their record
// types. Field order and widths are the devices'; every record states its
// wire size (kSize) and its layout (wire), and the size is checked against
// the layout at compile time below. Fields whose meaning the devices keep to
// themselves are carried as they come, under neutral names.

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/link/OWSPWire.h"

namespace lumora {

// ---- Record types ------------------------------------------------------

namespace owsp {
inline constexpr uint16_t kTypeVersionInfoOld = 39;     // 0x27, reply
inline constexpr uint16_t kTypeVersionInfo = 40;        // 0x28, request and reply
inline constexpr uint16_t kTypeLoginRequest = 41;       // 0x29
inline constexpr uint16_t kTypeLoginResponse = 42;      // 0x2A
inline constexpr uint16_t kTypeHeartbeat = 49;          // 0x31
inline constexpr uint16_t kTypePtzControl = 51;         // 0x33
inline constexpr uint16_t kTypeSwitchChannelResp = 65;  // 0x41
inline constexpr uint16_t kTypeDeviceInfo = 70;         // 0x46
inline constexpr uint16_t kTypeDeviceInfoAlt = 71;      // 0x47
inline constexpr uint16_t kTypeAudioInfo = 97;          // 0x61
inline constexpr uint16_t kTypeAudioData = 98;          // 0x62
inline constexpr uint16_t kTypeVideoFrameInfo = 99;     // 0x63
inline constexpr uint16_t kTypeVideoKeyData = 100;      // 0x64
inline constexpr uint16_t kTypeVideoFrameInfoEx = 101;  // 0x65; non-key data at main version 5
inline constexpr uint16_t kTypeVideoData = 102;         // 0x66
inline constexpr uint16_t kTypeStreamFormat1 = 199;     // 0xC7
inline constexpr uint16_t kTypeStreamFormat2 = 200;     // 0xC8
inline constexpr uint16_t kTypeStreamFormat3 = 203;     // 0xCB
inline constexpr uint16_t kTypeCameraColorSet = 301;
inline constexpr uint16_t kTypeMotionDetectSet = 302;
inline constexpr uint16_t kTypeHideDetectSet = 303;
inline constexpr uint16_t kTypeLossDetectSet = 304;
inline constexpr uint16_t kTypeSensorSet = 305;
inline constexpr uint16_t kTypeRecordSet = 306;
inline constexpr uint16_t kTypeVideoEncodeSet = 307;
inline constexpr uint16_t kTypeAudioEncodeSet = 308;
inline constexpr uint16_t kTypeNetworkSet = 309;
inline constexpr uint16_t kTypeEmailSet = 310;
inline constexpr uint16_t kTypeSystemSet = 311;
inline constexpr uint16_t kTypeConfigResponse = 312;    // 0x138
inline constexpr uint16_t kTypeTalkRequest = 331;       // 0x14B
inline constexpr uint16_t kTypeTalkResponse = 332;      // 0x14C
inline constexpr uint16_t kTypeSearchRequest = 333;     // 0x14D
inline constexpr uint16_t kTypeSearchResponse = 334;    // 0x14E
inline constexpr uint16_t kTypeFileInfo = 335;          // 0x14F
inline constexpr uint16_t kTypePlayRecord = 336;        // 0x150
inline constexpr uint16_t kTypeDownload = 338;          // 0x152
inline constexpr uint16_t kTypeAlarmControlSet = 341;
inline constexpr uint16_t kTypeRecordEnd = 354;         // 0x162
inline constexpr uint16_t kTypeCameraColorGet = 401;
inline constexpr uint16_t kTypeCameraColorReply = 402;
inline constexpr uint16_t kTypeMotionDetectGet = 403;
inline constexpr uint16_t kTypeMotionDetectReply = 404;
inline constexpr uint16_t kTypeHideDetectGet = 405;
inline constexpr uint16_t kTypeHideDetectReply = 406;
inline constexpr uint16_t kTypeLossDetectGet = 407;
inline constexpr uint16_t kTypeLossDetectReply = 408;
inline constexpr uint16_t kTypeSensorGet = 409;
inline constexpr uint16_t kTypeSensorReply = 410;
inline constexpr uint16_t kTypeRecordGet = 411;
inline constexpr uint16_t kTypeRecordReply = 412;
inline constexpr uint16_t kTypeVideoEncodeGet = 413;
inline constexpr uint16_t kTypeVideoEncodeReply = 414;
inline constexpr uint16_t kTypeAudioEncodeGet = 415;
inline constexpr uint16_t kTypeAudioEncodeReply = 416;
inline constexpr uint16_t kTypeNetworkGet = 417;
inline constexpr uint16_t kTypeNetworkReply = 418;
inline constexpr uint16_t kTypeEmailGetAndReply = 419;  // the same type both ways
inline constexpr uint16_t kTypeSystemGet = 421;
inline constexpr uint16_t kTypeSystemReply = 422;

// Packet framing: a big-endian length of what follows it, a little-endian
// sequence number, then records of a 2-byte type, a 2-byte body length and
// the body.
inline constexpr size_t kPacketHeaderSize = 8;
inline constexpr size_t kRecordHeaderSize = 4;
// Largest packet length field accepted from a device.
inline constexpr uint32_t kMaxPacketLength = 204800;
// Largest audio body a request may carry.
inline constexpr size_t kMaxAudioDataLength = 4072;
}  // namespace owsp

// ---- Shared sub-records ------------------------------------------------

struct _OWSP_DateTime {
    uint32_t m_microsecond = 0;
    uint32_t m_year = 0;
    uint32_t m_month = 0;
    uint32_t m_day = 0;
    uint32_t m_hour = 0;
    uint32_t m_minute = 0;
    uint32_t m_second = 0;
    static constexpr size_t kSize = 28;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.m_microsecond);
        io.u32(s.m_year);
        io.u32(s.m_month);
        io.u32(s.m_day);
        io.u32(s.m_hour);
        io.u32(s.m_minute);
        io.u32(s.m_second);
    }
};

struct _OWSP_Date {
    uint16_t m_year = 0;
    uint8_t m_month = 0;
    uint8_t m_day = 0;
    static constexpr size_t kSize = 4;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u16(s.m_year);
        io.u8(s.m_month);
        io.u8(s.m_day);
    }
};

struct _OWSP_VideoDataFormat {
    uint32_t codecId = 0;
    uint32_t bitrate = 0;
    uint16_t width = 0;   // in stream-format replies: picture width
    uint16_t height = 0;  // picture height
    uint8_t framerate = 0;  // frames per second
    uint8_t colorDepth = 0;
    uint8_t frameInterval = 0;
    uint8_t reserve = 0;
    static constexpr size_t kSize = 16;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.codecId);
        io.u32(s.bitrate);
        io.u16(s.width);
        io.u16(s.height);
        io.u8(s.framerate);
        io.u8(s.colorDepth);
        io.u8(s.frameInterval);
        io.u8(s.reserve);
    }
};

struct _OWSP_AudioDataFormat {
    uint32_t samplesPerSecond = 0;
    uint32_t bitrate = 0;
    uint16_t waveFormat = 0;  // wave-format code
    uint16_t channelNumber = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t frameInterval = 0;
    uint16_t reserve = 0;
    static constexpr size_t kSize = 20;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.samplesPerSecond);
        io.u32(s.bitrate);
        io.u16(s.waveFormat);
        io.u16(s.channelNumber);
        io.u16(s.blockAlign);
        io.u16(s.bitsPerSample);
        io.u16(s.frameInterval);
        io.u16(s.reserve);
    }
};

struct _OWSP_AlarmAction {
    uint8_t action1 = 0;
    uint8_t action1Channel = 0;
    uint32_t action1Value = 0;  // offset 4
    uint8_t action2 = 0;
    uint8_t action2Channel = 0;
    uint32_t action2Value = 0;  // offset 12
    uint32_t action3Value = 0;  // offset 16
    std::array<uint8_t, 4> reserve{};
    static constexpr size_t kSize = 24;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u8(s.action1);
        io.u8(s.action1Channel);
        io.pad(2);
        io.u32(s.action1Value);
        io.u8(s.action2);
        io.u8(s.action2Channel);
        io.pad(2);
        io.u32(s.action2Value);
        io.u32(s.action3Value);
        io.raw(s.reserve);
    }
};

// Pan/tilt/zoom argument.
struct _ControlArgData {
    std::array<uint32_t, 4> words{};
    static constexpr size_t kSize = 16;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        for (auto& w : s.words) io.u32(w);
    }
};

// ---- Login and version -------------------------------------------------

struct _TLV_V_VersionInfo {
    uint16_t versionMajor = 0;
    uint16_t versionMinor = 0;
    static constexpr size_t kSize = 4;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u16(s.versionMajor);
        io.u16(s.versionMinor);
    }
};

struct _TLV_V_LoginRequest {
    owsp::FixedText<32> userName;
    owsp::FixedText<16> password;
    uint32_t deviceId = 0;
    uint8_t flag = 0;
    uint8_t channel = 0;
    static constexpr size_t kSize = 56;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.text(s.userName);
        io.text(s.password);
        io.u32(s.deviceId);
        io.u8(s.flag);
        io.u8(s.channel);
        io.pad(2);
    }
};

// Packed: the 32-bit fields at 49 and 53 are unaligned on the wire.
struct _TLV_V_LoginRequestExtend {
    uint8_t encryptType = 0;   // 0
    owsp::FixedText<32> userName;  // 1
    owsp::FixedText<16> password;  // 33
    uint32_t deviceId = 0;     // 49
    uint32_t loginFlag = 2;    // 53
    uint32_t channelMask = 0;  // 60 (57-59 zero)
    uint8_t mode = 0;          // 64: stream type or session mode
    uint8_t type = 0;          // 65
    static constexpr size_t kSize = 68;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u8(s.encryptType);
        io.text(s.userName);
        io.text(s.password);
        io.u32(s.deviceId);
        io.u32(s.loginFlag);
        io.pad(3);
        io.u32(s.channelMask);
        io.u8(s.mode);
        io.u8(s.type);
        io.pad(2);
    }
};

struct _TLV_V_LoginResponse {
    uint16_t result = 0;  // 1: logged in
    uint16_t reserve = 0;
    static constexpr size_t kSize = 4;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u16(s.result);
        io.u16(s.reserve);
    }
};

struct _TLV_V_SwitchChannelResponse {
    uint16_t result = 0;
    uint8_t reserve1 = 0;
    uint8_t reserve2 = 0;
    static constexpr size_t kSize = 4;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u16(s.result);
        io.u8(s.reserve1);
        io.u8(s.reserve2);
    }
};

struct _TLV_V_DeviceInfo {
    owsp::FixedText<16> companyIdentity;
    owsp::FixedText<16> productIdentity;
    owsp::FixedText<16> deviceName;
    owsp::FixedText<16> softwareVersion;
    _OWSP_Date manufactureDate;
    uint8_t channelNumber = 0;
    std::array<uint8_t, 5> reserve{};
    static constexpr size_t kSize = 74;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.text(s.companyIdentity);
        io.text(s.productIdentity);
        io.text(s.deviceName);
        io.text(s.softwareVersion);
        io.record(s.manufactureDate);
        io.u8(s.channelNumber);
        io.raw(s.reserve);
    }
};

// ---- Media -------------------------------------------------------------

struct _TLV_V_AudioInfo {
    uint8_t channelId = 0;
    uint8_t reserve = 0;
    uint16_t reserve2 = 0;
    uint32_t time = 0;
    static constexpr size_t kSize = 8;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u8(s.channelId);
        io.u8(s.reserve);
        io.u16(s.reserve2);
        io.u32(s.time);
    }
};

struct _TLV_V_VideoFrameInfo {
    uint8_t channelId = 0;
    uint8_t reserve = 0;
    uint16_t reserve2 = 0;
    uint32_t frameIndex = 0;
    uint32_t time = 0;
    static constexpr size_t kSize = 12;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u8(s.channelId);
        io.u8(s.reserve);
        io.u16(s.reserve2);
        io.u32(s.frameIndex);
        io.u32(s.time);
    }
};

struct _TLV_V_VideoFrameInfoEx {
    uint8_t channelId = 0;
    uint8_t reserve = 0;
    uint16_t reserve2 = 0;
    uint32_t frameIndex = 0;
    uint32_t time = 0;
    uint32_t frameLength = 0;  // total bytes of the frame's data records
    static constexpr size_t kSize = 16;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u8(s.channelId);
        io.u8(s.reserve);
        io.u16(s.reserve2);
        io.u32(s.frameIndex);
        io.u32(s.time);
        io.u32(s.frameLength);
    }
};

struct _TLV_V_StreamDataFormat {
    uint8_t videoChannel = 0;
    uint8_t audioChannel = 0;
    uint8_t dataType = 0;  // 1 or 2: the stream carries audio
    uint8_t reserve = 0;
    _OWSP_VideoDataFormat videoFormat;
    _OWSP_AudioDataFormat audioFormat;
    static constexpr size_t kSize = 40;
    bool hasAudio() const { return dataType == 1 || dataType == 2; }
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u8(s.videoChannel);
        io.u8(s.audioChannel);
        io.u8(s.dataType);
        io.u8(s.reserve);
        io.record(s.videoFormat);
        io.record(s.audioFormat);
    }
};

// ---- Pan/tilt/zoom and talk ----------------------------------------------

struct _TLV_V_PTZControlRequest {
    uint32_t reserve = 0;  // sent as 0
    uint8_t channel = 0;
    uint8_t cmdCode = 0;
    uint16_t size = 0;  // sent as the true argument length
    static constexpr size_t kSize = 8;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.reserve);
        io.u8(s.channel);
        io.u8(s.cmdCode);
        io.u16(s.size);
    }
};

struct _TLV_V_TalkRequest {
    uint8_t action = 0;  // 1 start, 2 stop
    uint32_t deviceId = 0;
    static constexpr size_t kSize = 8;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u8(s.action);
        io.pad(3);
        io.u32(s.deviceId);
    }
};

struct _TLV_V_TalkResponse {
    uint16_t result = 0;  // 1: talk granted
    _OWSP_AudioDataFormat audioFormat;  // what the device expects for talk audio
    uint16_t reserve = 0;
    static constexpr size_t kSize = 28;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u16(s.result);
        io.pad(2);
        io.record(s.audioFormat);
        io.u16(s.reserve);
        io.pad(2);
    }
};

// ---- Recordings on the device ------------------------------------------

struct _TLV_V_SearchFileRequest {
    uint32_t reserve = 0;
    uint32_t channelMask = 0;
    _OWSP_DateTime startTime;
    _OWSP_DateTime endTime;
    uint32_t fileType = 0;
    uint32_t count = 0;
    uint32_t step = 0;
    uint32_t reserve2 = 0;
    static constexpr size_t kSize = 80;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.reserve);
        io.u32(s.channelMask);
        io.record(s.startTime);
        io.record(s.endTime);
        io.u32(s.fileType);
        io.u32(s.count);
        io.u32(s.step);
        io.u32(s.reserve2);
    }
};

struct _TLV_V_SearchFileResponse {
    uint8_t result = 0;
    uint8_t count = 0;
    uint8_t reserve = 0;
    static constexpr size_t kSize = 3;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u8(s.result);
        io.u8(s.count);
        io.u8(s.reserve);
    }
};

struct _TLV_V_FileInfo {
    owsp::FixedText<260> fileName;
    std::array<uint32_t, 3> values{};
    _OWSP_DateTime startTime;  // offset 272
    _OWSP_DateTime endTime;    // offset 300
    uint8_t value1 = 0;        // offset 328
    uint8_t value2 = 0;
    std::array<uint8_t, 2> reserve{};
    static constexpr size_t kSize = 332;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.text(s.fileName);
        for (auto& v : s.values) io.u32(v);
        io.record(s.startTime);
        io.record(s.endTime);
        io.u8(s.value1);
        io.u8(s.value2);
        io.raw(s.reserve);
    }
};

struct _TLV_V_PlayRecordRequest {
    uint32_t reserve = 0;
    owsp::FixedText<260> fileName;  // offset 4
    _OWSP_DateTime startTime;  // offset 264
    std::array<uint8_t, 3> flags{};   // offsets 292-294; the session sends 1, 1, 1
    std::array<uint8_t, 2> extra{};   // offsets 295-296; 297-299 zero
    static constexpr size_t kSize = 300;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.reserve);
        io.text(s.fileName);
        io.record(s.startTime);
        io.raw(s.flags);
        io.raw(s.extra);
        io.pad(3);
    }
};

struct _TLV_V_DownloadRequest {
    uint32_t reserve = 0;
    owsp::FixedText<264> fileName;
    uint32_t offset = 0;
    static constexpr size_t kSize = 272;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.reserve);
        io.text(s.fileName);
        io.u32(s.offset);
    }
};

// ---- Configuration -------------------------------------------------------
// Every record that concerns one channel has its channel byte at offset 4.

struct _TLV_V_ConfigResponse {
    uint16_t result = 0;
    uint16_t reserve = 0;
    static constexpr size_t kSize = 4;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u16(s.result);
        io.u16(s.reserve);
    }
};

struct _TLV_V_CameraColor {
    uint32_t reserve = 0;
    uint8_t channel = 0;
    std::array<uint8_t, 5> colors{};
    std::array<uint8_t, 2> reserve2{};
    static constexpr size_t kSize = 12;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.reserve);
        io.u8(s.channel);
        io.raw(s.colors);
        io.raw(s.reserve2);
    }
};

struct _TLV_V_MotionDetect {
    uint32_t reserve = 0;
    uint8_t channel = 0;
    std::array<uint8_t, 3> settings{};
    std::array<std::array<uint32_t, 36>, 32> area{};
    _OWSP_AlarmAction action;
    static constexpr size_t kSize = 4640;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.reserve);
        io.u8(s.channel);
        io.raw(s.settings);
        for (auto& row : s.area)
            for (auto& v : row) io.u32(v);
        io.record(s.action);
    }
};

// Layout shared by the cover (hide), video-loss and sensor alarm records.
struct _TLV_V_HideDetect {
    uint32_t reserve = 0;
    uint8_t channel = 0;
    std::array<uint8_t, 3> settings{};
    _OWSP_AlarmAction action;
    static constexpr size_t kSize = 32;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.reserve);
        io.u8(s.channel);
        io.raw(s.settings);
        io.record(s.action);
    }
};
using _TLV_V_LossDetect = _TLV_V_HideDetect;
using _TLV_V_Sensor = _TLV_V_HideDetect;

struct _TLV_V_Record {
    uint32_t reserve = 0;
    uint8_t channel = 0;
    std::array<uint8_t, 3> settings{};
    std::array<std::array<uint8_t, 24>, 7> schedule{};  // 7 days of 24 hours
    std::array<uint8_t, 4> extra{};
    static constexpr size_t kSize = 180;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.reserve);
        io.u8(s.channel);
        io.raw(s.settings);
        for (auto& day : s.schedule) io.raw(day);
        io.raw(s.extra);
    }
};

struct _TLV_V_VideoEncode {
    uint32_t reserve = 0;
    uint8_t channel = 0;
    std::array<uint8_t, 3> settings{};
    _OWSP_VideoDataFormat format;
    static constexpr size_t kSize = 24;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.reserve);
        io.u8(s.channel);
        io.raw(s.settings);
        io.record(s.format);
    }
};

struct _TLV_V_AudioEncode {
    uint32_t reserve = 0;
    uint8_t channel = 0;
    std::array<uint8_t, 3> settings{};
    _OWSP_AudioDataFormat format;
    static constexpr size_t kSize = 28;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.reserve);
        io.u8(s.channel);
        io.raw(s.settings);
        io.record(s.format);
    }
};

struct _TLV_V_Network {
    uint32_t reserve = 0;
    std::array<uint8_t, 4> flags{};
    owsp::FixedText<32> name;
    std::array<std::array<uint8_t, 4>, 4> addresses{};
    std::array<uint16_t, 4> ports{};
    std::array<uint8_t, 6> hardwareAddress{};
    std::array<uint8_t, 2> extra{};
    static constexpr size_t kSize = 72;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.reserve);
        io.raw(s.flags);
        io.text(s.name);
        for (auto& a : s.addresses) io.raw(a);
        for (auto& p : s.ports) io.u16(p);
        io.raw(s.hardwareAddress);
        io.raw(s.extra);
    }
};

struct _TLV_V_Email {
    uint32_t reserve = 0;
    uint8_t value1 = 0;
    uint8_t value2 = 0;
    uint16_t port = 0;
    std::array<std::array<uint8_t, 256>, 4> fields{};
    static constexpr size_t kSize = 1032;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.reserve);
        io.u8(s.value1);
        io.u8(s.value2);
        io.u16(s.port);
        for (auto& f : s.fields) io.raw(f);
    }
};

struct _TLV_V_System {
    uint32_t reserve = 0;
    owsp::FixedText<32> name;
    std::array<uint8_t, 5> settings{};
    std::array<uint8_t, 3> extra{};
    static constexpr size_t kSize = 44;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.reserve);
        io.text(s.name);
        io.raw(s.settings);
        io.raw(s.extra);
    }
};

struct _TLV_V_AlarmControl {
    uint32_t reserve = 0;
    std::array<uint8_t, 4> values{};
    static constexpr size_t kSize = 8;
    template <class IO, class S> static constexpr void wire(IO& io, S& s) {
        io.u32(s.reserve);
        io.raw(s.values);
    }
};

// ---- Sizes, pinned -------------------------------------------------------

#define LUMORA_OWSP_PIN_SIZE(R, bytes)                                              \
    static_assert(R::kSize == (bytes), #R " has the wrong declared size");          \
    static_assert(owsp::wireSize<R>() == R::kSize, #R " layout does not add up")

LUMORA_OWSP_PIN_SIZE(_OWSP_DateTime, 28);
LUMORA_OWSP_PIN_SIZE(_OWSP_Date, 4);
LUMORA_OWSP_PIN_SIZE(_OWSP_VideoDataFormat, 16);
LUMORA_OWSP_PIN_SIZE(_OWSP_AudioDataFormat, 20);
LUMORA_OWSP_PIN_SIZE(_OWSP_AlarmAction, 24);
LUMORA_OWSP_PIN_SIZE(_ControlArgData, 16);
LUMORA_OWSP_PIN_SIZE(_TLV_V_VersionInfo, 4);
LUMORA_OWSP_PIN_SIZE(_TLV_V_LoginRequest, 56);
LUMORA_OWSP_PIN_SIZE(_TLV_V_LoginRequestExtend, 68);
LUMORA_OWSP_PIN_SIZE(_TLV_V_LoginResponse, 4);
LUMORA_OWSP_PIN_SIZE(_TLV_V_SwitchChannelResponse, 4);
LUMORA_OWSP_PIN_SIZE(_TLV_V_DeviceInfo, 74);
LUMORA_OWSP_PIN_SIZE(_TLV_V_AudioInfo, 8);
LUMORA_OWSP_PIN_SIZE(_TLV_V_VideoFrameInfo, 12);
LUMORA_OWSP_PIN_SIZE(_TLV_V_VideoFrameInfoEx, 16);
LUMORA_OWSP_PIN_SIZE(_TLV_V_StreamDataFormat, 40);
LUMORA_OWSP_PIN_SIZE(_TLV_V_PTZControlRequest, 8);
LUMORA_OWSP_PIN_SIZE(_TLV_V_TalkRequest, 8);
LUMORA_OWSP_PIN_SIZE(_TLV_V_TalkResponse, 28);
LUMORA_OWSP_PIN_SIZE(_TLV_V_SearchFileRequest, 80);
LUMORA_OWSP_PIN_SIZE(_TLV_V_SearchFileResponse, 3);
LUMORA_OWSP_PIN_SIZE(_TLV_V_FileInfo, 332);
LUMORA_OWSP_PIN_SIZE(_TLV_V_PlayRecordRequest, 300);
LUMORA_OWSP_PIN_SIZE(_TLV_V_DownloadRequest, 272);
LUMORA_OWSP_PIN_SIZE(_TLV_V_ConfigResponse, 4);
LUMORA_OWSP_PIN_SIZE(_TLV_V_CameraColor, 12);
LUMORA_OWSP_PIN_SIZE(_TLV_V_MotionDetect, 4640);
LUMORA_OWSP_PIN_SIZE(_TLV_V_HideDetect, 32);
LUMORA_OWSP_PIN_SIZE(_TLV_V_Record, 180);
LUMORA_OWSP_PIN_SIZE(_TLV_V_VideoEncode, 24);
LUMORA_OWSP_PIN_SIZE(_TLV_V_AudioEncode, 28);
LUMORA_OWSP_PIN_SIZE(_TLV_V_Network, 72);
LUMORA_OWSP_PIN_SIZE(_TLV_V_Email, 1032);
LUMORA_OWSP_PIN_SIZE(_TLV_V_System, 44);
LUMORA_OWSP_PIN_SIZE(_TLV_V_AlarmControl, 8);

#undef LUMORA_OWSP_PIN_SIZE

// Offsets the devices rely on where the layout is packed or padded.
static_assert(owsp::wireOffset(&_TLV_V_LoginRequestExtend::userName) == 1);
static_assert(owsp::wireOffset(&_TLV_V_LoginRequestExtend::password) == 33);
static_assert(owsp::wireOffset(&_TLV_V_LoginRequestExtend::deviceId) == 49);
static_assert(owsp::wireOffset(&_TLV_V_LoginRequestExtend::loginFlag) == 53);
static_assert(owsp::wireOffset(&_TLV_V_LoginRequestExtend::channelMask) == 60);
static_assert(owsp::wireOffset(&_TLV_V_LoginRequestExtend::mode) == 64);
static_assert(owsp::wireOffset(&_TLV_V_LoginRequestExtend::type) == 65);
static_assert(owsp::wireOffset(&_TLV_V_LoginRequest::deviceId) == 48);
static_assert(owsp::wireOffset(&_TLV_V_LoginRequest::channel) == 53);
static_assert(owsp::wireOffset(&_TLV_V_PlayRecordRequest::fileName) == 4);
static_assert(owsp::wireOffset(&_TLV_V_PlayRecordRequest::startTime) == 264);
static_assert(owsp::wireOffset(&_TLV_V_PlayRecordRequest::flags) == 292);
static_assert(owsp::wireOffset(&_TLV_V_PlayRecordRequest::extra) == 295);
static_assert(owsp::wireOffset(&_TLV_V_TalkResponse::audioFormat) == 4);
static_assert(owsp::wireOffset(&_TLV_V_TalkResponse::reserve) == 24);
static_assert(owsp::wireOffset(&_TLV_V_FileInfo::startTime) == 272);
static_assert(owsp::wireOffset(&_TLV_V_FileInfo::endTime) == 300);
static_assert(owsp::wireOffset(&_TLV_V_FileInfo::value1) == 328);
static_assert(owsp::wireOffset(&_OWSP_AlarmAction::action1Value) == 4);
static_assert(owsp::wireOffset(&_OWSP_AlarmAction::action2Value) == 12);
static_assert(owsp::wireOffset(&_TLV_V_MotionDetect::action) == 4616);
static_assert(owsp::wireOffset(&_TLV_V_Record::extra) == 176);
static_assert(owsp::wireOffset(&_TLV_V_Network::ports) == 56);
static_assert(owsp::wireOffset(&_TLV_V_DeviceInfo::manufactureDate) == 64);
static_assert(owsp::wireOffset(&_TLV_V_DeviceInfo::channelNumber) == 68);
static_assert(owsp::wireOffset(&_TLV_V_StreamDataFormat::audioFormat) == 20);
static_assert(owsp::wireOffset(&_TLV_V_CameraColor::channel) == 4);
static_assert(owsp::wireOffset(&_TLV_V_MotionDetect::channel) == 4);
static_assert(owsp::wireOffset(&_TLV_V_HideDetect::channel) == 4);
static_assert(owsp::wireOffset(&_TLV_V_Record::channel) == 4);
static_assert(owsp::wireOffset(&_TLV_V_VideoEncode::channel) == 4);
static_assert(owsp::wireOffset(&_TLV_V_AudioEncode::channel) == 4);

}  // namespace lumora
