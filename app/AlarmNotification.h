#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/storage/PropertyList.h"

namespace lumora {

// Reading an alarm push notification: a dictionary whose "aps" entry is a
// dictionary with the text to show ("alert") and a remark ("remark") of
// fields separated by "|", field 2 (from 0) naming the channel and field 5
// the device's name.
//
// Payloads come from outside: every read is bounded and any missing,
// mistyped or malformed part gives nullopt, never a guess.
class AlarmNotification {
public:
    // Longest remark that is looked at; longer ones name nothing.
    static constexpr size_t kMaxRemarkLength = 4096;
    static constexpr size_t kChannelField = 2;
    static constexpr size_t kNameField = 5;
    static constexpr size_t kMinFields = 6;

    struct Target {
        int32_t channel = 0;
        std::string deviceName;
    };

    // A payload as it arrives: a property list (XML or binary) whose root
    // is a dictionary; nullopt for anything else, hostile files included
    // (see PropertyList::parse).
    static std::optional<PropertyList> payloadFromBytes(const void* data, size_t size);
    // "aps"/"alert" as text: a text value, or the "body" of a dictionary
    // value; nullopt when absent or of another kind.
    static std::optional<std::string> alertText(const PropertyList& payload);
    // "aps"/"remark" as text; nullopt when absent or not a text.
    static std::optional<std::string> remarkText(const PropertyList& payload);
    // The channel and device name a remark names: at least six fields, a
    // channel field that is a whole number from 0 to INT32_MAX (blanks
    // around it allowed) and a non-empty name.
    static std::optional<Target> parseRemark(const std::string& remark);
    // A whole non-negative decimal number within int32 (surrounding blanks
    // allowed), else nullopt.
    static std::optional<int32_t> parseNonNegativeInt(const std::string& text);
};

}  // namespace lumora
