// libFuzzer entry (see PropertyListStoreFuzzBody.h).
#include "tools/fuzz/PropertyListStoreFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return lumora::fuzz::fuzzPropertyListStore(data, size); }
