// The fuzz targets of the push service's alarm registration answer and of
// the external-address page's reply, over their seeds.
#include <gtest/gtest.h>

#include "support/FuzzSeeds.h"
#include "tools/fuzz/AlarmRegistrationReplyFuzzBody.h"
#include "tools/fuzz/ExternalAddressReplyFuzzBody.h"

using namespace lumora;

namespace {

std::string text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace

TEST(ReplyFuzzSeeds, AlarmRegistrationRepliesRunClean) {
    EXPECT_GE(test::runFuzzSeeds("alarm_registration_reply_corpus", 20000, fuzz::fuzzAlarmRegistrationReply), 6u);
    // The seeds read as they were written.
    auto seeds = test::fuzzSeeds("alarm_registration_reply_corpus");
    ASSERT_EQ(seeds.size(), 6u);
    EXPECT_EQ(AlarmRegistrationReply::answerCode(text(seeds[0])), 2);   // already.txt
    EXPECT_EQ(AlarmRegistrationReply::answerCode(text(seeds[1])), -1);  // failed.txt
    EXPECT_EQ(AlarmRegistrationReply::answerCode(text(seeds[2])), 4);   // no_line_break.txt
    EXPECT_FALSE(AlarmRegistrationReply::answerCode(text(seeds[3])));   // no_result.txt
    EXPECT_FALSE(AlarmRegistrationReply::answerCode(text(seeds[4])));   // not_base64.txt
    EXPECT_EQ(AlarmRegistrationReply::answerCode(text(seeds[5])), 1);   // registered.txt
}

TEST(ReplyFuzzSeeds, ExternalAddressRepliesRunClean) {
    EXPECT_GE(test::runFuzzSeeds("external_address_reply_corpus", 20000, fuzz::fuzzExternalAddressReply), 5u);
    auto seeds = test::fuzzSeeds("external_address_reply_corpus");
    ASSERT_EQ(seeds.size(), 5u);
    EXPECT_EQ(QvApplicationPreference::addressFromReply(text(seeds[0])), "");              // not_an_address.txt
    EXPECT_EQ(QvApplicationPreference::addressFromReply(text(seeds[1])), "203.0.113.7");   // page.html
    EXPECT_EQ(QvApplicationPreference::addressFromReply(text(seeds[2])), "198.51.100.20");  // plain.txt
    EXPECT_EQ(QvApplicationPreference::addressFromReply(text(seeds[3])), "");              // two_brackets.txt
    EXPECT_EQ(QvApplicationPreference::addressFromReply(text(seeds[4])), "192.0.2.1");      // unterminated.txt
}
