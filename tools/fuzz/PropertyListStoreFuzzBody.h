#pragma once

// One fuzz iteration for the property-list stores, shared by the libFuzzer
// target (plist_store_fuzz.cpp) and the seed test of the normal build. The
// input is read as a property list, then as the device list
// ("devices.plist"), the preferences ("configuration.plist") and the
// defaults store, each through its loader from a file in a sandbox data
// root. Whatever reads must write back and read again.

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/core/FileManager.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "platform/storage/PropertyList.h"
#include "platform/storage/UserDefaults.h"
#include "tools/fuzz/StoreFuzzSandbox.h"

namespace lumora::fuzz {

inline int fuzzPropertyListStore(const uint8_t* data, size_t size) {
    const StoreFuzzSandbox& box = StoreFuzzSandbox::shared();
    box.clear();

    if (auto value = PropertyList::parse(data, size)) {
        // What was read can be written, and what was written can be read.
        const std::string xml = value->toXml();
        if (xml.empty() || !PropertyList::parse(xml.data(), xml.size())) __builtin_trap();
    }

    FileManager files;
    {
        QvDeviceManager devices(files);
        StoreFuzzSandbox::write(devices.storePath(), data, size);
        devices.readDeviceList();
        for (const auto& d : devices.devices()) QvDeviceManager::dictionaryForDevice(*d);
        if (devices.countOfDevices() > 0) {
            if (!devices.saveDeviceList()) __builtin_trap();
            QvDeviceManager again(files);
            again.readDeviceList();
            if (again.countOfDevices() != devices.countOfDevices()) __builtin_trap();
        }
    }
    {
        QvApplicationPreference prefs;
        StoreFuzzSandbox::write(prefs.storePath(), data, size);
        if (prefs.loadApplicationPreference()) prefs.saveApplicationPreference();
    }
    {
        const std::string path = box.root() + "/Preferences/UserDefaults.plist";
        StoreFuzzSandbox::write(path, data, size);
        UserDefaults defaults(path);
        defaults.hasKey("firstStart1");
    }
    return 0;
}

}  // namespace lumora::fuzz
