#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace lumora::devemu {

// The device's side of the message framing: a packet is a 4-byte big-endian
// length (of everything after it), a 4-byte little-endian sequence number and
// records of 2-byte little-endian type, 2-byte little-endian body length and
// body. Written from the wire tables on purpose without the client's builder
// or parser, so that a mistake made in both cannot hide.
namespace wire {

// Largest packet length field either side accepts.
inline constexpr uint32_t kMaxPacketLength = 204800;
// Packet header: length field and sequence number.
inline constexpr size_t kPacketHeader = 8;
inline constexpr size_t kRecordHeader = 4;
// Largest key frame a packet can carry: the packet length field counts the
// sequence number, the 12-byte frame information record and the key-frame
// record's header besides the data.
inline constexpr long kMaxKeyFrameBytes = long(kMaxPacketLength) - 4 - (4 + 12) - 4;

// Record types the device reads or writes.
inline constexpr uint16_t kVersionInfo = 40;       // request and reply (39 also as reply)
inline constexpr uint16_t kLoginRequest = 41;
inline constexpr uint16_t kLoginResponse = 42;
inline constexpr uint16_t kHeartbeat = 49;
inline constexpr uint16_t kPtzControl = 51;
inline constexpr uint16_t kAudioInfo = 97;
inline constexpr uint16_t kAudioData = 98;
inline constexpr uint16_t kVideoInfo = 99;
inline constexpr uint16_t kKeyFrameData = 100;
inline constexpr uint16_t kVideoInfoEx = 101;      // main version 3; non-key data at version 5
inline constexpr uint16_t kNonKeyFrameData = 102;
inline constexpr uint16_t kTalkRequest = 331;
inline constexpr uint16_t kTalkResponse = 332;
inline constexpr uint16_t kConfigSetResponse = 312;
inline constexpr uint16_t kSearchRequest = 333;
inline constexpr uint16_t kSearchResponse = 334;
inline constexpr uint16_t kFileInfo = 335;

// Login results the device gives.
inline constexpr int kLoginAccepted = 1;
inline constexpr int kLoginNoSuchChannel = 24;
inline constexpr uint16_t kPlayRecordRequest = 336;
inline constexpr uint16_t kRecordEnd = 354;

// Body sizes.
inline constexpr size_t kLoginRequestSize = 56;
inline constexpr size_t kLoginRequestExtendSize = 68;
inline constexpr size_t kDeviceInfoSize = 74;
inline constexpr size_t kStreamFormatSize = 40;
inline constexpr size_t kTalkResponseSize = 28;
inline constexpr size_t kFileInfoSize = 332;
inline constexpr size_t kVideoInfoSize = 12;
inline constexpr size_t kVideoInfoExSize = 16;
inline constexpr size_t kAudioInfoSize = 8;
inline constexpr size_t kSearchRequestSize = 80;
inline constexpr size_t kSearchResponseSize = 3;
inline constexpr size_t kDateTimeSize = 28;

// Wave-format code of G.711 A-law.
inline constexpr uint16_t kWaveAlaw = 0x7A19;

struct Record {
    uint16_t type = 0;
    uint16_t length = 0;  // as written in the record header
    std::span<const uint8_t> body;
};

// Builds one packet record by record; the length field is filled in by finish().
class PacketWriter {
public:
    explicit PacketWriter(uint32_t sequence);
    PacketWriter& record(uint16_t type, std::span<const uint8_t> body);
    // A record whose header says lengthField but whose body is all of body
    // (the long key-frame record).
    PacketWriter& recordWithLength(uint16_t type, uint16_t lengthField, std::span<const uint8_t> body);
    std::vector<uint8_t> finish();

private:
    std::vector<uint8_t> bytes_;
};

// Splits a whole packet (header included) into its records. Answers false
// when the packet is shorter than its header or a record runs past its end;
// the records before that are still given.
bool splitRecords(std::span<const uint8_t> packet, uint32_t& sequence, std::vector<Record>& records);

// A fixed-width text field: the text's bytes cut at width, zero-filled.
void putText(std::vector<uint8_t>& out, const std::string& text, size_t width);
// The text of a fixed-width field: its bytes up to the first zero.
std::string readText(std::span<const uint8_t> field);

void putU16(std::vector<uint8_t>& out, uint16_t v);
void putU32(std::vector<uint8_t>& out, uint32_t v);
uint16_t getU16(std::span<const uint8_t> b, size_t at);
uint32_t getU32(std::span<const uint8_t> b, size_t at);

}  // namespace wire

// Gathers received bytes into whole request packets.
class RequestAssembler {
public:
    enum class Result {
        Packet,    // packet holds one whole packet, header included
        NeedMore,  // wait for more bytes
        TooLong,   // the length field is over kMaxPacketLength: the link is unusable
        TooShort,  // the length field cannot even hold the sequence number
    };
    void append(const uint8_t* data, size_t n);
    Result next(std::vector<uint8_t>& packet);
    size_t buffered() const { return buffer_.size() - start_; }
    uint32_t lastLength() const { return lastLength_; }

private:
    std::vector<uint8_t> buffer_;
    size_t start_ = 0;
    uint32_t lastLength_ = 0;
};

}  // namespace lumora::devemu
