#pragma once

#include <cstdint>
#include <string>

namespace lumora {

// One stored snapshot or recording, as the media folder store lists it.
struct QvFileItem {
    static constexpr int32_t kRecording = 1;
    static constexpr int32_t kSnapshot = 2;

    std::string deviceName;  // the device folder the file lies in
    int32_t channel = 0;     // channel folder number (one-based; 0 when not a number)
    int64_t time = 0;        // seconds since 1970 from the file name (time-window searches only)
    int32_t fileType = 0;    // kRecording or kSnapshot
    int64_t size = 0;        // bytes; 0 when the file's attributes cannot be read
    std::string path;        // the channel folder, ending in "/"
    std::string name;        // file name within `path`

    std::string fullPath() const { return path + name; }
    bool operator==(const QvFileItem&) const = default;
};

}  // namespace lumora
