// The G.726 coder's fuzz target over its seeds.
#include <gtest/gtest.h>

#include "support/FuzzSeeds.h"
#include "tools/fuzz/G726DecoderFuzzBody.h"

using namespace lumora;

TEST(G726DecoderFuzzSeeds, RunClean) {
    EXPECT_GE(test::runFuzzSeeds("g726_corpus", 5000, fuzz::fuzzG726Decoder), 4u);
}
