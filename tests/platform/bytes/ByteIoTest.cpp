#include <gtest/gtest.h>

#include "platform/bytes/ByteReader.h"
#include "platform/bytes/ByteWriter.h"

using namespace lumora;

TEST(ByteReader, EveryReadFailsWithoutMovingWhenDataRunsOut) {
    const uint8_t data[] = {0x01, 0x02, 0x03};
    ByteReader r(data, sizeof data);
    uint32_t v32 = 0xdeadbeef;
    EXPECT_FALSE(r.u32le(v32));
    EXPECT_EQ(v32, 0xdeadbeefu);
    EXPECT_EQ(r.position(), 0u);
    uint16_t v16 = 0;
    ASSERT_TRUE(r.u16le(v16));
    EXPECT_EQ(v16, 0x0201);
    uint64_t v64 = 0;
    EXPECT_FALSE(r.u64be(v64));
    uint8_t buf[2];
    EXPECT_FALSE(r.bytes(buf, 2));
    EXPECT_FALSE(r.skip(2));
    ByteReader sub;
    EXPECT_FALSE(r.sub(2, sub));
    uint8_t b = 0;
    ASSERT_TRUE(r.u8(b));
    EXPECT_EQ(b, 3);
    EXPECT_TRUE(r.empty());
    EXPECT_FALSE(r.u8(b));
}

TEST(ByteReader, ReadsBothByteOrders) {
    const uint8_t data[] = {0x12, 0x34, 0x56, 0x78, 0x12, 0x34, 0x56, 0x78};
    ByteReader r(data, sizeof data);
    uint32_t le = 0, be = 0;
    ASSERT_TRUE(r.u32le(le));
    ASSERT_TRUE(r.u32be(be));
    EXPECT_EQ(le, 0x78563412u);
    EXPECT_EQ(be, 0x12345678u);
}

TEST(ByteReader, FixedTextStopsAtZeroAndNeverPassesItsWidth) {
    struct Case {
        std::vector<uint8_t> bytes;
        size_t width;
        std::string text;
    } cases[] = {
        {{'a', 'b', 0, 'x'}, 4, "ab"},
        {{'a', 'b', 'c', 'd', 'e'}, 4, "abcd"},  // no terminator within the width
        {{0, 'z'}, 2, ""},
    };
    for (const auto& c : cases) {
        ByteReader r(c.bytes.data(), c.bytes.size());
        std::string s;
        ASSERT_TRUE(r.fixedText(c.width, s));
        EXPECT_EQ(s, c.text);
        EXPECT_EQ(r.position(), c.width);
    }
    const uint8_t shortData[] = {'a'};
    ByteReader r(shortData, 1);
    std::string s;
    EXPECT_FALSE(r.fixedText(2, s));
}

TEST(ByteWriter, WritesFieldsAndPatchesAtOffsets) {
    ByteWriter w;
    w.u32be(0).u16le(0x0102).fixedText("abcdef", 4);
    w.putU32beAt(0, static_cast<uint32_t>(w.size() - 4));
    const std::vector<uint8_t> want = {0, 0, 0, 6, 0x02, 0x01, 'a', 'b', 'c', 0};
    EXPECT_EQ(w.bytes(), want);
    w.putU16leAt(12, 0xAABB);  // grows with zeros
    EXPECT_EQ(w.size(), 14u);
    EXPECT_EQ(w.bytes()[10], 0);
    EXPECT_EQ(w.bytes()[12], 0xBB);
}
