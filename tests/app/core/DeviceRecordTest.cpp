#include <gtest/gtest.h>

#include "app/core/Device.h"
#include "platform/ByteWriter.h"

using namespace lumora;

TEST(Device, IdsComeFromOneCounter) {
    int32_t next = Device::peekNextDeviceId();
    Device a;
    Device b;
    EXPECT_EQ(a.deviceId, next);
    EXPECT_EQ(b.deviceId, next + 1);
}

TEST(Device, PopulateDeviceInfoReadsTextsDateAndChannels) {
    ByteWriter w;
    w.bytes("ABCDEFGHIJKLMNOP", 16);  // no terminator: all 16 characters
    w.fixedText("prod", 16).fixedText("dev", 16).fixedText("1.0", 16);
    w.u32le(2014u | (7u << 16) | (5u << 24));
    w.u8(8);
    Device d;
    d.populateDeviceInfo(w.data(), w.size());
    EXPECT_EQ(d.companyID.value(), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(d.productID.value(), "prod");
    EXPECT_EQ(d.manufactureDate.value(), "2014-7-5");
    EXPECT_EQ(d.channelNum.load(), 1);  // already known: kept
    Device unknown;
    unknown.channelNum = 0;
    unknown.populateDeviceInfo(w.data(), w.size());
    EXPECT_EQ(unknown.channelNum.load(), 8);
    Device truncated;
    truncated.channelNum = 0;
    truncated.populateDeviceInfo(w.data(), 20);  // never reads past what it was given
    EXPECT_EQ(truncated.channelNum.load(), 0);
}
