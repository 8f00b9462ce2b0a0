// libFuzzer entry (see OldDeviceListFuzzBody.h).
#include "tools/fuzz/OldDeviceListFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return lumora::fuzz::fuzzOldDeviceList(data, size); }
