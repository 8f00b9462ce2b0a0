// libFuzzer entry for the configuration file reader (see ConfigFileFuzzBody.h).
#include "tools/fuzz/ConfigFileFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumora::fuzz::fuzzConfigFile(data, size);
}
