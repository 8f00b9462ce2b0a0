#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "base/link/RkMessageBuilder.h"

using namespace lumora;

namespace {

// Bytes from hex text; blanks are ignored and "zN" stands for N zero bytes.
std::vector<uint8_t> hex(const std::string& text) {
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[i]))) {
            ++i;
        } else if (text[i] == 'z') {
            size_t end = i + 1;
            while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
            out.insert(out.end(), std::stoul(text.substr(i + 1, end - i - 1)), 0);
            i = end;
        } else {
            out.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
            i += 2;
        }
    }
    return out;
}

// "AB12" as a device id: 41 42 31 32 and 28 zeros.
const char* kIdHex = "41 42 31 32 z28";

}  // namespace

TEST(RkMessageBuilder, GoldenBytesOfEveryRequest) {
    const RkDeviceId id = RkMessageBuilder::deviceIdForUid("AB12");
    struct Case {
        const char* name;
        std::vector<uint8_t> built;
        std::string expected;
    };
    const std::string idHex = kIdHex;
    Case cases[] = {
        {"open", RkMessageBuilder::buildMsgForOpenVSConnectionRequest(id), "17 a0 20 00 " + idHex},
        {"failedUPNP", RkMessageBuilder::buildMsgForFailedUPNPVSConnectionRequest(id), "19 a0 24 00 " + idHex + " z4"},
        {"failedUDT", RkMessageBuilder::buildMsgForFailedUDTVSConnectionRequest(id), "13 a0 24 00 " + idHex + " z4"},
        {"status", RkMessageBuilder::buildMsgForQueryVSStatusRequest(id), "05 a0 20 00 " + idHex},
        {"close", RkMessageBuilder::buildMsgForCloseVSConnectionRequest(id, 0x01020304),
         "03 a0 48 00 " + idHex + " 04 03 02 01"},
        {"search", RkMessageBuilder::buildMsgForSearchDeviceRequest(RkDeviceId{}), "07 a0 20 00 z32"},
        {"udpLogin", RkMessageBuilder::buildMsgForUDPLoginRequest(), "01 20 00 00"},
        {"udtAddr", RkMessageBuilder::buildMsgForQueryUDTAddrRequest(id, 0xA1B2C3D4),
         "02 20 24 00 " + idHex + " d4 c3 b2 a1 z4"},
        {"termAddr", RkMessageBuilder::buildMsgForCUdpGetTermAddrConnectionRequest(id), "10 20 20 00 " + idHex},
        {"hole",
         RkMessageBuilder::buildMsgForCUdpHoleConnectionRequest("10.1.2.3", 0x1234, "192.168.100.200", 0xABCD, id),
         "01 30 48 00 " + idHex +
             " z4"
             " 31 30 2e 31 2e 32 2e 33 z8"                         // "10.1.2.3"
             " 31 39 32 2e 31 36 38 2e 31 30 30 2e 32 30 30 00"    // "192.168.100.200"
             " 34 12 cd ab"},
        {"punch", RkMessageBuilder::buildMsgForUdpHolePunch(id), "08 10 20 00 " + idHex},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.built, hex(c.expected));
    }
}

TEST(RkMessageBuilder, HoleRequestCutsOverlongAddressesToFitATerminator) {
    auto msg = RkMessageBuilder::buildMsgForCUdpHoleConnectionRequest("0123456789abcdefXYZ", 1, "", 2, RkDeviceId{});
    ASSERT_EQ(msg.size(), 76u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&msg[40])), "0123456789abcde");
    EXPECT_EQ(msg[55], 0);
    EXPECT_EQ(msg[56], 0);
    EXPECT_EQ(msg[72], 1);
    EXPECT_EQ(msg[74], 2);
}

TEST(RkMessageBuilder, DeviceIdFromUid) {
    struct Case {
        const char* uid;
        std::string expected;  // the id's bytes up to the first zero, or all 32
    };
    const std::string forty = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcd";
    Case cases[] = {
        {"", ""},
        {"ABC", "ABC"},
        {"0123456789ABCDEFGHIJKLMNOPQRSTUV", "0123456789ABCDEFGHIJKLMNOPQRSTUV"},  // 32: no terminator
        {"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcd", forty.substr(0, 32)},        // 40: cut
        {"A\xC3\xA9" "B", "A?B"},                                                  // é is one character
        {"\xE2\x82\xAC" "1", "?1"},                                                // €
        {"\xF0\x9F\x93\xB7x", "?x"},                                               // a 4-byte character
        {"a\xFF" "b", "a?b"},                                                      // not UTF-8
        {"a\xC3", "a?"},                                                           // cut sequence
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uid);
        RkDeviceId id = RkMessageBuilder::deviceIdForUid(c.uid);
        size_t len = 0;
        while (len < id.size() && id[len] != 0) ++len;
        EXPECT_EQ(std::string(id.begin(), id.begin() + static_cast<long>(len)), c.expected);
        for (size_t i = len; i < id.size(); ++i) EXPECT_EQ(id[i], 0) << i;
    }
}
