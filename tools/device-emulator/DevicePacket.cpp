#include "tools/device-emulator/DevicePacket.h"

#include <algorithm>

namespace lumora::devemu {

namespace wire {

void putU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v & 0xFF));
    out.push_back(uint8_t(v >> 8));
}

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t((v >> (8 * i)) & 0xFF));
}

uint16_t getU16(std::span<const uint8_t> b, size_t at) {
    if (at + 2 > b.size()) return 0;
    return uint16_t(b[at] | (b[at + 1] << 8));
}

uint32_t getU32(std::span<const uint8_t> b, size_t at) {
    if (at + 4 > b.size()) return 0;
    return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}

void putText(std::vector<uint8_t>& out, const std::string& text, size_t width) {
    size_t n = std::min(text.size(), width);
    out.insert(out.end(), text.begin(), text.begin() + static_cast<long>(n));
    out.insert(out.end(), width - n, 0);
}

std::string readText(std::span<const uint8_t> field) {
    auto end = std::find(field.begin(), field.end(), uint8_t(0));
    return std::string(field.begin(), end);
}

PacketWriter::PacketWriter(uint32_t sequence) {
    bytes_.assign(4, 0);
    putU32(bytes_, sequence);
}

PacketWriter& PacketWriter::record(uint16_t type, std::span<const uint8_t> body) {
    return recordWithLength(type, static_cast<uint16_t>(body.size() & 0xFFFF), body);
}

PacketWriter& PacketWriter::recordWithLength(uint16_t type, uint16_t lengthField, std::span<const uint8_t> body) {
    putU16(bytes_, type);
    putU16(bytes_, lengthField);
    bytes_.insert(bytes_.end(), body.begin(), body.end());
    return *this;
}

std::vector<uint8_t> PacketWriter::finish() {
    uint32_t len = static_cast<uint32_t>(bytes_.size() - 4);
    bytes_[0] = uint8_t(len >> 24);
    bytes_[1] = uint8_t(len >> 16);
    bytes_[2] = uint8_t(len >> 8);
    bytes_[3] = uint8_t(len);
    return std::move(bytes_);
}

bool splitRecords(std::span<const uint8_t> packet, uint32_t& sequence, std::vector<Record>& records) {
    records.clear();
    if (packet.size() < kPacketHeader) return false;
    sequence = getU32(packet, 4);
    size_t at = kPacketHeader;
    while (packet.size() - at >= kRecordHeader) {
        Record r;
        r.type = getU16(packet, at);
        r.length = getU16(packet, at + 2);
        if (packet.size() - at - kRecordHeader < r.length) return false;
        r.body = packet.subspan(at + kRecordHeader, r.length);
        records.push_back(r);
        at += kRecordHeader + r.length;
    }
    return at == packet.size();
}

}  // namespace wire

void RequestAssembler::append(const uint8_t* data, size_t n) {
    // Drop what was handed out before growing, so the buffer never holds more
    // than one partial packet plus the new chunk.
    if (start_ > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + n);
}

RequestAssembler::Result RequestAssembler::next(std::vector<uint8_t>& packet) {
    size_t have = buffer_.size() - start_;
    if (have < 4) return Result::NeedMore;
    const uint8_t* p = buffer_.data() + start_;
    uint32_t len = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
    lastLength_ = len;
    if (len > wire::kMaxPacketLength) return Result::TooLong;
    if (len < 4) return Result::TooShort;
    if (have < size_t(len) + 4) return Result::NeedMore;
    packet.assign(p, p + len + 4);
    start_ += len + 4;
    return Result::Packet;
}

}  // namespace lumora::devemu
