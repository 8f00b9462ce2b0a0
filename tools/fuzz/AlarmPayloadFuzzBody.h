#pragma once

// One fuzz iteration for the alarm push payload reader, shared by the
// libFuzzer target (alarm_payload_fuzz.cpp) and the seed test of the normal
// build: the input as the payload's bytes, and as a remark on its own.

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/AlarmNotification.h"

namespace lumora::fuzz {

inline int fuzzAlarmPayload(const uint8_t* data, size_t size) {
    size_t sum = 0;
    if (auto payload = AlarmNotification::payloadFromBytes(data, size)) {
        sum += AlarmNotification::alertText(*payload).value_or("").size();
        if (auto remark = AlarmNotification::remarkText(*payload)) {
            if (auto target = AlarmNotification::parseRemark(*remark)) {
                if (target->channel < 0 || target->deviceName.empty()) __builtin_trap();
                sum += target->deviceName.size();
            }
        }
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (auto target = AlarmNotification::parseRemark(text)) sum += target->deviceName.size();
    if (auto n = AlarmNotification::parseNonNegativeInt(text)) {
        if (*n < 0) __builtin_trap();
    }
    return sum == size_t(-1) ? 1 : 0;
}

}  // namespace lumora::fuzz
