// libFuzzer entry (see AlarmPayloadFuzzBody.h).
#include "tools/fuzz/AlarmPayloadFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return lumora::fuzz::fuzzAlarmPayload(data, size); }
