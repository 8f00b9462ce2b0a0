#include "app/AlarmNotification.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>

using namespace lumora;

namespace {

struct RemarkCase {
    std::string remark;
    bool ok;
    int32_t channel;
    std::string name;
};

TEST(AlarmNotificationTest, RemarkNamesChannelAndDeviceOrNothing) {
    const RemarkCase cases[] = {
        {"a|b|3|d|e|Cam A", true, 3, "Cam A"},
        {"a|b|0|d|e|Cam A|f|g", true, 0, "Cam A"},  // later fields unused
        {"||7|||x", true, 7, "x"},
        {"a|b| 12 |d|e|Cam", true, 12, "Cam"},
        {"a|b|+5|d|e|Cam", true, 5, "Cam"},
        {"a|b|2147483647|d|e|Cam", true, 2147483647, "Cam"},
        {"", false, 0, ""},
        {"a|b|3|d|Cam A", false, 0, ""},            // five fields
        {"a|b||d|e|Cam", false, 0, ""},             // empty channel
        {"a|b|x3|d|e|Cam", false, 0, ""},
        {"a|b|3x|d|e|Cam", false, 0, ""},
        {"a|b|-1|d|e|Cam", false, 0, ""},
        {"a|b|2147483648|d|e|Cam", false, 0, ""},   // beyond int32
        {"a|b|99999999999999999999999|d|e|Cam", false, 0, ""},
        {"a|b|1|d|e|", false, 0, ""},               // no name
        {"a|b|1|d|e|" + std::string(5000, 'n'), false, 0, ""},  // too long
    };
    for (const auto& c : cases) {
        auto t = AlarmNotification::parseRemark(c.remark);
        ASSERT_EQ(t.has_value(), c.ok) << c.remark.substr(0, 40);
        if (!t) continue;
        EXPECT_EQ(t->channel, c.channel) << c.remark;
        EXPECT_EQ(t->deviceName, c.name) << c.remark;
    }
}

TEST(AlarmNotificationTest, PayloadTextsOnlyFromAnApsDictionary) {
    PropertyList aps = PropertyList::makeDictionary();
    aps.set("alert", PropertyList::makeString("Motion"));
    aps.set("remark", PropertyList::makeString("r"));
    PropertyList good = PropertyList::makeDictionary();
    good.set("aps", aps);
    EXPECT_EQ(AlarmNotification::alertText(good), std::optional<std::string>("Motion"));
    EXPECT_EQ(AlarmNotification::remarkText(good), std::optional<std::string>("r"));

    PropertyList body = PropertyList::makeDictionary();
    body.set("body", PropertyList::makeString("From body"));
    PropertyList aps2 = PropertyList::makeDictionary();
    aps2.set("alert", body);
    aps2.set("remark", PropertyList::makeArray());
    PropertyList nested = PropertyList::makeDictionary();
    nested.set("aps", aps2);
    EXPECT_EQ(AlarmNotification::alertText(nested), std::optional<std::string>("From body"));
    EXPECT_EQ(AlarmNotification::remarkText(nested), std::nullopt);

    PropertyList flat = PropertyList::makeDictionary();
    flat.set("aps", PropertyList::makeString("x"));
    for (const PropertyList& p : {flat, PropertyList::makeDictionary(), PropertyList::makeInteger(1)}) {
        EXPECT_EQ(AlarmNotification::alertText(p), std::nullopt);
        EXPECT_EQ(AlarmNotification::remarkText(p), std::nullopt);
    }
}

// The payload reader is fed from outside: a file that crashed it (a zero
// byte inside the remark and inside a key) is refused whole; the same
// payload without them names its channel and device.
TEST(AlarmNotificationTest, HostilePayloadBytesAreRefused) {
    std::ifstream in(LUMORA_TEST_DATA_DIR "/hostile/alarm-payload.plist", std::ios::binary);
    const std::string hostile{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(hostile.empty());
    EXPECT_EQ(AlarmNotification::payloadFromBytes(hostile.data(), hostile.size()), std::nullopt);

    PropertyList aps = PropertyList::makeDictionary();
    aps.set("alert", PropertyList::makeString("Motion"));
    aps.set("remark", PropertyList::makeString("1|2|0|4|5|Cam"));
    PropertyList root = PropertyList::makeDictionary();
    root.set("aps", aps);
    const std::string xml = root.toXml();
    auto payload = AlarmNotification::payloadFromBytes(xml.data(), xml.size());
    ASSERT_TRUE(payload);
    auto target = AlarmNotification::parseRemark(AlarmNotification::remarkText(*payload).value_or(""));
    ASSERT_TRUE(target);
    EXPECT_EQ(target->deviceName, "Cam");

    const std::string array = PropertyList::makeArray().toXml();
    EXPECT_EQ(AlarmNotification::payloadFromBytes(array.data(), array.size()), std::nullopt) << "root not a dictionary";
}

}  // namespace
