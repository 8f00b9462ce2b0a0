#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace lumora {

// A property-list value: string, integer (int64), real, boolean, date, data,
// array, or dictionary whose keys keep their insertion order. A plain value
// type (copies are deep).
//
// Files: readFile() reads an XML or binary property list (libplist);
// writeXmlFile() writes XML atomically (AtomicFile: temporary file, fsync,
// rename, folder fsync) with an explicit file mode.
//
// Limits of the format as written here: strings end at a zero byte, and
// control characters other than tab, line feed and carriage return are
// dropped on writing (XML 1.0 cannot carry them). Dates have whole-second
// precision in XML and must lie within about 68 years of 2001-01-01 (they
// are clamped to that range). Integers are signed 64-bit; an unsigned value
// above INT64_MAX in a file reads back as its two's-complement bits.
class PropertyList {
public:
    enum class Type { String, Integer, Real, Boolean, Date, Data, Array, Dictionary };
    using Date = std::chrono::system_clock::time_point;
    using Bytes = std::vector<uint8_t>;

    // An empty dictionary.
    PropertyList();

    static PropertyList makeString(std::string value);
    static PropertyList makeInteger(int64_t value);
    static PropertyList makeReal(double value);
    static PropertyList makeBoolean(bool value);
    static PropertyList makeDate(Date value);
    static PropertyList makeData(Bytes value);
    static PropertyList makeArray(std::vector<PropertyList> items = {});
    static PropertyList makeDictionary();

    Type type() const { return type_; }
    bool isArray() const { return type_ == Type::Array; }
    bool isDictionary() const { return type_ == Type::Dictionary; }

    // Scalar reads; nullopt when the value does not have that meaning.
    std::optional<std::string> asString() const;  // String only
    // Integer; also Boolean (0/1) and Real (truncated toward zero, saturated),
    // as a number object would answer.
    std::optional<int64_t> asInteger() const;
    std::optional<double> asReal() const;  // Real or Integer
    std::optional<bool> asBoolean() const;  // Boolean; Integer or Real: non-zero
    std::optional<Date> asDate() const;
    std::optional<Bytes> asData() const;

    // Arrays and dictionaries: number of items (0 for scalars).
    size_t size() const;
    // Array item (nullptr when out of range or not an array).
    const PropertyList* at(size_t index) const;
    // Appends to an array (ignored for other types).
    void append(PropertyList item);
    const std::vector<PropertyList>& items() const { return items_; }  // array items or dictionary values

    // Dictionary value for `key` (nullptr when absent or not a dictionary).
    const PropertyList* find(const std::string& key) const;
    // Sets a dictionary key: replaces the value in place when the key
    // exists, else appends it (ignored for other types).
    void set(const std::string& key, PropertyList value);
    bool remove(const std::string& key);
    const std::vector<std::string>& keys() const { return keys_; }  // dictionary keys in order

    // Same type and value; dictionaries compare keys in order.
    bool operator==(const PropertyList& other) const;

    // XML text of this value as the root of a property list.
    std::string toXml() const;
    // Parses an XML or binary property list held in memory; nullopt when
    // it is malformed (including truncated input).
    // Hostile input is malformed too: containers nested deeper than
    // kMaxDepth, or a zero character inside a key or a text.
    static std::optional<PropertyList> parse(const void* data, size_t size);
    // Deepest nesting of arrays and dictionaries a file may have (the root
    // is level 0); the stores here use three.
    static constexpr int kMaxDepth = 32;

    enum class ReadStatus {
        Ok,
        Missing,     // no file at the path
        Unreadable,  // the file exists but could not be read (error says why)
        Malformed,   // read, but not a property list (or larger than kMaxFileSize)
    };
    struct ReadResult;
    static constexpr size_t kMaxFileSize = 64u << 20;
    static ReadResult readFile(const std::string& path);

    // Writes XML atomically with file mode `mode` (e.g. 0600). False, with
    // `error` set when given, when anything failed; the old file is then
    // untouched.
    bool writeXmlFile(const std::string& path, mode_t mode, Error* error = nullptr) const;

private:
    Type type_ = Type::Dictionary;
    std::string string_;
    int64_t integer_ = 0;
    double real_ = 0;
    bool boolean_ = false;
    Date date_{};
    Bytes data_;
    std::vector<PropertyList> items_;
    std::vector<std::string> keys_;
};

struct PropertyList::ReadResult {
    ReadStatus status = ReadStatus::Missing;
    std::optional<PropertyList> value;  // set only for Ok
    Error error;                        // for Missing and Unreadable
};

}  // namespace lumora
