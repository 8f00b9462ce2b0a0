#include "base/link/RkMessageParser.h"

#include "platform/bytes/ByteReader.h"

namespace lumora {

namespace {

// Minimum payload and bytes occupied, per reply type.
struct ReplyLayout {
    uint16_t type;
    int minimumPayload;
    int consumed;
};

constexpr ReplyLayout kReplies[] = {
    {rk::kOpenVSConnectionResponse, 80, 84},
    {rk::kOpenVSConnectionResponseExt, 148, 152},
    {rk::kCloseVSConnectionResponse, 36, 40},
    {rk::kQueryVSStatusResponse, 36, 40},
    {rk::kSearchDeviceResponse, 68, 72},
    {rk::kQueryUDTAddrResponse, 72, 76},
    {rk::kUdpGetTermAddrResponse, 88, 92},
    {rk::kUdpHolePunch, 0, 4},
    {rk::kServerNotice, 0, 4},
};

const ReplyLayout* layoutFor(uint16_t type) {
    for (const auto& r : kReplies)
        if (r.type == type) return &r;
    return nullptr;
}

bool readId(ByteReader& r, RkDeviceId& id) { return r.bytes(id.data(), id.size()); }

// Width of the inner address text of 0xA01E (payload offsets 80 to 111).
constexpr size_t kExtInnerAddressSize = 32;

}  // namespace

int RkMessageParser::minimumPayload(uint16_t type) {
    const ReplyLayout* l = layoutFor(type);
    return l ? l->minimumPayload : -1;
}

int RkMessageParser::consumedSize(uint16_t type) {
    const ReplyLayout* l = layoutFor(type);
    return l ? l->consumed : -1;
}

bool RkMessageParser::parseOpenVSConnResponse(std::span<const uint8_t> payload, int& queryResult, std::string& ip,
                                              uint16_t& port, uint32_t& connectionId, RkDeviceId& deviceId,
                                              int& connectionMode) {
    if (payload.size() < 78) return false;
    ByteReader r(payload);
    uint32_t result = 0, mode = 0, conn = 0;
    uint16_t p = 0;
    std::string addr;
    RkDeviceId id{};
    if (!(r.u32le(result) && r.u32le(mode) && readId(r, id) && r.fixedText(rk::kLongAddressSize, addr) &&
          r.u32le(conn) && r.u16le(p)))
        return false;
    queryResult = static_cast<int>(result);
    connectionMode = static_cast<int>(mode);
    deviceId = id;
    ip = std::move(addr);
    connectionId = conn;
    port = p;
    return true;
}

bool RkMessageParser::parseQueryVSStatusResponse(std::span<const uint8_t> payload, RkDeviceId& deviceId,
                                                 uint8_t& status, std::array<uint8_t, 3>& reserved) {
    ByteReader r(payload);
    RkDeviceId id{};
    uint8_t s = 0;
    std::array<uint8_t, 3> rest{};
    if (!(readId(r, id) && r.u8(s) && r.bytes(rest.data(), rest.size()))) return false;
    deviceId = id;
    status = s;
    reserved = rest;
    return true;
}

bool RkMessageParser::parseCloseVSConnResponse(std::span<const uint8_t> payload, uint32_t& connectionId,
                                               RkDeviceId& deviceId) {
    ByteReader r(payload);
    RkDeviceId id{};
    uint32_t conn = 0;
    if (!(readId(r, id) && r.u32le(conn))) return false;
    deviceId = id;
    connectionId = conn;
    return true;
}

bool RkMessageParser::parseSearchDeviceResponse(std::span<const uint8_t> payload, RkDeviceId& deviceId,
                                                uint16_t& udtPort, std::string& addr, uint16_t& tcpPort) {
    ByteReader r(payload);
    RkDeviceId id{};
    uint16_t udt = 0, tcp = 0;
    std::string a;
    if (!(readId(r, id) && r.u16le(udt) && r.u16le(tcp) && r.fixedText(rk::kLongAddressSize, a))) return false;
    deviceId = id;
    udtPort = udt;
    tcpPort = tcp;
    addr = std::move(a);
    return true;
}

bool RkMessageParser::parseGetUDTAddrResponse(std::span<const uint8_t> payload, RkDeviceId& deviceId,
                                              std::string& addr, uint16_t& port, uint32_t& connectionId) {
    ByteReader r(payload);
    RkDeviceId id{};
    uint32_t conn = 0;
    uint16_t p = 0;
    std::string a;
    if (!(readId(r, id) && r.u32le(conn) && r.fixedText(rk::kLongAddressSize, a) && r.u16le(p))) return false;
    deviceId = id;
    connectionId = conn;
    addr = std::move(a);
    port = p;
    return true;
}

bool RkMessageParser::parseGetTAddrResponse(std::span<const uint8_t> payload, RkDeviceId& deviceId,
                                            std::string& extAddr, uint16_t& extPort, std::string& innerAddr,
                                            uint16_t& innerPort, std::string& selfAddr, uint16_t& selfPort) {
    ByteReader r(payload);
    RkDeviceId id{};
    std::string self, ext, inner;
    uint16_t selfP = 0, extP = 0, innerP = 0;
    if (!(readId(r, id) && r.fixedText(rk::kShortAddressSize, self) && r.fixedText(rk::kShortAddressSize, ext) &&
          r.fixedText(rk::kShortAddressSize, inner) && r.u16le(selfP) && r.u16le(extP) && r.u16le(innerP)))
        return false;
    deviceId = id;
    selfAddr = std::move(self);
    extAddr = std::move(ext);
    innerAddr = std::move(inner);
    selfPort = selfP;
    extPort = extP;
    innerPort = innerP;
    return true;
}

int RkMessageParser::parseMsgData(std::span<const uint8_t> data, const std::string& fromIp, int fromPort) {
    if (data.size() > kWorkBufferSize) data = data.first(kWorkBufferSize);
    if (data.size() < rk::kHeaderSize) return 0;
    ByteReader header(data);
    uint16_t type = 0;
    header.u16le(type);

    const ReplyLayout* layout = layoutFor(type);
    if (!layout) return kUnknownType;
    std::span<const uint8_t> payload = data.subspan(rk::kHeaderSize);
    if (payload.size() < static_cast<size_t>(layout->minimumPayload)) return 0;
    // Fields are read from the reply's own bytes only, never from a
    // following message in the same data.
    payload = payload.first(static_cast<size_t>(layout->minimumPayload));

    RkMessgeParserDelegate* d = delegate_;
    switch (type) {
    case rk::kOpenVSConnectionResponse:
    case rk::kOpenVSConnectionResponseExt: {
        int result = 0, mode = 0;
        std::string addr;
        uint16_t port = 0;
        uint32_t conn = 0;
        RkDeviceId id{};
        parseOpenVSConnResponse(payload, result, addr, port, conn, id, mode);
        if (!d) break;
        if (type == rk::kOpenVSConnectionResponse) {
            d->tolvOpenVSConnResponseFromParser(*this, result, addr, port, conn, id, mode);
        } else {
            ByteReader r(payload);
            r.seek(78);
            uint16_t innerPort = 0;
            std::string innerAddr;
            r.u16le(innerPort);
            r.fixedText(kExtInnerAddressSize, innerAddr);
            d->tolvOpenVSConnResponseFromParser3(*this, result, addr, port, conn, id, mode, innerAddr, innerPort,
                                                 std::string(), 0);
        }
        break;
    }
    case rk::kQueryVSStatusResponse: {
        RkDeviceId id{};
        uint8_t status = 0;
        std::array<uint8_t, 3> reserved{};
        parseQueryVSStatusResponse(payload, id, status, reserved);
        if (d) d->tolvQueryVSStatusResponseFromParser(*this, id, status, reserved);
        break;
    }
    case rk::kCloseVSConnectionResponse: {
        RkDeviceId id{};
        uint32_t conn = 0;
        parseCloseVSConnResponse(payload, conn, id);
        if (d) d->tolvCloseVSConnResponseFromParser(*this, conn, id);
        break;
    }
    case rk::kSearchDeviceResponse: {
        RkDeviceId id{};
        uint16_t udt = 0, tcp = 0;
        std::string addr;
        parseSearchDeviceResponse(payload, id, udt, addr, tcp);
        if (d) d->tolvSearchDeviceResponseFromParser(*this, id, udt, addr, tcp);
        break;
    }
    case rk::kQueryUDTAddrResponse: {
        RkDeviceId id{};
        std::string addr;
        uint16_t port = 0;
        uint32_t conn = 0;
        parseGetUDTAddrResponse(payload, id, addr, port, conn);
        if (d) d->tolvGetUDTResponseFromParser(*this, id, addr, port, conn);
        break;
    }
    case rk::kUdpGetTermAddrResponse: {
        RkDeviceId id{};
        std::string ext, inner, self;
        uint16_t extPort = 0, innerPort = 0, selfPort = 0;
        parseGetTAddrResponse(payload, id, ext, extPort, inner, innerPort, self, selfPort);
        if (d) d->tolvGetTAddrResponseFromParser(*this, id, ext, extPort, inner, innerPort, self, selfPort);
        break;
    }
    case rk::kUdpHolePunch:
        if (d) d->tolvGetUDPHoleRes(true, fromIp, fromPort);
        break;
    default:  // kServerNotice: nothing to read
        break;
    }
    return layout->consumed;
}

}  // namespace lumora
