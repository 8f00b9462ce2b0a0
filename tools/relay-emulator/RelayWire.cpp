#include "tools/relay-emulator/RelayWire.h"

#include <algorithm>

namespace lumora::relayemu {

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

std::string getText(const uint8_t* p, size_t width) {
    size_t n = 0;
    while (n < width && p[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

void putText(uint8_t* p, size_t width, const std::string& text) {
    std::fill(p, p + width, 0);
    size_t n = std::min(text.size(), width - 1);
    std::copy(text.begin(), text.begin() + static_cast<long>(n), p);
}

// A device id field holds up to 32 bytes of the UID with no room reserved
// for a terminator.
static void putId(uint8_t* p, const std::string& uid) {
    std::fill(p, p + 32, 0);
    std::copy(uid.begin(), uid.begin() + static_cast<long>(std::min<size_t>(uid.size(), 32)), p);
}

bool messageType(const std::vector<uint8_t>& d, uint16_t& type) {
    if (d.size() < 4) return false;
    type = get16(d.data());
    return true;
}

bool deviceIdOf(const std::vector<uint8_t>& d, std::string& uid) {
    if (d.size() < 36) return false;
    uid = getText(d.data() + 4, 32);
    return true;
}

bool decodeHoleRequest(const std::vector<uint8_t>& d, HoleRequest& out) {
    uint16_t type = 0;
    if (d.size() < 76 || !messageType(d, type) || type != kHoleRequest) return false;
    out.uid = getText(d.data() + 4, 32);
    out.dstAddr = getText(d.data() + 40, 16);
    out.srcAddr = getText(d.data() + 56, 16);
    out.dstPort = get16(d.data() + 72);
    out.srcPort = get16(d.data() + 74);
    return true;
}

std::vector<uint8_t> encodeTermAddrAnswer(const TermAddrAnswer& a) {
    std::vector<uint8_t> m(92, 0);
    put16(&m[0], kTermAddrAnswer);
    put16(&m[2], 88);
    putId(&m[4], a.uid);
    putText(&m[36], 16, a.selfAddr);
    putText(&m[52], 16, a.extAddr);
    putText(&m[68], 16, a.innerAddr);
    put16(&m[84], a.selfPort);
    put16(&m[86], a.extPort);
    put16(&m[88], a.innerPort);
    return m;
}

std::vector<uint8_t> encodePunch(const std::string& uid) {
    std::vector<uint8_t> m(36, 0);
    put16(&m[0], kPunch);
    put16(&m[2], 32);
    putId(&m[4], uid);
    return m;
}

static void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

size_t tcpRequestSize(uint16_t type) {
    switch (type) {
        case kOpenRequest:
        case kStatusRequest:
            return 36;
        case kFailedTcpRequest:
        case kFailedUdtRequest:
        case kCloseRequest:
            return 40;
        default:
            return 0;
    }
}

std::vector<uint8_t> encodeOpenAnswer(const OpenAnswer& a) {
    std::vector<uint8_t> m(84, 0);
    put16(&m[0], kOpenAnswer);
    put16(&m[2], 80);
    put32(&m[4], a.result);
    put32(&m[8], a.mode);
    putId(&m[12], a.uid);
    putText(&m[44], 32, a.addr);
    put32(&m[76], a.connectionId);
    put16(&m[80], a.port);
    return m;
}

std::vector<uint8_t> encodeStatusAnswer(const std::string& uid, uint8_t status) {
    std::vector<uint8_t> m(40, 0);
    put16(&m[0], kStatusAnswer);
    put16(&m[2], 36);
    putId(&m[4], uid);
    m[36] = status;
    return m;
}

std::vector<uint8_t> encodeCloseAnswer(const std::string& uid, uint32_t connectionId) {
    std::vector<uint8_t> m(40, 0);
    put16(&m[0], kCloseAnswer);
    put16(&m[2], 36);
    putId(&m[4], uid);
    put32(&m[36], connectionId);
    return m;
}

std::vector<uint8_t> encodeSearchAnswer(const SearchAnswer& a) {
    std::vector<uint8_t> m(72, 0);
    put16(&m[0], kSearchAnswer);
    put16(&m[2], 68);
    putId(&m[4], a.uid);
    put16(&m[36], a.udtPort);
    put16(&m[38], a.tcpPort);
    putText(&m[40], 32, a.addr);
    return m;
}

}  // namespace lumora::relayemu
