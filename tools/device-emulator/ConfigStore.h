#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace lumora::devemu {

// One kind of configuration record the device keeps: the request types that
// set and get it, the reply type of a get, and the record's size.
struct ConfigKind {
    const char* name;
    uint16_t setType;
    uint16_t getType;    // 0: cannot be read back
    uint16_t replyType;  // 0: no reply record
    size_t size;
    bool perChannel;     // the channel byte at offset 4 picks one of several records
};

// The configuration records of a device, stored per kind (and per channel
// for kinds that have one). A get answers the stored record, or a zero
// record of the kind's size carrying the asked channel until one was set.
// Shared by every session of an emulator, so a set on one link is seen by a
// get on another.
class ConfigStore {
public:
    static const std::vector<ConfigKind>& kinds();
    static const ConfigKind* kindForSet(uint16_t type);
    static const ConfigKind* kindForGet(uint16_t type);

    explicit ConfigStore(int channels) : channels_(channels) {}

    // The record a get request for kind asks for (its body gives the channel).
    std::vector<uint8_t> get(const ConfigKind& kind, std::span<const uint8_t> request) const;
    // Stores a set request's record; false (nothing stored) when its size is
    // not the kind's or its channel is one the device lacks.
    bool set(const ConfigKind& kind, std::span<const uint8_t> record);
    // The channel a record of kind is for (0 for kinds without one).
    static int channelOf(const ConfigKind& kind, std::span<const uint8_t> record);

private:
    int channels_;
    mutable std::mutex mutex_;
    std::map<std::pair<uint16_t, int>, std::vector<uint8_t>> records_;
};

}  // namespace lumora::devemu
