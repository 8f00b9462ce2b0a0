#pragma once

#include <cstdint>
#include <string_view>

#include "base/decoder/BaseObject.h"
#include "base/decoder/Mp4Array.h"
#include "base/decoder/Mp4Property.h"
#include "base/decoder/SmartPtr.h"

namespace lumora {

class Mp4File;

// An MPEG-4 descriptor of an "iods" or "esds" box. Only two are ever
// written, each as a fixed image: the initial object descriptor (tag 0x10)
// and the ES descriptor (tag 3), whose buffer size and bit rates come from
// its properties "bufferSize", "maxBitrate" and "avgBitrate".
class Mp4Descriptor : public BaseObject {
public:
    static constexpr uint8_t kTagES = 0x03;
    static constexpr uint8_t kTagInitialObject = 0x10;

    explicit Mp4Descriptor(uint8_t tag);

    uint8_t GetTag() const { return fTag; }
    // The first property of that name, ignoring case; none for an empty name.
    Mp4Property* FindProperty(std::string_view name) const;
    // Writes the descriptor's image (nothing for other tags): 0, or -15 when
    // the file took fewer bytes.
    int Write(Mp4File* file);

private:
    uint8_t fTag;
    Mp4Array<SmartPtr<Mp4Property>> fProperties;
};

}  // namespace lumora
