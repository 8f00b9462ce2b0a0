#include "base/link/RkMessageBuilder.h"

#include <algorithm>

#include "platform/bytes/ByteWriter.h"

namespace lumora {

namespace {

// Header, then the device id: the shape most requests share.
ByteWriter withDeviceId(uint16_t type, uint16_t lengthField, const RkDeviceId& deviceId, size_t size) {
    ByteWriter w(size);
    w.u16le(type).u16le(lengthField).bytes(deviceId.data(), deviceId.size());
    return w;
}

std::vector<uint8_t> idOnly(uint16_t type, const RkDeviceId& deviceId) {
    return withDeviceId(type, rk::kDeviceIdSize, deviceId, 36).take();
}

std::vector<uint8_t> idAndReserved(uint16_t type, const RkDeviceId& deviceId) {
    ByteWriter w = withDeviceId(type, 36, deviceId, 40);
    w.zeros(4);
    return w.take();
}

// Length of the UTF-8 sequence a lead byte starts; 0 for a byte that cannot
// start one.
size_t sequenceLength(uint8_t lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

}  // namespace

RkDeviceId RkMessageBuilder::deviceIdForUid(std::string_view uid) {
    RkDeviceId id{};
    size_t out = 0;
    size_t i = 0;
    while (i < uid.size() && out < id.size()) {
        auto c = static_cast<uint8_t>(uid[i]);
        if (c < 0x80) {
            id[out++] = c;
            ++i;
            continue;
        }
        // One non-ASCII character becomes one "?"; a byte that does not
        // start a whole UTF-8 sequence becomes one "?" on its own.
        size_t len = sequenceLength(c);
        size_t taken = 1;
        while (len > 0 && taken < len && i + taken < uid.size() &&
               (static_cast<uint8_t>(uid[i + taken]) & 0xC0) == 0x80)
            ++taken;
        if (len == 0 || taken != len) taken = 1;
        id[out++] = '?';
        i += taken;
    }
    return id;
}

RkDeviceId RkMessageBuilder::deviceIdBytes(std::string_view uid) {
    RkDeviceId id{};
    std::copy_n(uid.begin(), std::min(uid.size(), id.size()), id.begin());
    return id;
}

std::vector<uint8_t> RkMessageBuilder::buildMsgForOpenVSConnectionRequest(const RkDeviceId& deviceId) {
    return idOnly(rk::kOpenVSConnectionRequest, deviceId);
}

std::vector<uint8_t> RkMessageBuilder::buildMsgForFailedUPNPVSConnectionRequest(const RkDeviceId& deviceId) {
    return idAndReserved(rk::kFailedUPNPVSConnectionRequest, deviceId);
}

std::vector<uint8_t> RkMessageBuilder::buildMsgForFailedUDTVSConnectionRequest(const RkDeviceId& deviceId) {
    return idAndReserved(rk::kFailedUDTVSConnectionRequest, deviceId);
}

std::vector<uint8_t> RkMessageBuilder::buildMsgForQueryVSStatusRequest(const RkDeviceId& deviceId) {
    return idOnly(rk::kQueryVSStatusRequest, deviceId);
}

std::vector<uint8_t> RkMessageBuilder::buildMsgForCloseVSConnectionRequest(const RkDeviceId& deviceId,
                                                                           uint32_t connectionId) {
    ByteWriter w = withDeviceId(rk::kCloseVSConnectionRequest, 72, deviceId, 40);
    w.u32le(connectionId);
    return w.take();
}

std::vector<uint8_t> RkMessageBuilder::buildMsgForSearchDeviceRequest(const RkDeviceId& deviceId) {
    return idOnly(rk::kSearchDeviceRequest, deviceId);
}

std::vector<uint8_t> RkMessageBuilder::buildMsgForUDPLoginRequest() {
    ByteWriter w(4);
    w.u16le(rk::kUDPLoginRequest).u16le(0);
    return w.take();
}

std::vector<uint8_t> RkMessageBuilder::buildMsgForQueryUDTAddrRequest(const RkDeviceId& deviceId,
                                                                      uint32_t connectionId) {
    ByteWriter w = withDeviceId(rk::kQueryUDTAddrRequest, 36, deviceId, 44);
    w.u32le(connectionId).zeros(4);
    return w.take();
}

std::vector<uint8_t> RkMessageBuilder::buildMsgForCUdpGetTermAddrConnectionRequest(const RkDeviceId& deviceId) {
    return idOnly(rk::kUdpGetTermAddrRequest, deviceId);
}

std::vector<uint8_t> RkMessageBuilder::buildMsgForCUdpHoleConnectionRequest(std::string_view dstAddr,
                                                                            uint16_t dstPort,
                                                                            std::string_view srcAddr,
                                                                            uint16_t srcPort,
                                                                            const RkDeviceId& deviceId) {
    ByteWriter w = withDeviceId(rk::kUdpHoleConnectionRequest, 72, deviceId, 76);
    w.u32le(0)
        .fixedText(dstAddr, rk::kShortAddressSize)
        .fixedText(srcAddr, rk::kShortAddressSize)
        .u16le(dstPort)
        .u16le(srcPort);
    return w.take();
}

std::vector<uint8_t> RkMessageBuilder::buildMsgForUdpHolePunch(const RkDeviceId& deviceId) {
    return idOnly(rk::kUdpHolePunch, deviceId);
}

}  // namespace lumora
