// libFuzzer entry (see AlarmRegistrationReplyFuzzBody.h).
#include "tools/fuzz/AlarmRegistrationReplyFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return lumora::fuzz::fuzzAlarmRegistrationReply(data, size); }
