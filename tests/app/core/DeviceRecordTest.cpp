#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "app/core/Device.h"
#include "platform/bytes/ByteWriter.h"
#include "platform/Config.h"

using namespace lumora;

namespace {

ByteWriter infoRecord(uint8_t channels) {
    ByteWriter w;
    w.bytes("ABCDEFGHIJKLMNOP", 16);  // no terminator: all 16 characters
    w.fixedText("prod", 16).fixedText("dev", 16).fixedText("1.0", 16);
    w.u32le(2014u | (7u << 16) | (5u << 24));
    w.u8(channels);
    return w;
}

}  // namespace

TEST(Device, IdsComeFromOneAtomicCounter) {
    int32_t next = Device::peekNextDeviceId();
    Device a;
    Device b;
    EXPECT_EQ(a.deviceId, next);
    EXPECT_EQ(b.deviceId, next + 1);

    // Devices made on several threads at once never share an id.
    std::vector<int32_t> ids(8 * 200);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&ids, t] {
            for (int i = 0; i < 200; ++i) ids[t * 200 + i] = Device().deviceId;
        });
    for (auto& th : threads) th.join();
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
    EXPECT_EQ(Device::peekNextDeviceId(), next + 2 + 1600);
}

TEST(Device, InitialValues) {
    Config::shared().relayHosts[0] = "hub-one.test";
    Device d;
    EXPECT_EQ(d.name.get(), std::optional<std::string>(""));
    EXPECT_EQ(d.address.get(), std::optional<std::string>(""));
    EXPECT_EQ(d.udid.get(), std::optional<std::string>(""));
    EXPECT_TRUE(d.inHourseIpStr.isAbsent());
    EXPECT_TRUE(d.queryAddress.isAbsent());
    EXPECT_TRUE(d.pretcpAddress.isAbsent());
    EXPECT_TRUE(d.preudpAddress.isAbsent());
    EXPECT_EQ(d.serverIP.value(), "hub-one.test");
    EXPECT_EQ(d.serverPort.load(), 28622);
    EXPECT_EQ(d.streamType.load(), 1);
    EXPECT_EQ(d.encryptType.load(), 0);
    EXPECT_EQ(d.channelNum.load(), 1);
    EXPECT_EQ(d.deviceConType.load(), 0);
    EXPECT_FALSE(d.alarmOnGuard.load());
    EXPECT_EQ(d.numberOfConnections(), 0);
    d.address = "10.1.2.3";
    d.mediaPort = 5008;
    d.connectNum = 2;
    EXPECT_EQ(d.description(), "10.1.2.3:5008");
    EXPECT_EQ(d.numberOfConnections(), 2);
}

TEST(Device, PopulateDeviceInfoReadsTextsDateAndChannels) {
    ByteWriter w = infoRecord(8);
    ASSERT_EQ(w.size(), Device::kDeviceInfoSize);
    struct Case {
        int32_t channelsBefore;
        int32_t channelsAfter;
    } cases[] = {{1, 1}, {4, 4}, {0, 8}, {-3, 8}};
    for (const auto& c : cases) {
        Device d;
        d.channelNum = c.channelsBefore;
        d.populateDeviceInfo(w.data(), w.size());
        EXPECT_EQ(d.companyID.value(), "ABCDEFGHIJKLMNOP");
        EXPECT_EQ(d.productID.value(), "prod");
        EXPECT_EQ(d.deviceName.value(), "dev");
        EXPECT_EQ(d.swVersion.value(), "1.0");
        EXPECT_EQ(d.manufactureDate.value(), "2014-7-5");
        EXPECT_EQ(d.channelNum.load(), c.channelsAfter) << c.channelsBefore;
    }
}

