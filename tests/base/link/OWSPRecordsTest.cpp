#include <gtest/gtest.h>

#include "OWSPTestBytes.h"
#include "base/link/OWSPRecords.h"

using namespace lumora;
using lumora::testing::hexOf;
using lumora::testing::wireBytes;

TEST(OWSPRecords, TextsAreCutAtTheByteWidthAndReadBounded) {
    owsp::FixedText<4> t = "abcdef";
    EXPECT_EQ(t.str(), "abcd");
    // "é" is two bytes: a cut inside it keeps the first byte only.
    owsp::FixedText<4> u = "abc\xC3\xA9";
    EXPECT_EQ(u.str(), "abc\xC3");
    owsp::FixedText<4> full = "wxyz";
    // A field filled to its width has no terminator, and reading it stops at the width.
    _TLV_V_DeviceInfo info;
    info.companyIdentity = "0123456789ABCDEF";
    info.productIdentity = "p";
    std::vector<uint8_t> wire = owsp::encode(info);
    ASSERT_EQ(wire.size(), 74u);
    EXPECT_EQ(wire[16], 'p');
    _TLV_V_DeviceInfo back = owsp::decodeBody<_TLV_V_DeviceInfo>(wire);
    EXPECT_EQ(back.companyIdentity.str(), "0123456789ABCDEF");
    EXPECT_EQ(back.productIdentity.str(), "p");
    EXPECT_EQ(full.str(), "wxyz");
}

TEST(OWSPRecords, BodiesShorterOrLongerThanTheRecordAreTakenSafely) {
    // Shorter: the missing fields read as zero.
    std::vector<uint8_t> shortBody = wireBytes("02 00 0000 07000000");  // channel, -, frame index, (time missing)
    auto info = owsp::decodeBody<_TLV_V_VideoFrameInfo>(shortBody);
    EXPECT_EQ(info.channelId, 2);
    EXPECT_EQ(info.frameIndex, 7u);
    EXPECT_EQ(info.time, 0u);
    // Longer: cut to the record.
    std::vector<uint8_t> longBody = wireBytes("0100 0200 ffx100");
    auto resp = owsp::decodeBody<_TLV_V_LoginResponse>(longBody);
    EXPECT_EQ(resp.result, 1);
    EXPECT_EQ(resp.reserve, 2);
    // Nothing at all.
    auto empty = owsp::decodeBody<_TLV_V_FileInfo>({});
    EXPECT_EQ(empty.fileName.str(), "");
}

TEST(OWSPRecords, PaddedRecordsRoundTrip) {
    _TLV_V_TalkResponse t;
    t.result = 1;
    t.audioFormat.samplesPerSecond = 8000;
    t.audioFormat.waveFormat = 0x45;
    t.reserve = 0xBEEF;
    std::vector<uint8_t> wire = owsp::encode(t);
    EXPECT_EQ(hexOf(wire), hexOf(wireBytes("0100 0000 401f0000 00000000 4500 0000 0000 0000 0000 0000 efbe 0000")));
    auto back = owsp::decodeBody<_TLV_V_TalkResponse>(wire);
    EXPECT_EQ(back.result, 1);
    EXPECT_EQ(back.audioFormat.samplesPerSecond, 8000u);
    EXPECT_EQ(back.audioFormat.waveFormat, 0x45);
    EXPECT_EQ(back.reserve, 0xBEEF);

    _TLV_V_FileInfo f;
    f.fileName = "ch01/0001.264";
    f.values = {1, 2, 3};
    f.startTime.m_year = 2024;
    f.endTime.m_second = 59;
    f.value1 = 4;
    f.value2 = 5;
    auto fb = owsp::decodeBody<_TLV_V_FileInfo>(owsp::encode(f));
    EXPECT_EQ(fb.fileName.str(), "ch01/0001.264");
    EXPECT_EQ(fb.values, f.values);
    EXPECT_EQ(fb.startTime.m_year, 2024u);
    EXPECT_EQ(fb.endTime.m_second, 59u);
    EXPECT_EQ(fb.value2, 5);
}
