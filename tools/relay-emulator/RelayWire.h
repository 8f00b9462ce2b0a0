#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The relay/look-up protocol as the server side sees it, written straight
// from the message tables (little-endian fields, 4-byte header of type and
// length field). Kept apart from the client's RkMessageBuilder and
// RkMessageParser so that a layout mistake on one side shows up in tests.
namespace lumora::relayemu {

inline constexpr uint16_t kTermAddrRequest = 0x2010;   // client -> server, 36 bytes
inline constexpr uint16_t kTermAddrAnswer = 0x2011;    // server -> client, 92 bytes
inline constexpr uint16_t kHoleRequest = 0x3001;       // client -> server -> device, 76 bytes
inline constexpr uint16_t kPunch = 0x1008;             // peer -> peer, 36 bytes
inline constexpr uint16_t kNotice = 0x3002;            // header only

uint16_t get16(const uint8_t* p);
void put16(uint8_t* p, uint16_t v);
// A text field of the given width: bytes up to the first zero, never beyond.
std::string getText(const uint8_t* p, size_t width);
// Writes at most width - 1 bytes of the text; the rest of the field is zero.
void putText(uint8_t* p, size_t width, const std::string& text);

// The message type of a datagram; false when it is shorter than a header.
bool messageType(const std::vector<uint8_t>& d, uint16_t& type);
// The device id field (bytes 4 to 35) as text; false for a short datagram.
bool deviceIdOf(const std::vector<uint8_t>& d, std::string& uid);

struct HoleRequest {
    std::string uid;
    std::string dstAddr;  // the device's external address
    std::string srcAddr;  // the client's address as the server saw it
    uint16_t dstPort = 0;
    uint16_t srcPort = 0;
};
bool decodeHoleRequest(const std::vector<uint8_t>& d, HoleRequest& out);

struct TermAddrAnswer {
    std::string uid;
    std::string selfAddr, extAddr, innerAddr;
    uint16_t selfPort = 0, extPort = 0, innerPort = 0;
};
std::vector<uint8_t> encodeTermAddrAnswer(const TermAddrAnswer& a);
std::vector<uint8_t> encodePunch(const std::string& uid);

}  // namespace lumora::relayemu
