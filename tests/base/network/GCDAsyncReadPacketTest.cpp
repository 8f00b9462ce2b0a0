#include "base/network/GCDAsyncReadPacket.h"

#include <gtest/gtest.h>

#include <string>

namespace lumora {
namespace {

std::vector<uint8_t> bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

GCDAsyncReadPacket termPacket(const std::string& stored, const std::string& term, size_t maxLength = 0) {
    GCDAsyncReadPacket p(nullptr, 0, maxLength, -1, 0, bytes(term), 0);
    p.buffer->assign(stored.begin(), stored.end());
    p.bytesDone = stored.size();
    return p;
}

TEST(GCDAsyncReadPacket, TerminatorInPreBuffer) {
    struct Case {
        const char* name;
        std::string stored, pre, term;
        size_t maxLength;
        size_t want;
        bool found;
    };
    const Case cases[] = {
        {"whole line waiting", "", "ab\r\ncd", "\r\n", 0, 4, true},
        {"terminator split: CR stored, LF waiting", "ab\r", "\ncd", "\r\n", 0, 1, true},
        {"no terminator takes everything", "ab", "cdef", "\r\n", 0, 4, false},
        {"fewer bytes than the terminator", "", "a", "\r\n\r\n", 0, 1, false},
        {"maximum caps the bytes taken", "ab", "cdefgh", "\r\n", 5, 3, false},
        {"terminator beyond the maximum is not seen", "", "abc\r\n", "\r\n", 4, 4, false},
        {"long terminator spanning stored and waiting", "xx\r\n\r", "\nyy", "\r\n\r\n", 0, 1, true},
        {"earliest match wins", "", "a\nb\nc", "\n", 0, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GCDAsyncReadPacket p = termPacket(c.stored, c.term, c.maxLength);
        bool found = false;
        EXPECT_EQ(p.readLengthForTermWithPreBuffer(bytes(c.pre), &found), c.want);
        EXPECT_EQ(found, c.found);
    }
}

TEST(GCDAsyncReadPacket, TerminatorAfterReadingIntoBuffer) {
    struct Case {
        const char* name;
        std::string stored, fresh, term;
        long overflow;
    };
    const Case cases[] = {
        {"ends on the last new byte", "ab", "c\r\n", "\r\n", 0},
        {"bytes follow the terminator", "", "ab\r\ncd", "\r\n", 2},
        {"split across reads", "ab\r", "\ncd", "\r\n", 2},
        {"not there", "ab", "cd", "\r\n", -1},
        {"old match is not found again", "a\nb", "cd", "\n", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GCDAsyncReadPacket p = termPacket(c.stored + c.fresh, c.term);
        p.bytesDone = c.stored.size();
        EXPECT_EQ(p.searchForTermAfterPreBuffering(c.fresh.size()), c.overflow);
    }
}

TEST(GCDAsyncReadPacket, LengthsAndCallerBuffer) {
    GCDAsyncReadPacket exact(nullptr, 0, 0, -1, 10, {}, 0);
    EXPECT_EQ(exact.buffer->size(), 10u);
    exact.bytesDone = 4;
    EXPECT_EQ(exact.readLengthForNonTermWithHint(100), 6u);
    EXPECT_EQ(exact.readLengthForNonTermWithHint(3), 3u);

    GCDAsyncReadPacket capped(nullptr, 0, 8, -1, 0, {}, 0);
    capped.bytesDone = 5;
    EXPECT_EQ(capped.readLengthForNonTermWithHint(100), 3u);

    auto callerBuffer = std::make_shared<std::vector<uint8_t>>(100, 7);
    GCDAsyncReadPacket into(callerBuffer, 100, 0, -1, 0, {}, 0);
    EXPECT_FALSE(into.bufferOwner);
    EXPECT_EQ(into.originalBufferLength, 100u);
    into.ensureCapacityForAdditionalDataOfLength(50);
    EXPECT_EQ(callerBuffer->size(), 150u);

    bool preBuffer = false;
    GCDAsyncReadPacket term(nullptr, 0, 0, -1, 0, bytes("\n"), 0);
    EXPECT_EQ(term.readLengthForTermWithHint(64, &preBuffer), 64u);
    EXPECT_TRUE(preBuffer);  // an empty own buffer has no room: read ahead
}

}  // namespace
}  // namespace lumora
