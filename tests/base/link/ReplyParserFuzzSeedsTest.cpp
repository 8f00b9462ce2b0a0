// The relay/LAN reply and hole-punching reply fuzz targets over their seeds.
#include <gtest/gtest.h>

#include "support/FuzzSeeds.h"
#include "tools/fuzz/HoleReplyFuzzBody.h"
#include "tools/fuzz/RelayMessageFuzzBody.h"

using namespace lumora;

TEST(ReplyParserFuzzSeeds, RelayMessagesRunClean) {
    EXPECT_GE(test::runFuzzSeeds("relay_message_corpus", 20000, fuzz::fuzzRelayMessage), 8u);
}

TEST(ReplyParserFuzzSeeds, HoleRepliesRunClean) {
    EXPECT_GE(test::runFuzzSeeds("hole_reply_corpus", 20000, fuzz::fuzzHoleReply), 4u);
    // The seeds read as they were written.
    auto seeds = test::fuzzSeeds("hole_reply_corpus");
    auto same = ServerUdp::readAddressAnswer(seeds[1]);  // addresses_same_nat.bin
    ASSERT_TRUE(same);
    EXPECT_EQ(same->selfAddr, same->extAddr);
    EXPECT_EQ(same->innerAddr, "10.0.0.5");
    EXPECT_EQ(same->innerPort, 5008);
    EXPECT_TRUE(ServerUdp::isPunchReply(seeds[3]));   // punch.bin
    EXPECT_FALSE(ServerUdp::readAddressAnswer(seeds[4]));  // short.bin
}
