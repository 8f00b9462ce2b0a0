#pragma once

// One fuzz iteration for the push service's answer to an alarm registration
// (Base64 of RC4 after the first line break, then "result=" and a code),
// shared by the libFuzzer target (alarm_registration_reply_fuzz.cpp) and the
// seed test of the normal build: the input as a whole reply body and as an
// already deciphered text. A code is read from two characters, so it lies
// between -9 and 99.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/core/AlarmRegistrationReply.h"

namespace lumora::fuzz {

inline int fuzzAlarmRegistrationReply(const uint8_t* data, size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    for (auto code : {AlarmRegistrationReply::answerCode(body), AlarmRegistrationReply::codeInDeciphered(body)}) {
        if (code && (*code < -9 || *code > 99)) __builtin_trap();
    }
    return 0;
}

}  // namespace lumora::fuzz
