// libFuzzer entry for the device message parser (see OWSPParserFuzzBody.h).
#include "tools/fuzz/OWSPParserFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumora::fuzz::fuzzOwspParser(data, size);
}
