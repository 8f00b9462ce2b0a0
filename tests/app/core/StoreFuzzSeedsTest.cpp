// The store fuzz targets (property-list stores, the old device list) over
// their seeds. Each input goes through files, so fewer mutations run here.
#include <gtest/gtest.h>

#include "support/FuzzSeeds.h"
#include "tools/fuzz/OldDeviceListFuzzBody.h"
#include "tools/fuzz/PropertyListStoreFuzzBody.h"

using namespace lumora;

TEST(StoreFuzzSeeds, PropertyListStoresRunClean) {
    EXPECT_GE(test::runFuzzSeeds("plist_store_corpus", 600, fuzz::fuzzPropertyListStore), 5u);
}

TEST(StoreFuzzSeeds, OldDeviceListRunsClean) {
    EXPECT_GE(test::runFuzzSeeds("old_device_list_corpus", 600, fuzz::fuzzOldDeviceList), 3u);
}
