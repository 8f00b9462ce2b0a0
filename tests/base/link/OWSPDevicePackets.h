#pragma once

// Writes packets as a device sends them, for tests, the parser's fuzz seeds
// and its benchmark. Header-only; uses the same record layouts as the
// client.

#include <cstdint>
#include <span>
#include <vector>

#include "base/link/OWSPRecords.h"
#include "platform/bytes/ByteWriter.h"

namespace lumora::testing {

class DevicePacket {
public:
    explicit DevicePacket(uint32_t sequence = 0) {
        out_.u32be(0);
        out_.u32le(sequence);
    }
    template <class R>
    DevicePacket& record(uint16_t type, const R& body) {
        out_.u16le(type).u16le(static_cast<uint16_t>(R::kSize));
        owsp::encode(out_, body);
        return *this;
    }
    // A record of raw bytes; the length field holds the low 16 bits of the
    // size unless `field` says otherwise.
    DevicePacket& raw(uint16_t type, std::span<const uint8_t> body, int32_t field = -1) {
        out_.u16le(type).u16le(static_cast<uint16_t>(field >= 0 ? field : int32_t(body.size() & 0xFFFF)));
        out_.bytes(body.data(), body.size());
        return *this;
    }
    // Anything at all, e.g. a broken record header.
    DevicePacket& bytes(std::span<const uint8_t> b) {
        out_.bytes(b.data(), b.size());
        return *this;
    }
    std::vector<uint8_t> finish() {
        out_.putU32beAt(0, static_cast<uint32_t>(out_.size() - 4));
        return out_.take();
    }

private:
    ByteWriter out_;
};

inline _TLV_V_VersionInfo versionRecord(uint16_t major, uint16_t minor) {
    _TLV_V_VersionInfo v;
    v.versionMajor = major;
    v.versionMinor = minor;
    return v;
}

inline _TLV_V_VideoFrameInfo videoInfo(uint32_t index, uint32_t time = 0, uint8_t channel = 0) {
    _TLV_V_VideoFrameInfo v;
    v.channelId = channel;
    v.frameIndex = index;
    v.time = time;
    return v;
}

inline _TLV_V_VideoFrameInfoEx videoInfoEx(uint32_t index, uint32_t total, uint32_t time = 0, uint8_t channel = 0) {
    _TLV_V_VideoFrameInfoEx v;
    v.channelId = channel;
    v.frameIndex = index;
    v.time = time;
    v.frameLength = total;
    return v;
}

inline _TLV_V_AudioInfo audioInfo(uint32_t time, uint8_t channel = 0) {
    _TLV_V_AudioInfo a;
    a.channelId = channel;
    a.time = time;
    return a;
}

// Bytes 0, 1, 2 ... of a pattern that differs per `seed`.
inline std::vector<uint8_t> pattern(size_t n, uint8_t seed = 0) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + seed + (i >> 8));
    return b;
}

inline std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A video frame as a version-5 device sends it: frame information, then
// the whole frame in one data record (key data may exceed 65535 bytes).
inline std::vector<uint8_t> videoFramePacket(uint32_t index, const std::vector<uint8_t>& data, bool key,
                                             uint32_t time = 0, uint32_t sequence = 0) {
    return DevicePacket(sequence)
        .record(owsp::kTypeVideoFrameInfo, videoInfo(index, time))
        .raw(key ? owsp::kTypeVideoKeyData : owsp::kTypeVideoData, data)
        .finish();
}

inline std::vector<uint8_t> audioPacket(uint32_t time, const std::vector<uint8_t>& data, uint32_t sequence = 0) {
    return DevicePacket(sequence).record(owsp::kTypeAudioInfo, audioInfo(time)).raw(owsp::kTypeAudioData, data).finish();
}

}  // namespace lumora::testing
