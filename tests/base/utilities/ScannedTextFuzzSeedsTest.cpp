// The scanned-text classifier's fuzz target over its seeds.
#include <gtest/gtest.h>

#include "support/FuzzSeeds.h"
#include "tools/fuzz/ScannedTextFuzzBody.h"

using namespace lumora;

TEST(ScannedTextFuzzSeeds, RunClean) {
    EXPECT_GE(test::runFuzzSeeds("scanned_text_corpus", 20000, fuzz::fuzzScannedText), 5u);
    // The seeds are the forms they are named after.
    auto seeds = test::fuzzSeeds("scanned_text_corpus");
    auto kindOf = [&](size_t i) { return QRCodeText::classify(std::string(seeds[i].begin(), seeds[i].end())).kind; };
    EXPECT_EQ(kindOf(0), QRCodeText::Kind::Uid);   // blank.txt
    EXPECT_EQ(kindOf(1), QRCodeText::Kind::Uid);   // uid.txt
    EXPECT_EQ(kindOf(2), QRCodeText::Kind::Url);   // url.txt
    EXPECT_EQ(kindOf(3), QRCodeText::Kind::WiFi);  // wifi.txt
    EXPECT_EQ(kindOf(4), QRCodeText::Kind::Uid);   // wifi_no_password.txt
}
