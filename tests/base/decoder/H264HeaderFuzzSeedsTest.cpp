// The H.264 header parser's fuzz target over its seeds.
#include <gtest/gtest.h>

#include "support/FuzzSeeds.h"
#include "tools/fuzz/H264HeaderFuzzBody.h"

using namespace lumora;

TEST(H264HeaderFuzzSeeds, RunClean) {
    EXPECT_GE(test::runFuzzSeeds("h264_header_corpus", 20000, fuzz::fuzzH264Header), 5u);
}
