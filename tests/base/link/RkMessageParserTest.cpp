#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/link/RkMessageParser.h"

using namespace lumora;

namespace {

// Replies put together by hand, field by field at the offsets of the
// protocol's tables, so the parser is checked against the layout rather than
// against a builder of its own.
struct Bytes {
    std::vector<uint8_t> b;
    explicit Bytes(size_t size) : b(size, 0) {}
    Bytes& u16(size_t at, uint16_t v) {
        b[at] = v & 0xFF;
        b[at + 1] = v >> 8;
        return *this;
    }
    Bytes& u32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
        return *this;
    }
    Bytes& text(size_t at, const std::string& s) {
        std::memcpy(&b[at], s.data(), s.size());
        return *this;
    }
    Bytes& header(uint16_t type) { return u16(0, type).u16(2, static_cast<uint16_t>(b.size() - 4)); }
};

std::string idText(const RkDeviceId& id) {
    size_t n = 0;
    while (n < id.size() && id[n]) ++n;
    return std::string(id.begin(), id.begin() + static_cast<long>(n));
}

struct Recorder : RkMessgeParserDelegate {
    std::vector<std::string> calls;
    std::string addr, inner, self, id;
    uint32_t conn = 0;
    uint16_t port = 0, port2 = 0, port3 = 0;
    int result = -1, mode = -1, holePort = -1;
    uint8_t status = 0;
    std::array<uint8_t, 3> reserved{};

    void tolvOpenVSConnResponseFromParser3(RkMessageParser&, int r, const std::string& a, uint16_t p, uint32_t c,
                                           const RkDeviceId& d, int m, const std::string& ia, uint16_t ip,
                                           const std::string& udpIp, uint16_t udpPort) override {
        calls.push_back("open3");
        result = r, addr = a, port = p, conn = c, id = idText(d), mode = m, inner = ia, port2 = ip;
        EXPECT_EQ(udpIp, "");
        EXPECT_EQ(udpPort, 0);
    }
    void tolvOpenVSConnResponseFromParser(RkMessageParser&, int r, const std::string& a, uint16_t p, uint32_t c,
                                          const RkDeviceId& d, int m) override {
        calls.push_back("open");
        result = r, addr = a, port = p, conn = c, id = idText(d), mode = m;
    }
    void tolvQueryVSStatusResponseFromParser(RkMessageParser&, const RkDeviceId& d, uint8_t s,
                                             const std::array<uint8_t, 3>& r) override {
        calls.push_back("status");
        id = idText(d), status = s, reserved = r;
    }
    void tolvCloseVSConnResponseFromParser(RkMessageParser&, uint32_t c, const RkDeviceId& d) override {
        calls.push_back("close");
        conn = c, id = idText(d);
    }
    void tolvSearchDeviceResponseFromParser(RkMessageParser&, const RkDeviceId& d, uint16_t udt,
                                            const std::string& a, uint16_t tcp) override {
        calls.push_back("search");
        id = idText(d), port = udt, addr = a, port2 = tcp;
    }
    void tolvGetUDTResponseFromParser(RkMessageParser&, const RkDeviceId& d, const std::string& a, uint16_t p,
                                      uint32_t c) override {
        calls.push_back("udt");
        id = idText(d), addr = a, port = p, conn = c;
    }
    void tolvGetTAddrResponseFromParser(RkMessageParser&, const RkDeviceId& d, const std::string& ext,
                                        uint16_t extPort, const std::string& in, uint16_t inPort,
                                        const std::string& s, uint16_t selfPort) override {
        calls.push_back("taddr");
        id = idText(d), addr = ext, port = extPort, inner = in, port2 = inPort, self = s, port3 = selfPort;
    }
    void tolvGetUDPHoleRes(bool ok, const std::string& ip, int p) override {
        calls.push_back(ok ? "hole" : "hole-no");
        addr = ip, holePort = p;
    }
};

Bytes openReply() {
    Bytes m(84);
    m.header(0xA002).u32(4, 0).u32(8, 3).text(12, "DEV1").text(44, "203.0.113.9").u32(76, 77).u16(80, 6001);
    return m;
}

}  // namespace

