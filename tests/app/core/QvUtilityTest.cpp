#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <regex>

#include "app/core/QvUtility.h"
#include "platform/AlertPresenter.h"
#include "platform/Config.h"
#include "platform/Log.h"
#include "platform/text/Localization.h"

using namespace lumora;

namespace {

void pinZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
}

}  // namespace

TEST(QvUtility, TimeTextsAtTheirLimits) {
    pinZone("UTC");
    struct Case {
        int64_t seconds;
        const char* text;
    } cases[] = {
        {0, "1970-1-1 0:0:0"},
        {-1, "1969-12-31 23:59:59"},
        {2147483647, "2038-1-19 3:14:7"},
        {2147483648LL, "2038-1-19 3:14:8"},
        {1404518705, "2014-7-5 0:5:5"},
        {INT64_MAX, ""},  // beyond the calendar: no text rather than garbage
        {INT64_MIN, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(QvUtility::stringWithLongLongTime(c.seconds), c.text) << c.seconds;
    pinZone("JST-9");  // local time, not UTC
    EXPECT_EQ(QvUtility::stringWithLongLongTime(0), "1970-1-1 9:0:0");
    pinZone("UTC");
    EXPECT_TRUE(std::regex_match(QvUtility::stringWithCurrentTime(), std::regex(R"(\d{4}(_\d{2}){5})")));
}

TEST(QvUtility, OwspDateAndAddressTexts) {
    struct Case {
        uint32_t word;
        const char* text;
    } cases[] = {
        {2014u | (12u << 16) | (31u << 24), "2014-12-31"},
        {2014u | (1u << 16) | (2u << 24), "2014-1-2"},
        {2014u | (7u << 16) | (5u << 24), "2014-7-5"},
        {0, "0-0-0"},
        {0xFFFFFFFFu, "65535-255-255"},
    };
    for (const auto& c : cases) EXPECT_EQ(QvUtility::stringWithOwspDate(c.word), c.text);
    const uint8_t mem[4] = {192, 168, 1, 10};
    uint32_t word = uint32_t(mem[0]) | uint32_t(mem[1]) << 8 | uint32_t(mem[2]) << 16 | uint32_t(mem[3]) << 24;
    EXPECT_EQ(QvUtility::stringWithIPAddress(word), "192.168.1.10");
    EXPECT_EQ(QvUtility::stringWithIPAddress(0xFFFFFFFFu), "255.255.255.255");
    EXPECT_EQ(QvUtility::stringWithAddress("10.0.0.1", 5008), "10.0.0.1_5008");
}

TEST(QvUtility, ChannelMasksAtTheirLimits) {
    struct Case {
        int32_t channel;
        uint32_t mask;
    } cases[] = {
        {0, 1u}, {1, 2u}, {30, 0x40000000u}, {31, 0x80000000u}, {32, 0}, {33, 0}, {-1, 0}, {INT32_MIN, 0}, {INT32_MAX, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QvUtility::maskForChannel(c.channel), c.mask) << c.channel;
        EXPECT_EQ(QvUtility::maskForChannel(c.channel, 0x10u), c.mask | 0x10u) << c.channel;
    }
    EXPECT_EQ(QvUtility::channelForMask(0x5), (std::vector<int>{1, 3}));
    EXPECT_EQ(QvUtility::channelForMask(0), std::vector<int>{});
    EXPECT_EQ(QvUtility::channelForMask(0x80000000u), std::vector<int>{32});
    EXPECT_EQ(QvUtility::channelForMask(0xFFFFFFFFu).size(), 32u);
}

TEST(QvUtility, ShowAlertGoesThroughThePresenterWithTheLocalizedButton) {
    struct Recorder : AlertPresenter {
        std::string title, message, button;
        int count = 0;
        void present(const std::string& t, const std::string& m, const std::string& b) override {
            title = t;
            message = m;
            button = b;
            ++count;
        }
    };
    Config::shared().resourceDir = LUMORA_RESOURCE_DIR;
    Localization::reload();
    auto rec = std::make_shared<Recorder>();
    AlertPresenter::install(rec);
    QvUtility::showAlert("Title", "Details");
    EXPECT_EQ(rec->count, 1);
    EXPECT_EQ(rec->title, "Title");
    EXPECT_EQ(rec->message, "Details");
    EXPECT_EQ(rec->button, "OK");
    AlertPresenter::install(nullptr);  // back to the logging presenter
    Log::takeHeld();
    QvUtility::showAlert("T", "M");
    EXPECT_NE(Log::held().find("alert: T: M [OK]\n"), std::string::npos);
    EXPECT_EQ(rec->count, 1);
}
