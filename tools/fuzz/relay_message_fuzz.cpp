// libFuzzer entry (see RelayMessageFuzzBody.h).
#include "tools/fuzz/RelayMessageFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return lumora::fuzz::fuzzRelayMessage(data, size); }
