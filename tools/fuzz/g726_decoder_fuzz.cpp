// libFuzzer entry (see G726DecoderFuzzBody.h).
#include "tools/fuzz/G726DecoderFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return lumora::fuzz::fuzzG726Decoder(data, size); }
