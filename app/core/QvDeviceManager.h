#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/core/Device.h"

namespace lumora {

class FileManager;
class PropertyList;

// The process-wide ordered list of the user's devices, its look-ups, its
// duplicate test and its store "devices.plist" (XML property list in the
// media folder store's Configuration folder, mode 0600: passwords are kept
// as plain text).
//
// Threads: the list is changed from the main thread and read from
// background queues. Every operation takes the list's lock; devices() gives
// a snapshot to iterate without holding it. Devices are shared: a device
// removed from the list stays valid for whoever still holds it.
//
// Store safety: saves are atomic (AtomicFile) and serialised. A
// "devices.plist" that cannot be parsed, or whose root is not an array, is
// moved aside to "devices.plist.bad" and the list stays empty. The older
// binary list "Documents/device.ggx" is merged once into what
// "devices.plist" holds and deleted only after the merged list was saved.
class QvDeviceManager {
public:
    // indexOfDevice's answer for a device that is not listed.
    static constexpr uint32_t kNotFound = 2147483647;
    static constexpr const char* kStoreName = "devices.plist";
    static constexpr const char* kOldListName = "device.ggx";
    static constexpr size_t kOldRecordSize = 1044;

    static QvDeviceManager& sharedInstance();

    // A manager over the given media folder store (the shared one in the
    // running system; tests make their own).
    explicit QvDeviceManager(FileManager& files);
    QvDeviceManager(const QvDeviceManager&) = delete;
    QvDeviceManager& operator=(const QvDeviceManager&) = delete;

    // A copy of the list, in order.
    std::vector<std::shared_ptr<Device>> devices() const;
    uint32_t countOfDevices() const;
    // nullptr when the index is not below the count.
    std::shared_ptr<Device> objectInDevicesAtIndex(uint32_t index) const;
    // Inserts at `index` (not above the count) unless the same object, or a
    // device with an equal address and media port, is listed. True when
    // inserted.
    bool insertObject(std::shared_ptr<Device> device, uint32_t index);
    // True when there was a device at the index to remove.
    bool removeObjectFromDevicesAtIndex(uint32_t index);
    // Appends unless it is a duplicate (see doesDeviceHaveDuplicateAttribute);
    // the test and the append are one step under the lock.
    bool addDevice(std::shared_ptr<Device> device);
    // True when that object was listed and is now removed.
    bool removeDevice(const std::shared_ptr<Device>& device);
    // Removes the first device with that id; true when there was one.
    bool removeDeviceWithId(int32_t deviceId);
    // Position of that object, or kNotFound.
    uint32_t indexOfDevice(const std::shared_ptr<Device>& device) const;
    std::shared_ptr<Device> deviceWithId(int32_t deviceId) const;
    // Exact, case-sensitive; devices without a name are passed over.
    std::shared_ptr<Device> deviceWithName(const std::string& name) const;
    // nullptr for an absent or empty udid.
    std::shared_ptr<Device> deviceWithUID(const std::optional<std::string>& udid) const;
    std::shared_ptr<Device> deviceWithAddress(const std::string& address, int32_t port) const;
    // True when another listed device clashes with `device`: the same name,
    // or, by the kind of `device` (deviceConType 1: address and media port;
    // else: udid), the same address and port or the same udid. An absent
    // text never equals anything.
    bool doesDeviceHaveDuplicateAttribute(const std::shared_ptr<Device>& device) const;

    // Start-up: migrates "device.ggx" when present (loadOldList), else
    // appends the devices of "devices.plist".
    void readDeviceList();
    // Writes the whole list; true when the file was replaced.
    bool saveDeviceList();
    // One-time migration of "device.ggx" (see the class comment); true when
    // that file was found and read.
    bool loadOldList();
    // Appends the demonstration device "Demo" without a duplicate test.
    void setDefaultDevice();

    std::string storePath() const;    // "" when the store has no folder
    std::string oldListPath() const;  // "" when there is no data root

    // The store's dictionary for one device, and a device from one.
    static PropertyList dictionaryForDevice(Device& device);
    static std::shared_ptr<Device> deviceFromDictionary(const PropertyList& dict);

private:
    // Devices of "devices.plist"; a malformed file is moved aside.
    std::vector<std::shared_ptr<Device>> readStore() const;
    static bool clashes(const Device& candidate, const Device& listed);
    bool isDuplicateLocked(const Device& candidate, const Device* skip) const;

    FileManager& files_;
    mutable std::mutex lock_;
    std::mutex saveLock_;
    std::vector<std::shared_ptr<Device>> devices_;
    // Set when "devices.plist" exists but could not be read: saving then
    // refuses, so a passing read error never costs the stored devices.
    mutable std::atomic<bool> unreadableStore_{false};
};

}  // namespace lumora
