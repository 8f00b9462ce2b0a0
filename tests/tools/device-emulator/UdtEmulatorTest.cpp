// The emulator over UDT, with a raw UDT client. The only test source that
// includes udt.h.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <udt/udt.h>

#include <chrono>
#include <vector>

#include "tools/device-emulator/DeviceEmulator.h"

using namespace lumora::devemu;
using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

namespace {

uint32_t be32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | uint32_t(b[at + 3]);
}
uint16_t le16(const Bytes& b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }

bool recvExactly(UDTSOCKET s, Bytes& out, size_t n) {
    out.resize(n);
    size_t got = 0;
    while (got < n) {
        int r = UDT::recv(s, reinterpret_cast<char*>(out.data() + got), int(n - got), 0);
        if (r <= 0) return false;
        got += size_t(r);
    }
    return true;
}

bool recvPacket(UDTSOCKET s, Bytes& packet) {
    Bytes head, rest;
    if (!recvExactly(s, head, 4) || be32(head, 0) > 204800 || !recvExactly(s, rest, be32(head, 0))) return false;
    packet = head;
    packet.insert(packet.end(), rest.begin(), rest.end());
    return true;
}

}  // namespace

TEST(UdtEmulatorTest, LogsInAndStreamsOverUdt) {
    UDT::startup();
    // Paired, as the library asks, before the process exits.
    std::atexit([] { UDT::cleanup(); });
    EmulatorOptions o;
    o.videoPath = std::string(LUMORA_TEST_DATA_DIR) + "/clip.h264";
    o.tcp = false;
    o.udt = true;
    o.pace = Pace::Fast;
    o.audio = false;
    DeviceEmulator emu(o);
    std::string error;
    ASSERT_TRUE(emu.start(error)) << error;
    ASSERT_NE(emu.udtPort(), 0);

    UDTSOCKET s = UDT::socket(AF_INET, SOCK_STREAM, 0);
    int timeout = 10000;
    UDT::setsockopt(s, 0, UDT_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(emu.udtPort());
    inet_pton(AF_INET, "127.0.0.2", &a.sin_addr);
    ASSERT_NE(UDT::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), UDT::ERROR)
        << UDT::getlasterror().getErrorMessage();

    // Plain login: version 3.7, then user, password, device id, 0, channel 0, 2 bytes.
    Bytes login = {0, 0, 0, 72, 1, 0, 0, 0, 40, 0, 4, 0, 3, 0, 7, 0, 41, 0, 56, 0};
    Bytes body(56, 0);
    std::copy_n("admin", 5, body.begin());
    std::copy_n("admin", 5, body.begin() + 32);
    login.insert(login.end(), body.begin(), body.end());
    ASSERT_EQ(UDT::send(s, reinterpret_cast<const char*>(login.data()), int(login.size()), 0), int(login.size()));

    Bytes p;
    ASSERT_TRUE(recvPacket(s, p));
    EXPECT_EQ(le16(p, 8 + 4 + 4), 42);
    EXPECT_EQ(le16(p, 8 + 4 + 4 + 4), 1);  // logged in
    for (size_t i = 0; i < 5; ++i) {
        ASSERT_TRUE(recvPacket(s, p));
        Bytes data(p.begin() + 8 + 16 + 4, p.end());
        EXPECT_EQ(data, emu.frameBytes(i));
    }
    UDT::close(s);
    EXPECT_TRUE(emu.waitForEvent("closed", 10s));
    emu.stop();
}
