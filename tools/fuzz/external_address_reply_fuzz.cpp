// libFuzzer entry (see ExternalAddressReplyFuzzBody.h).
#include "tools/fuzz/ExternalAddressReplyFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return lumora::fuzz::fuzzExternalAddressReply(data, size); }
