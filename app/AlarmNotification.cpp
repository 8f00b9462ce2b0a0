#include "app/AlarmNotification.h"

#include <limits>

namespace lumora {

namespace {

const PropertyList* apsEntry(const PropertyList& payload, const char* key) {
    if (!payload.isDictionary()) return nullptr;
    const PropertyList* aps = payload.find("aps");
    if (!aps || !aps->isDictionary()) return nullptr;
    return aps->find(key);
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::optional<PropertyList> AlarmNotification::payloadFromBytes(const void* data, size_t size) {
    std::optional<PropertyList> payload = PropertyList::parse(data, size);
    if (!payload || !payload->isDictionary()) return std::nullopt;
    return payload;
}

std::optional<std::string> AlarmNotification::alertText(const PropertyList& payload) {
    const PropertyList* alert = apsEntry(payload, "alert");
    if (!alert) return std::nullopt;
    if (alert->isDictionary()) {
        const PropertyList* body = alert->find("body");
        return body ? body->asString() : std::nullopt;
    }
    return alert->asString();
}

std::optional<std::string> AlarmNotification::remarkText(const PropertyList& payload) {
    const PropertyList* remark = apsEntry(payload, "remark");
    return remark ? remark->asString() : std::nullopt;
}

std::optional<int32_t> AlarmNotification::parseNonNegativeInt(const std::string& text) {
    size_t i = 0, end = text.size();
    while (i < end && isBlank(text[i])) ++i;
    while (end > i && isBlank(text[end - 1])) --end;
    if (i < end && text[i] == '+') ++i;
    if (i == end) return std::nullopt;
    int64_t value = 0;
    for (; i < end; ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

std::optional<AlarmNotification::Target> AlarmNotification::parseRemark(const std::string& remark) {
    if (remark.empty() || remark.size() > kMaxRemarkLength) return std::nullopt;
    // Only the fields up to the name are kept.
    std::string fields[kMinFields];
    size_t count = 0, start = 0;
    while (count < kMinFields) {
        size_t bar = remark.find('|', start);
        fields[count++] = remark.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    if (count < kMinFields) return std::nullopt;
    std::optional<int32_t> channel = parseNonNegativeInt(fields[kChannelField]);
    if (!channel || fields[kNameField].empty()) return std::nullopt;
    return Target{*channel, fields[kNameField]};
}

}  // namespace lumora
