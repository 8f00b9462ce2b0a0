#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumora {

// The 32-byte device id of the relay/look-up protocol: the UID as ASCII,
// zero-filled (a 32-character UID has no terminator inside the field).
using RkDeviceId = std::array<uint8_t, 32>;

// Message types and sizes of the relay/look-up server and LAN search
// protocol. Every message starts with u16 type and u16 length field, both
// little-endian, as is every other multi-byte field.
namespace rk {
inline constexpr size_t kHeaderSize = 4;
inline constexpr size_t kDeviceIdSize = 32;

// Requests.
inline constexpr uint16_t kOpenVSConnectionRequest = 0xA017;        // 36 bytes
inline constexpr uint16_t kFailedUPNPVSConnectionRequest = 0xA019;  // 40 bytes
inline constexpr uint16_t kFailedUDTVSConnectionRequest = 0xA013;   // 40 bytes
inline constexpr uint16_t kQueryVSStatusRequest = 0xA005;           // 36 bytes
inline constexpr uint16_t kCloseVSConnectionRequest = 0xA003;       // 40 bytes, length field 72
inline constexpr uint16_t kSearchDeviceRequest = 0xA007;            // 36 bytes
inline constexpr uint16_t kUDPLoginRequest = 0x2001;                // 4 bytes
inline constexpr uint16_t kQueryUDTAddrRequest = 0x2002;            // 44 bytes, length field 36
inline constexpr uint16_t kUdpGetTermAddrRequest = 0x2010;          // 36 bytes
inline constexpr uint16_t kUdpHoleConnectionRequest = 0x3001;       // 76 bytes
inline constexpr uint16_t kUdpHolePunch = 0x1008;                   // 36 bytes (also a reply)

// Replies.
inline constexpr uint16_t kOpenVSConnectionResponse = 0xA002;     // 84 bytes
inline constexpr uint16_t kOpenVSConnectionResponseExt = 0xA01E;  // 152 bytes
inline constexpr uint16_t kCloseVSConnectionResponse = 0xA004;    // 40 bytes
inline constexpr uint16_t kQueryVSStatusResponse = 0xA006;        // 40 bytes
inline constexpr uint16_t kSearchDeviceResponse = 0xA008;         // 72 bytes
inline constexpr uint16_t kQueryUDTAddrResponse = 0x2003;         // 76 bytes
inline constexpr uint16_t kUdpGetTermAddrResponse = 0x2011;       // 92 bytes
inline constexpr uint16_t kServerNotice = 0x3002;                 // header only

// Width of a dotted address text inside the hole-punching messages.
inline constexpr size_t kShortAddressSize = 16;
// Width of an address text inside the look-up and search replies.
inline constexpr size_t kLongAddressSize = 32;
}  // namespace rk

// Writes the requests of the relay/look-up protocol, byte for byte. No state;
// every operation answers a new byte string. Address texts longer than their
// field are cut so that a terminator always fits.
class RkMessageBuilder {
public:
    // The device id for a UID: each ASCII character as it is, each non-ASCII
    // character (one UTF-8 sequence, or one byte that is not valid UTF-8) as
    // "?", zero-filled or cut to 32 bytes. Never fails.
    static RkDeviceId deviceIdForUid(std::string_view uid);
    // The device id as the status query carries it: the UID's UTF-8 bytes
    // as they are, zero-filled or cut to 32 bytes, so a UID with non-ASCII
    // characters is matched again in the answer.
    static RkDeviceId deviceIdBytes(std::string_view uid);

    static std::vector<uint8_t> buildMsgForOpenVSConnectionRequest(const RkDeviceId& deviceId);
    static std::vector<uint8_t> buildMsgForFailedUPNPVSConnectionRequest(const RkDeviceId& deviceId);
    static std::vector<uint8_t> buildMsgForFailedUDTVSConnectionRequest(const RkDeviceId& deviceId);
    static std::vector<uint8_t> buildMsgForQueryVSStatusRequest(const RkDeviceId& deviceId);
    // The servers expect 72 in this 40-byte message's length field.
    static std::vector<uint8_t> buildMsgForCloseVSConnectionRequest(const RkDeviceId& deviceId,
                                                                    uint32_t connectionId);
    static std::vector<uint8_t> buildMsgForSearchDeviceRequest(const RkDeviceId& deviceId);
    static std::vector<uint8_t> buildMsgForUDPLoginRequest();
    // 44 bytes carrying 36 in the length field.
    static std::vector<uint8_t> buildMsgForQueryUDTAddrRequest(const RkDeviceId& deviceId, uint32_t connectionId);
    static std::vector<uint8_t> buildMsgForCUdpGetTermAddrConnectionRequest(const RkDeviceId& deviceId);
    // Asks the server to have the device punch towards us: destination is the
    // device's external address, source ours as the server saw it.
    static std::vector<uint8_t> buildMsgForCUdpHoleConnectionRequest(std::string_view dstAddr, uint16_t dstPort,
                                                                     std::string_view srcAddr, uint16_t srcPort,
                                                                     const RkDeviceId& deviceId);
    // The punch datagram sent straight to the peer.
    static std::vector<uint8_t> buildMsgForUdpHolePunch(const RkDeviceId& deviceId);
};

}  // namespace lumora
