// The alarm payload reader's fuzz target over its seeds.
#include <gtest/gtest.h>

#include "support/FuzzSeeds.h"
#include "tools/fuzz/AlarmPayloadFuzzBody.h"

using namespace lumora;

TEST(AlarmPayloadFuzzSeeds, RunClean) {
    EXPECT_GE(test::runFuzzSeeds("alarm_payload_corpus", 20000, fuzz::fuzzAlarmPayload), 4u);
}
