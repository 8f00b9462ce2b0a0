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

// TCP look-up requests (client -> server) and their answers.
inline constexpr uint16_t kOpenRequest = 0xA017;       // 36 bytes
inline constexpr uint16_t kFailedTcpRequest = 0xA019;  // 40 bytes
inline constexpr uint16_t kFailedUdtRequest = 0xA013;  // 40 bytes
inline constexpr uint16_t kStatusRequest = 0xA005;     // 36 bytes
inline constexpr uint16_t kCloseRequest = 0xA003;      // 40 bytes, length field 72
inline constexpr uint16_t kOpenAnswer = 0xA002;        // 84 bytes
inline constexpr uint16_t kStatusAnswer = 0xA006;      // 40 bytes
inline constexpr uint16_t kCloseAnswer = 0xA004;       // 40 bytes
// LAN search (UDP).
inline constexpr uint16_t kSearchQuery = 0xA007;       // 36 bytes
inline constexpr uint16_t kSearchAnswer = 0xA008;      // 72 bytes

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

// The whole size of a TCP request of this type (the length field of 0xA003
// does not tell it); 0 for a type the server does not take over TCP.
size_t tcpRequestSize(uint16_t type);

// 0xA002: where the device is and how to reach it.
struct OpenAnswer {
    uint32_t result = 0;  // 0: known here
    uint32_t mode = 0;
    std::string uid;
    std::string addr;
    uint32_t connectionId = 0;
    uint16_t port = 0;
};
std::vector<uint8_t> encodeOpenAnswer(const OpenAnswer& a);
std::vector<uint8_t> encodeStatusAnswer(const std::string& uid, uint8_t status);
std::vector<uint8_t> encodeCloseAnswer(const std::string& uid, uint32_t connectionId);

// 0xA008: a device's LAN search answer.
struct SearchAnswer {
    std::string uid;
    uint16_t udtPort = 0;  // 0 or 0xFFFF: no UDT
    uint16_t tcpPort = 0;
    std::string addr;
};
std::vector<uint8_t> encodeSearchAnswer(const SearchAnswer& a);

}  // namespace lumora::relayemu
