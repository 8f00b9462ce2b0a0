#include "base/link/TolvLanSearch.h"

#include <gtest/gtest.h>

#include "base/link/RkMessageBuilder.h"

using namespace lumora;

namespace {

// A LAN answer names UDT when it gives a UDT port that is neither 0 nor
// 0xFFFF; otherwise its TCP port (which may be 0: no path at all).
TEST(TolvLanSearchTest, AnAnswerIsReachedOverUdtOnlyWithARealUdtPort) {
    struct Case {
        uint16_t udtPort, tcpPort;
        bool udt;
        uint16_t port;
    } cases[] = {
        {9000, 5000, true, 9000}, {0, 5000, false, 5000}, {0xFFFF, 5000, false, 5000},
        {0, 0, false, 0},         {0xFFFF, 0, false, 0},  {1, 0, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.udtPort << "/" << c.tcpPort);
        TolvLanSearch::Answer a{c.udtPort, "10.0.0.9", c.tcpPort};
        EXPECT_EQ(a.udt(), c.udt);
        EXPECT_EQ(a.port(), c.port);
    }
}

TEST(TolvLanSearchTest, OnlyTheWantedDeviceIsAcceptedAndAnAllZeroIdNeverIs) {
    const RkDeviceId ours = RkMessageBuilder::deviceIdForUid("LUMORA-LAN-0001");
    const RkDeviceId other = RkMessageBuilder::deviceIdForUid("LUMORA-LAN-0002");
    EXPECT_TRUE(TolvLanSearch::isWanted(ours, ours));
    EXPECT_FALSE(TolvLanSearch::isWanted(other, ours));
    EXPECT_FALSE(TolvLanSearch::isWanted(RkDeviceId{}, ours));
    EXPECT_FALSE(TolvLanSearch::isWanted(RkDeviceId{}, RkDeviceId{}));
}

}  // namespace
