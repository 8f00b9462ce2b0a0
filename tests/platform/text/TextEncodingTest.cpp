#include "platform/text/TextEncoding.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

TEST(TextEncoding, DecodesGB18030IncludingFourByteSequences) {
    // "您的IP是：[203.0.113.7]" in GB 18030 (two-byte hanzi, full-width colon),
    // plus U+1F600, which GB 18030 writes as four bytes.
    const std::string utf8 = "\xE6\x82\xA8\xE7\x9A\x84IP\xE6\x98\xAF\xEF\xBC\x9A[203.0.113.7] \xF0\x9F\x98\x80";
    auto gb = TextEncoding::gb18030FromUtf8(utf8);
    ASSERT_TRUE(gb.has_value());
    EXPECT_NE(*gb, utf8);
    EXPECT_EQ(gb->substr(0, 4), std::string("\xC4\xFA\xB5\xC4", 4));  // 您的
    auto back = TextEncoding::utf8FromGB18030(*gb);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, utf8);
}

TEST(TextEncoding, AsciiPassesAndBadBytesFail) {
    EXPECT_EQ(TextEncoding::utf8FromGB18030(std::string("plain [1.2.3.4]")), "plain [1.2.3.4]");
    EXPECT_EQ(TextEncoding::utf8FromGB18030(std::string()), "");
    // A lead byte cut off at the end, and a lead byte followed by an invalid trail.
    EXPECT_FALSE(TextEncoding::utf8FromGB18030(std::string("ab\xC4", 3)).has_value());
    EXPECT_FALSE(TextEncoding::utf8FromGB18030(std::string("\x81\x7F", 2)).has_value());
    // Long input crosses the converter's internal chunks.
    std::string big(100000, 'x');
    EXPECT_EQ(TextEncoding::utf8FromGB18030(big)->size(), big.size());
}

}  // namespace
}  // namespace lumora
