#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lumora::devemu {

// One access unit of an Annex-B H.264 stream: the exact file bytes from the
// start code of its first NAL unit up to the start code of the next access
// unit.
struct AccessUnit {
    std::vector<uint8_t> bytes;
    bool keyFrame = false;  // holds an IDR slice
};

// An Annex-B H.264 elementary stream cut into access units. A new access unit
// starts at an access unit delimiter, at a parameter set or SEI that follows
// a slice, and at a slice whose first_mb_in_slice is 0 that follows a slice.
// Concatenating the units gives back the file's bytes (less anything before
// the first start code).
class H264Clip {
public:
    bool load(const std::string& path, std::string& error);
    bool parse(const std::vector<uint8_t>& stream, std::string& error);

    size_t size() const { return units_.size(); }
    bool empty() const { return units_.empty(); }
    const AccessUnit& unit(size_t i) const { return units_[i]; }
    const std::vector<AccessUnit>& units() const { return units_; }

    // A copy of a key frame grown to at least minBytes by a filler-data NAL
    // unit (type 12) that decoders skip; unchanged when already that large.
    static std::vector<uint8_t> padded(const std::vector<uint8_t>& unit, size_t minBytes);

private:
    std::vector<AccessUnit> units_;
};

}  // namespace lumora::devemu
