#include "tools/device-emulator/ConfigStore.h"

namespace lumora::devemu {

namespace {
constexpr size_t kChannelOffset = 4;
}

const std::vector<ConfigKind>& ConfigStore::kinds() {
    static const std::vector<ConfigKind> table = {
        {"camera-color", 301, 401, 402, 12, true},
        {"motion-detect", 302, 403, 404, 4640, true},
        {"hide-detect", 303, 405, 406, 32, true},
        {"loss-detect", 304, 407, 408, 32, true},
        {"sensor", 305, 409, 410, 32, true},
        {"record", 306, 411, 412, 180, true},
        {"video-encode", 307, 413, 414, 24, true},
        {"audio-encode", 308, 415, 416, 28, true},
        {"network", 309, 417, 418, 72, false},
        {"email", 310, 419, 419, 1032, false},
        {"system", 311, 421, 422, 44, false},
        {"alarm-control", 341, 0, 0, 8, false},
    };
    return table;
}

const ConfigKind* ConfigStore::kindForSet(uint16_t type) {
    for (const ConfigKind& k : kinds())
        if (k.setType == type) return &k;
    return nullptr;
}

const ConfigKind* ConfigStore::kindForGet(uint16_t type) {
    for (const ConfigKind& k : kinds())
        if (k.getType != 0 && k.getType == type) return &k;
    return nullptr;
}

int ConfigStore::channelOf(const ConfigKind& kind, std::span<const uint8_t> record) {
    if (!kind.perChannel || record.size() <= kChannelOffset) return 0;
    return record[kChannelOffset];
}

std::vector<uint8_t> ConfigStore::get(const ConfigKind& kind, std::span<const uint8_t> request) const {
    const int channel = channelOf(kind, request);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = records_.find({kind.setType, channel});
        if (it != records_.end()) return it->second;
    }
    std::vector<uint8_t> fresh(kind.size, 0);
    if (kind.perChannel) fresh[kChannelOffset] = static_cast<uint8_t>(channel);
    return fresh;
}

bool ConfigStore::set(const ConfigKind& kind, std::span<const uint8_t> record) {
    if (record.size() != kind.size) return false;
    const int channel = channelOf(kind, record);
    if (kind.perChannel && channel >= channels_) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    records_[{kind.setType, channel}] = std::vector<uint8_t>(record.begin(), record.end());
    return true;
}

}  // namespace lumora::devemu
