#pragma once

// One fuzz iteration for the migration of the old fixed-record device list
// ("device.ggx"), shared by the libFuzzer target (old_device_list_fuzz.cpp)
// and the seed test of the normal build. The input is the old file in a
// sandbox data root; every device it yields must survive the save and the
// next start.

#include <cstddef>
#include <cstdint>

#include "app/core/FileManager.h"
#include "app/core/QvDeviceManager.h"
#include "platform/storage/PropertyList.h"
#include "tools/fuzz/StoreFuzzSandbox.h"

namespace lumora::fuzz {

inline int fuzzOldDeviceList(const uint8_t* data, size_t size) {
    StoreFuzzSandbox::shared().clear();
    FileManager files;
    QvDeviceManager devices(files);
    StoreFuzzSandbox::write(devices.oldListPath(), data, size);
    if (!devices.loadOldList()) return 0;
    QvDeviceManager again(files);
    again.readDeviceList();
    if (again.countOfDevices() != devices.countOfDevices()) __builtin_trap();
    for (const auto& d : again.devices()) QvDeviceManager::dictionaryForDevice(*d);
    return 0;
}

}  // namespace lumora::fuzz
