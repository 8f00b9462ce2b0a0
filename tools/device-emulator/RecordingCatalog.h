#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tools/device-emulator/EmulatorOptions.h"

namespace lumora::devemu {

// What a recording search asks for: the fields of the 80-byte request.
struct RecordingQuery {
    uint32_t channelMask = 0;  // 0: every channel
    int64_t from = 0;          // seconds since 1970 (no time zone); 0: open
    int64_t to = 0;            // 0: open
    uint32_t typeMask = 0;     // 0: every type
    uint32_t perAnswer = 0;    // most file records after one search answer; 0: 255

    // Reads a request body; false when it is shorter than the record.
    static bool read(std::span<const uint8_t> body, RecordingQuery& out);
};

// The recordings kept on the device, in start order, and the search over
// them: a recording matches when its channel and type are in the masks and
// its span overlaps the asked one.
class RecordingCatalog {
public:
    explicit RecordingCatalog(const EmulatorOptions& options);

    const std::vector<EmulatorRecording>& all() const { return recordings_; }
    std::vector<const EmulatorRecording*> search(const RecordingQuery& query) const;

    // The recording's file-information record (332 bytes): name (260), size in
    // bytes, length in seconds, channel mask bit, start, end, channel, type,
    // two zero bytes.
    static std::vector<uint8_t> fileInfo(const EmulatorRecording& r);

    // Seconds since 1970 of a date and time, and back.
    static int64_t toSeconds(const EmulatorDateTime& t);
    static EmulatorDateTime fromSeconds(int64_t seconds);
    // The 28-byte date-time record: microseconds (0), year ... second.
    static void putDateTime(std::vector<uint8_t>& out, const EmulatorDateTime& t);

private:
    std::vector<EmulatorRecording> recordings_;
};

}  // namespace lumora::devemu
