#include <gtest/gtest.h>

#include "app/core/ConnectionRecord.h"

using namespace lumora;

// A slot names a device only with a device id from 1 and a channel from 0;
// anything else is an empty slot the screens skip.
TEST(ConnectionRecord, CountsAsEmptyUnlessItNamesADeviceAndAChannel) {
    const struct {
        int32_t deviceId, channel;
        bool empty;
    } cases[] = {
        {-1, -1, true},  // a fresh slot
        {0, 0, true},    // device ids start at 1
        {-5, 2, true},   {3, -1, true}, {3, -7, true}, {0, -1, true},
        {1, 0, false},   {7, 15, false},
    };
    for (const auto& c : cases) {
        ConnectionRecord r{c.deviceId, c.channel};
        EXPECT_EQ(r.isEmpty(), c.empty) << c.deviceId << "," << c.channel;
    }
    EXPECT_TRUE(ConnectionRecord{}.isEmpty());
}
