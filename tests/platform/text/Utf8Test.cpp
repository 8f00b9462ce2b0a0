#include <gtest/gtest.h>

#include "platform/text/Utf8.h"

using namespace lumora;

TEST(Utf8, ValidatesAndRepairs) {
    struct Case {
        std::string in;
        bool valid;
        std::string repaired;
    } cases[] = {
        {"", true, ""},
        {"plain", true, "plain"},
        {"caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x93\xb7", true, "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x93\xb7"},
        {"a\xff" "b", false, "a\xef\xbf\xbd" "b"},
        {"\xc0\xaf", false, "\xef\xbf\xbd\xef\xbf\xbd"},     // overlong "/"
        {"\xed\xa0\x80", false, "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // surrogate
        {"x\xe6\x97", false, "x\xef\xbf\xbd\xef\xbf\xbd"},  // truncated sequence
        {"\xf4\x90\x80\x80", false, "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // above U+10FFFF
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8::isValid(c.in), c.valid) << c.in;
        EXPECT_EQ(Utf8::repaired(c.in), c.repaired) << c.in;
        EXPECT_TRUE(Utf8::isValid(Utf8::repaired(c.in)));
    }
}
