#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/decoder/BaseObject.h"

namespace lumora {

class Mp4File;

// One typed field of an MP4 box. The kind and width are fixed when the
// property is made:
//   1 integer        width 1 to 4 bytes, big-endian
//   2 fixed point    width 2 (8.8) or 4 (16.16)
//   3 bit field      width 1 to 7 bits, packed into the current byte
//   4 byte block     width bytes (zero unless set)
//   5 text           width > 0: exactly width bytes, zero padded, no length
//                    byte or terminator; width 0: the text's own bytes
//   6 table, 7 descriptor list, 8 column, 9 size-prefixed entries: the
//   subclasses Mp4TableProperty, Mp4DescriptorProperty, Mp4ArrayProperty
//   and Mp4SizeTableProperty.
class Mp4Property : public BaseObject {
public:
    enum Kind : uint32_t {
        kInteger = 1,
        kFixed = 2,
        kBits = 3,
        kBytes = 4,
        kString = 5,
        kTable = 6,
        kDescriptors = 7,
        kArray = 8,
        kSizeTable = 9,
    };

    Mp4Property(uint32_t kind, int32_t width, std::string_view name);

    // A fixed-point property: its value truncated to an integer; every other
    // kind: its integer value.
    virtual int64_t GetValue() const;
    // The length used when reading: rows of a table, entries of a size
    // table, bytes of a variable-length text.
    virtual void SetLength(int64_t n);
    // Reads the field back: 0, or -1 without a file or when the file holds
    // too few bytes.
    virtual int Read(Mp4File* file);
    // Writes the field: 0, -1 without a file, -15 when the file took fewer
    // bytes than the field holds.
    virtual int Write(Mp4File* file);

    // Stores v; a fixed-point property also takes it as its value.
    void SetInteger(int64_t v);
    // Stores f; an integer property also takes f truncated.
    void SetFloat(float f);
    // Text properties only; nothing for no text. Width 0: the whole text;
    // width above 0: at most width bytes, the rest zero.
    void SetString(const char* text);
    // Copies n bytes into a block or text of width n or more.
    void SetBytes(const uint8_t* bytes, size_t n);

    uint32_t GetKind() const { return fKind; }
    int32_t GetWidth() const { return fWidth; }
    const std::string& GetName() const { return fName; }
    float GetFloat() const { return fFloat; }
    int64_t GetLength() const { return fLength; }
    const std::vector<uint8_t>& GetBytes() const { return fBuffer; }
    // A text property's text, up to its first zero byte.
    std::string GetString() const;

    // Property and box names compare ignoring case.
    static bool NameEquals(std::string_view a, std::string_view b);

protected:
    uint32_t fKind;
    int32_t fWidth;
    std::string fName;
    int64_t fLength = 0;
    int64_t fValue = 0;
    float fFloat = 0.0f;
    std::vector<uint8_t> fBuffer;
};

}  // namespace lumora
