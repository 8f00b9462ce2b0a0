#pragma once

#include <cstdint>

namespace lumora {

// What one live-view slot showed last: the in-memory device id of the device
// (Device::deviceId) and its zero-based channel; both -1 when the slot is
// empty. Device ids are handed out from 1 in device-list order at every
// start, so a stored record refers to the device at the same list position,
// and a record with a device id of 0 or less, or a channel below 0, names
// nothing: it counts as empty too.
struct ConnectionRecord {
    int32_t deviceId = -1;
    int32_t channel = -1;

    bool isEmpty() const { return deviceId <= 0 || channel < 0; }
    bool operator==(const ConnectionRecord& o) const { return deviceId == o.deviceId && channel == o.channel; }
};

}  // namespace lumora
