#pragma once

// One fuzz iteration for the relay/look-up server and LAN search message
// parser, shared by the libFuzzer target (relay_message_fuzz.cpp) and the
// seed test of the normal build. The input is read as a TCP receive buffer
// (messages one after the other, consumed as the parser answers) and handed
// to every field reader as a payload. A delegate touches every field it is
// given, so a field copied from beyond the data shows under AddressSanitizer.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/link/RkMessageParser.h"

namespace lumora::fuzz {

class RelayTouchingDelegate : public RkMessgeParserDelegate {
public:
    uint64_t sum = 0;
    void tolvOpenVSConnResponseFromParser3(RkMessageParser&, int r, const std::string& a, uint16_t p, uint32_t c,
                                           const RkDeviceId& d, int m, const std::string& ia, uint16_t ip,
                                           const std::string& sa, uint16_t sp) override {
        sum += r + text(a) + p + c + id(d) + m + text(ia) + ip + text(sa) + sp;
    }
    void tolvOpenVSConnResponseFromParser(RkMessageParser&, int r, const std::string& a, uint16_t p, uint32_t c,
                                          const RkDeviceId& d, int m) override {
        sum += r + text(a) + p + c + id(d) + m;
    }
    void tolvQueryVSStatusResponseFromParser(RkMessageParser&, const RkDeviceId& d, uint8_t s,
                                             const std::array<uint8_t, 3>& r) override {
        sum += id(d) + s + r[0] + r[1] + r[2];
    }
    void tolvCloseVSConnResponseFromParser(RkMessageParser&, uint32_t c, const RkDeviceId& d) override {
        sum += c + id(d);
    }
    void tolvSearchDeviceResponseFromParser(RkMessageParser&, const RkDeviceId& d, uint16_t u, const std::string& a,
                                            uint16_t t) override {
        sum += id(d) + u + text(a) + t;
    }
    void tolvGetUDTResponseFromParser(RkMessageParser&, const RkDeviceId& d, const std::string& a, uint16_t p,
                                      uint32_t c) override {
        sum += id(d) + text(a) + p + c;
    }
    void tolvGetTAddrResponseFromParser(RkMessageParser&, const RkDeviceId& d, const std::string& e, uint16_t ep,
                                        const std::string& i, uint16_t ip, const std::string& s,
                                        uint16_t sp) override {
        sum += id(d) + text(e) + ep + text(i) + ip + text(s) + sp;
    }
    void tolvGetUDPHoleRes(bool ok, const std::string& ip, int port) override { sum += ok + text(ip) + port; }

private:
    static uint64_t text(const std::string& s) {
        uint64_t v = s.size();
        for (char c : s) v += static_cast<uint8_t>(c);
        return v;
    }
    static uint64_t id(const RkDeviceId& d) {
        uint64_t v = 0;
        for (uint8_t b : d) v += b;
        return v;
    }
};

inline int fuzzRelayMessage(const uint8_t* data, size_t size) {
    RelayTouchingDelegate sink;
    RkMessageParser parser;
    parser.setDelegate(&sink);
    // A receive buffer: the parser never reads beyond what it is given and
    // answers at most what it was given (or kUnknownType, which clears it).
    std::vector<uint8_t> buffer(data, data + size);
    while (!buffer.empty()) {
        int used = parser.parseMsgData(buffer, "192.0.2.1", 28678);
        if (used < 0) __builtin_trap();
        if (used == 0) break;
        if (used == RkMessageParser::kUnknownType) {
            buffer.clear();
            break;
        }
        if (static_cast<size_t>(used) > buffer.size()) __builtin_trap();
        buffer.erase(buffer.begin(), buffer.begin() + used);
    }
    // Every field reader over the whole input as a payload.
    std::span<const uint8_t> payload(data, size);
    int result = 0, mode = 0;
    std::string a, b, c;
    uint16_t p1 = 0, p2 = 0, p3 = 0;
    uint32_t conn = 0;
    RkDeviceId dev{};
    uint8_t status = 0;
    std::array<uint8_t, 3> reserved{};
    RkMessageParser::parseOpenVSConnResponse(payload, result, a, p1, conn, dev, mode);
    RkMessageParser::parseQueryVSStatusResponse(payload, dev, status, reserved);
    RkMessageParser::parseCloseVSConnResponse(payload, conn, dev);
    RkMessageParser::parseSearchDeviceResponse(payload, dev, p1, a, p2);
    RkMessageParser::parseGetUDTAddrResponse(payload, dev, a, p1, conn);
    RkMessageParser::parseGetTAddrResponse(payload, dev, a, p1, b, p2, c, p3);
    if (size >= 2) {
        uint16_t type = static_cast<uint16_t>(data[0] | data[1] << 8);
        RkMessageParser::minimumPayload(type);
        RkMessageParser::consumedSize(type);
    }
    return sink.sum == 0xFFFFFFFFFFFFFFFFull ? 1 : 0;
}

}  // namespace lumora::fuzz
