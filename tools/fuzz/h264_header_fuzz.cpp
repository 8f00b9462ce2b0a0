// libFuzzer entry (see H264HeaderFuzzBody.h).
#include "tools/fuzz/H264HeaderFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return lumora::fuzz::fuzzH264Header(data, size); }