TEST(RkMessageParser, ConsumedSizesForShortExactDoubleAndUnknownData) {
    auto open = openReply().b;
    std::vector<uint8_t> two = open;
    two.insert(two.end(), open.begin(), open.end());
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
        int consumed;
        size_t calls;
    };
    Case cases[] = {
        {"empty", {}, 0, 0},
        {"three bytes", {0x02, 0xA0, 0x50}, 0, 0},
        {"header of A002", {0x02, 0xA0, 0x50, 0x00}, 0, 0},
        {"A002 one byte short", std::vector<uint8_t>(open.begin(), open.end() - 1), 0, 0},
        {"A002 exact", open, 84, 1},
        {"two messages", two, 84, 1},
        {"unknown 4 bytes", {0x34, 0x12, 0x00, 0x00}, RkMessageParser::kUnknownType, 0},
        {"request type", {0x17, 0xA0, 0x20, 0x00}, RkMessageParser::kUnknownType, 0},
        {"punch 36 bytes", Bytes(36).header(0x1008).b, 4, 1},
        {"punch header", Bytes(4).header(0x1008).b, 4, 1},
        {"notice", Bytes(4).header(0x3002).b, 4, 0},
        {"A01E short", Bytes(151).header(0xA01E).b, 0, 0},
        {"A01E exact", Bytes(152).header(0xA01E).b, 152, 1},
        {"2011 short", Bytes(91).header(0x2011).b, 0, 0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder rec;
        RkMessageParser parser;
        parser.setDelegate(&rec);
        // An exact-size heap copy: a read past the end is caught by ASan.
        std::vector<uint8_t> data(c.data);
        EXPECT_EQ(parser.parseMsgData(data, "127.0.0.1", 5), c.consumed);
        EXPECT_EQ(rec.calls.size(), c.calls);
    }
}

TEST(RkMessageParser, WithoutDelegateStillConsumes) {
    RkMessageParser parser;
    auto open = openReply().b;
    EXPECT_EQ(parser.parseMsgData(open, "", 0), 84);
}

TEST(RkMessageParser, OpenAnswerFields) {
    Recorder rec;
    RkMessageParser parser;
    parser.setDelegate(&rec);
    auto m = openReply().b;
    ASSERT_EQ(parser.parseMsgData(m, "", 0), 84);
    ASSERT_EQ(rec.calls, std::vector<std::string>{"open"});
    EXPECT_EQ(rec.result, 0);
    EXPECT_EQ(rec.mode, 3);
    EXPECT_EQ(rec.id, "DEV1");
    EXPECT_EQ(rec.addr, "203.0.113.9");
    EXPECT_EQ(rec.conn, 77u);
    EXPECT_EQ(rec.port, 6001);
}

TEST(RkMessageParser, ExtendedOpenAnswerFields) {
    Recorder rec;
    RkMessageParser parser;
    parser.setDelegate(&rec);
    Bytes m(152);
    m.header(0xA01E).u32(4, 1).u32(8, 5).text(12, "DEV2").text(44, "198.51.100.1").u32(76, 9).u16(80, 7000);
    m.u16(82, 8000).text(84, "192.168.1.20");
    ASSERT_EQ(parser.parseMsgData(m.b, "", 0), 152);
    ASSERT_EQ(rec.calls, std::vector<std::string>{"open3"});
    EXPECT_EQ(rec.result, 1);
    EXPECT_EQ(rec.mode, 5);
    EXPECT_EQ(rec.addr, "198.51.100.1");
    EXPECT_EQ(rec.port, 7000);
    EXPECT_EQ(rec.inner, "192.168.1.20");
    EXPECT_EQ(rec.port2, 8000);
}

