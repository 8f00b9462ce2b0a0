#include "base/link/HolePuncher.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <optional>
#include <string>
#include <vector>

#include "base/network/SocketFunctions.h"

using namespace lumora;

namespace {

bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

// Who owns a punched socket once the exchange has spoken: the owner when a
// hole to an address was punched and the owner still wants it; otherwise
// the puncher closes it, and only a failure tells the owner.
TEST(HolePuncherTest, HandsThePunchedSocketOnlyToAnOwnerThatWantsIt) {
    struct Case {
        const char* name;
        bool stopped;
        bool success;
        bool withAddress;
        bool inner;
        const char* heard;  // "punched", "failed" or ""
        bool socketKept;
    } cases[] = {
        {"punched", false, true, true, false, "punched", true},
        {"punched behind the same NAT", false, true, true, true, "punched", true},
        {"punched without an address", false, true, false, false, "failed", false},
        {"failed", false, false, false, false, "failed", false},
        {"punched after the stop", true, true, true, false, "", false},
        {"failed after the stop", true, false, false, false, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> heard;
        HolePuncher::Hole hole;
        HolePuncher puncher(HolePuncher::Handlers{[&] { return c.stopped; },
                                                  [&](const HolePuncher::Hole& h) {
                                                      heard.push_back("punched");
                                                      hole = h;
                                                  },
                                                  [&] { heard.push_back("failed"); }});
        int fd = udpSocketCreateBind(0);
        ASSERT_GT(fd, 0);
        puncher.didHole(c.success, fd, c.withAddress ? std::optional<std::string>("127.0.0.5") : std::nullopt, 4321,
                        c.inner);
        std::vector<std::string> expected;
        if (*c.heard) expected.push_back(c.heard);
        EXPECT_EQ(heard, expected);
        EXPECT_EQ(isOpen(fd), c.socketKept);
        if (c.socketKept) {
            EXPECT_EQ(hole.fd, fd);
            EXPECT_EQ(hole.ip, "127.0.0.5");
            EXPECT_EQ(hole.port, 4321);
            EXPECT_EQ(hole.inner, c.inner);
            socketClose(fd);
        }
    }
}

}  // namespace
