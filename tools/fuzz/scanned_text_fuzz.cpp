// libFuzzer entry (see ScannedTextFuzzBody.h).
#include "tools/fuzz/ScannedTextFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return lumora::fuzz::fuzzScannedText(data, size); }