TEST(Device, PopulateDeviceInfoNeverReadsPastItsLength) {
    ByteWriter w = infoRecord(8);
    // Lengths that cut the record inside each field: only whole fields count.
    struct Case {
        size_t size;
        bool company, version, date, channels;
    } cases[] = {
        {0, false, false, false, false},   {15, false, false, false, false}, {16, true, false, false, false},
        {63, true, false, false, false},   {64, true, true, false, false},   {67, true, true, false, false},
        {68, true, true, true, false},     {69, true, true, true, true},
    };
    for (const auto& c : cases) {
        // A copy of exactly `size` bytes, so ASan sees any read beyond it.
        std::vector<uint8_t> exact(w.data(), w.data() + c.size);
        Device d;
        d.channelNum = 0;
        d.populateDeviceInfo(exact.data(), exact.size());
        EXPECT_EQ(d.companyID.value() == "ABCDEFGHIJKLMNOP", c.company) << c.size;
        EXPECT_EQ(d.swVersion.value() == "1.0", c.version) << c.size;
        EXPECT_EQ(d.manufactureDate.value() == "2014-7-5", c.date) << c.size;
        EXPECT_EQ(d.channelNum.load() == 8, c.channels) << c.size;
    }
    Device d;
    d.populateDeviceInfo(nullptr, 69);
    EXPECT_EQ(d.companyID.value(), "");
}

TEST(Device, PopulateDeviceInfoDropsTextsThatAreNotUtf8) {
    ByteWriter w;
    w.fixedText("caf\xc3\xa9", 16).fixedText("bad\xff", 16).fixedText("", 16).fixedText("v", 16);
    w.u32le(0).u8(0);
    Device d;
    d.populateDeviceInfo(w.data(), w.size());
    EXPECT_EQ(d.companyID.get(), std::optional<std::string>("caf\xc3\xa9"));
    EXPECT_TRUE(d.productID.isAbsent());
    EXPECT_EQ(d.deviceName.get(), std::optional<std::string>(""));
    EXPECT_EQ(d.manufactureDate.value(), "0-0-0");
    EXPECT_EQ(d.channelNum.load(), 1);
}

// A device cuts a long text at its 16-byte field, sometimes inside a
// multi-byte character: the whole characters before the cut are kept.
// Bytes that are ill-formed anywhere else still make the text absent.
TEST(Device, PopulateDeviceInfoKeepsTheWholeCharactersOfACutText) {
    struct Case {
        const char* name;
        std::string field;  // exactly the field's bytes (16, or fewer with zeros after)
        std::optional<std::string> read;
    } cases[] = {
        {"two-byte character cut after its lead", "abcdefghijklmno\xc3", "abcdefghijklmno"},
        {"three-byte character cut after one byte", "\xe6\x91\x84\xe5\x83\x8f\xe6\x9c\xba\xe5\x89\x8d\xe9\x97\xa8\xe5",
         "\xe6\x91\x84\xe5\x83\x8f\xe6\x9c\xba\xe5\x89\x8d\xe9\x97\xa8"},
        {"three-byte character cut after two bytes", "abcdefghijklmn\xe9\x97", "abcdefghijklmn"},
        {"four-byte character cut after three bytes", "abcdefghijklm\xf0\x9f\x93", "abcdefghijklm"},
        {"whole characters to the end", "abcdefghijklm\xe9\x97\xa8", "abcdefghijklm\xe9\x97\xa8"},
        {"a stray continuation byte at the end", "abcdefghijklmno\x80", std::nullopt},
        {"ill-formed before the end", "ab\xff" "cdefghijklmn\xc3", std::nullopt},
        {"a complete character followed by a stray byte", "abcdefghijkl\xc3\xa9\xa9", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ByteWriter w;
        w.zeros(32).bytes(c.field.data(), c.field.size()).zeros(16 - c.field.size()).zeros(16);
        w.u32le(0).u8(0);
        Device d;
        d.populateDeviceInfo(w.data(), w.size());
        EXPECT_EQ(d.deviceName.get(), c.read);
    }
}
