#pragma once

#include <cstdint>

#include "base/decoder/Mp4Array.h"
#include "base/decoder/Mp4Property.h"

namespace lumora {

// One named column of 32-bit values of a sample table (kind 8). It is
// written only through the table that holds it.
class Mp4ArrayProperty : public Mp4Property {
public:
    explicit Mp4ArrayProperty(std::string_view name) : Mp4Property(kArray, 0, name) {}

    // 0 outside the column.
    uint32_t GetItem(int32_t index) const { return fItems.Get(index); }
    // An index outside the column changes nothing.
    void SetItem(int32_t index, uint32_t value) { fItems.Set(index, value); }
    void Add(uint32_t value) { fItems.Add(value); }
    int32_t Count() const { return fItems.Count(); }
    uint32_t Last() const { return fItems.Last(); }

    int Read(Mp4File* file) override;
    int Write(Mp4File* file) override;

private:
    Mp4Array<uint32_t> fItems;
};

}  // namespace lumora
