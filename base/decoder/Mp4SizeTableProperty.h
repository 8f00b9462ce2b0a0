#pragma once

#include <cstdint>
#include <vector>

#include "base/decoder/Mp4Array.h"
#include "base/decoder/Mp4Property.h"

namespace lumora {

// A list of entries, each a 16-bit big-endian length followed by that many
// bytes (kind 9): the parameter sets of an "avcC" box. The owning box
// writes the entry count beside it.
class Mp4SizeTableProperty : public Mp4Property {
public:
    explicit Mp4SizeTableProperty(std::string_view name) : Mp4Property(kSizeTable, 0, name) {}

    // Copies n bytes as a new entry. Nothing for no bytes or n = 0; refused
    // (false) above 65535 bytes, which the 16-bit length cannot describe.
    bool Add(const uint8_t* bytes, size_t n);
    int32_t EntryCount() const { return fSizes.Count(); }
    // The entry's bytes; empty outside the list.
    const std::vector<uint8_t>& Entry(int32_t index) const;

    // Reads SetLength entries.
    int Read(Mp4File* file) override;
    int Write(Mp4File* file) override;

private:
    Mp4Array<uint16_t> fSizes;
    std::vector<std::vector<uint8_t>> fEntries;
};

}  // namespace lumora
