#pragma once

#include <cstdint>

#include "base/decoder/Mp4Array.h"
#include "base/decoder/Mp4Descriptor.h"
#include "base/decoder/Mp4Property.h"
#include "base/decoder/SmartPtr.h"

namespace lumora {

// An ordered list of MPEG-4 descriptors (kind 7), the body of "iods" and
// "esds". GetValue gives how many it holds.
class Mp4DescriptorProperty : public Mp4Property {
public:
    explicit Mp4DescriptorProperty(std::string_view name) : Mp4Property(kDescriptors, 0, name) {}

    // Appends a new descriptor of that tag and answers it.
    Mp4Descriptor* AddDescriptor(uint8_t tag);
    Mp4Descriptor* DescriptorAt(int32_t index) const { return fDescriptors.Get(index).get(); }
    // A property of the first descriptor; none when the list is empty.
    Mp4Property* FindProperty(std::string_view name) const;

    int64_t GetValue() const override { return fDescriptors.Count(); }
    // Reads one descriptor: its tag and size (the expandable size field of
    // up to four bytes), and skips its body.
    int Read(Mp4File* file) override;
    // Writes the descriptors in order, stopping at the first missing one.
    int Write(Mp4File* file) override;

private:
    Mp4Array<SmartPtr<Mp4Descriptor>> fDescriptors;
};

}  // namespace lumora
