// libFuzzer entry (see HoleReplyFuzzBody.h).
#include "tools/fuzz/HoleReplyFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return lumora::fuzz::fuzzHoleReply(data, size); }