TEST(RkMessageParser, OtherReplyFields) {
    RkMessageParser parser;
    {
        Recorder rec;
        parser.setDelegate(&rec);
        Bytes m(40);
        m.header(0xA006).text(4, "S1").u16(36, 0x0207).b[38] = 0x09;
        ASSERT_EQ(parser.parseMsgData(m.b, "", 0), 40);
        EXPECT_EQ(rec.id, "S1");
        EXPECT_EQ(rec.status, 7);
        EXPECT_EQ(rec.reserved, (std::array<uint8_t, 3>{2, 9, 0}));
    }
    {
        Recorder rec;
        parser.setDelegate(&rec);
        Bytes m(40);
        m.header(0xA004).text(4, "C1").u32(36, 0xDEADBEEF);
        ASSERT_EQ(parser.parseMsgData(m.b, "", 0), 40);
        EXPECT_EQ(rec.calls, std::vector<std::string>{"close"});
        EXPECT_EQ(rec.conn, 0xDEADBEEFu);
    }
    {
        Recorder rec;
        parser.setDelegate(&rec);
        Bytes m(72);
        m.header(0xA008).text(4, "L1").u16(36, 0xFFFF).u16(38, 5050).text(40, "192.168.0.7");
        ASSERT_EQ(parser.parseMsgData(m.b, "", 0), 72);
        EXPECT_EQ(rec.id, "L1");
        EXPECT_EQ(rec.port, 0xFFFF);  // no UDT
        EXPECT_EQ(rec.port2, 5050);
        EXPECT_EQ(rec.addr, "192.168.0.7");
    }
    {
        Recorder rec;
        parser.setDelegate(&rec);
        Bytes m(76);
        m.header(0x2003).text(4, "U1").u32(36, 42).text(40, "203.0.113.50").u16(72, 9000);
        ASSERT_EQ(parser.parseMsgData(m.b, "", 0), 76);
        EXPECT_EQ(rec.addr, "203.0.113.50");
        EXPECT_EQ(rec.port, 9000);
        EXPECT_EQ(rec.conn, 42u);
    }
    {
        Recorder rec;
        parser.setDelegate(&rec);
        Bytes m(92);
        m.header(0x2011).text(4, "T1").text(36, "198.51.100.7").text(52, "203.0.113.8").text(68, "10.0.0.9");
        m.u16(84, 1111).u16(86, 2222).u16(88, 3333);
        ASSERT_EQ(parser.parseMsgData(m.b, "", 0), 92);
        EXPECT_EQ(rec.self, "198.51.100.7");
        EXPECT_EQ(rec.addr, "203.0.113.8");
        EXPECT_EQ(rec.inner, "10.0.0.9");
        EXPECT_EQ(rec.port3, 1111);
        EXPECT_EQ(rec.port, 2222);
        EXPECT_EQ(rec.port2, 3333);
    }
    {
        Recorder rec;
        parser.setDelegate(&rec);
        auto m = Bytes(36).header(0x1008).b;
        ASSERT_EQ(parser.parseMsgData(m, "127.0.0.21", 4321), 4);
        EXPECT_EQ(rec.calls, std::vector<std::string>{"hole"});
        EXPECT_EQ(rec.addr, "127.0.0.21");
        EXPECT_EQ(rec.holePort, 4321);
    }
}

TEST(RkMessageParser, UnterminatedFieldsAreReadWithinTheirWidth) {
    Recorder rec;
    RkMessageParser parser;
    parser.setDelegate(&rec);
    Bytes m(92);
    m.header(0x2011);
    std::memset(&m.b[4], 'A', 32);   // a 32-character id
    std::memset(&m.b[36], '1', 48);  // three address fields without terminator
    m.u16(84, 0x3131);
    ASSERT_EQ(parser.parseMsgData(m.b, "", 0), 92);
    EXPECT_EQ(rec.id, std::string(32, 'A'));
    EXPECT_EQ(rec.self, std::string(16, '1'));
    EXPECT_EQ(rec.addr, std::string(16, '1'));
    EXPECT_EQ(rec.inner, std::string(16, '1'));
}

TEST(RkMessageParser, LooksAtNoMoreThanTheWorkBuffer) {
    // A reply type is recognised no matter what follows, but nothing past
    // 1024 bytes is looked at.
    std::vector<uint8_t> big(5000, 0xEE);
    big[0] = 0x02;
    big[1] = 0xA0;
    Recorder rec;
    RkMessageParser parser;
    parser.setDelegate(&rec);
    EXPECT_EQ(parser.parseMsgData(big, "", 0), 84);
    EXPECT_EQ(rec.calls.size(), 1u);
}

TEST(RkMessageParser, FieldReadersRefuseShortPayloads) {
    std::vector<uint8_t> shortPayload(10, 0);
    RkDeviceId id{};
    std::string a, b, c;
    uint16_t p1 = 1, p2 = 2, p3 = 3;
    uint32_t conn = 4;
    int r = 5, m = 6;
    uint8_t s = 7;
    std::array<uint8_t, 3> res{};
    EXPECT_FALSE(RkMessageParser::parseOpenVSConnResponse(shortPayload, r, a, p1, conn, id, m));
    EXPECT_FALSE(RkMessageParser::parseQueryVSStatusResponse(shortPayload, id, s, res));
    EXPECT_FALSE(RkMessageParser::parseCloseVSConnResponse(shortPayload, conn, id));
    EXPECT_FALSE(RkMessageParser::parseSearchDeviceResponse(shortPayload, id, p1, a, p2));
    EXPECT_FALSE(RkMessageParser::parseGetUDTAddrResponse(shortPayload, id, a, p1, conn));
    EXPECT_FALSE(RkMessageParser::parseGetTAddrResponse(shortPayload, id, a, p1, b, p2, c, p3));
    EXPECT_EQ(r, 5);
    EXPECT_EQ(conn, 4u);
    EXPECT_EQ(p1, 1);
}
