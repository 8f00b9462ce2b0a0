#include "platform/storage/PropertyList.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/storage/AtomicFile.h"

namespace lumora {

namespace {

struct PlistFree {
    void operator()(void* p) const { plist_free(static_cast<plist_t>(p)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// Seconds between 1970-01-01 and 2001-01-01, the property-list epoch.
constexpr int64_t kEpoch2001 = 978307200;

// Checks made on the raw bytes before libplist sees them. libplist recurses
// once per level when it parses, converts or frees a tree, so a deeply
// nested file overflows the stack; and its key getters assert that a key
// holds no zero byte. A file that fails either check is malformed.
bool xmlWithinLimits(std::string_view x);
bool binaryWithinLimits(std::string_view b);

plist_t toNode(const PropertyList& v) {
    using T = PropertyList::Type;
    switch (v.type()) {
        case T::String:
            return plist_new_string(v.asString()->c_str());
        case T::Integer:
            // No signed constructor: the bits of a negative value are
            // written (and read back) as a signed integer.
            return plist_new_uint(static_cast<uint64_t>(*v.asInteger()));
        case T::Real:
            return plist_new_real(*v.asReal());
        case T::Boolean:
            return plist_new_bool(*v.asBoolean() ? 1 : 0);
        case T::Date: {
            auto us = std::chrono::duration_cast<std::chrono::microseconds>(v.asDate()->time_since_epoch()).count();
            int64_t rel = us - kEpoch2001 * 1000000;
            int64_t sec = rel >= 0 ? rel / 1000000 : -((-rel + 999999) / 1000000);
            int64_t usec = rel - sec * 1000000;
            if (sec > INT32_MAX) sec = INT32_MAX, usec = 0;
            if (sec < INT32_MIN) sec = INT32_MIN, usec = 0;
            return plist_new_date(static_cast<int32_t>(sec), static_cast<int32_t>(usec));
        }
        case T::Data: {
            auto bytes = *v.asData();
            return plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        }
        case T::Array: {
            plist_t a = plist_new_array();
            for (const auto& item : v.items()) plist_array_append_item(a, toNode(item));
            return a;
        }
        case T::Dictionary: {
            plist_t d = plist_new_dict();
            for (size_t i = 0; i < v.keys().size(); ++i) plist_dict_set_item(d, v.keys()[i].c_str(), toNode(v.items()[i]));
            return d;
        }
    }
    return plist_new_dict();
}

std::optional<PropertyList> fromNode(plist_t node, int depth) {
    if (!node || depth > PropertyList::kMaxDepth) return std::nullopt;
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return PropertyList::makeBoolean(b != 0);
        }
        case PLIST_UINT: {
            uint64_t u = 0;
            plist_get_uint_val(node, &u);
            return PropertyList::makeInteger(static_cast<int64_t>(u));
        }
        case PLIST_UID: {
            uint64_t u = 0;
            plist_get_uid_val(node, &u);
            return PropertyList::makeInteger(static_cast<int64_t>(u));
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return PropertyList::makeReal(d);
        }
        case PLIST_STRING:
        case PLIST_KEY: {
            uint64_t len = 0;
            const char* p = plist_get_string_ptr(node, &len);
            // Text stops at a zero byte everywhere else: one inside is not
            // text we wrote.
            if (p && std::memchr(p, 0, len)) return std::nullopt;
            return PropertyList::makeString(p ? std::string(p, len) : std::string());
        }
        case PLIST_DATE: {
            int32_t sec = 0, usec = 0;
            plist_get_date_val(node, &sec, &usec);
            auto us = (kEpoch2001 + int64_t(sec)) * 1000000 + usec;
            return PropertyList::makeDate(PropertyList::Date(
                std::chrono::duration_cast<PropertyList::Date::duration>(std::chrono::microseconds(us))));
        }
        case PLIST_DATA: {
            uint64_t len = 0;
            const char* p = plist_get_data_ptr(node, &len);
            PropertyList::Bytes bytes;
            if (p && len) bytes.assign(reinterpret_cast<const uint8_t*>(p), reinterpret_cast<const uint8_t*>(p) + len);
            return PropertyList::makeData(std::move(bytes));
        }
        case PLIST_ARRAY: {
            PropertyList a = PropertyList::makeArray();
            uint32_t n = plist_array_get_size(node);
            for (uint32_t i = 0; i < n; ++i) {
                auto item = fromNode(plist_array_get_item(node, i), depth + 1);
                if (!item) return std::nullopt;
                a.append(std::move(*item));
            }
            return a;
        }
        case PLIST_DICT: {
            PropertyList d = PropertyList::makeDictionary();
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            if (!it) return d;
            bool ok = true;
            while (true) {
                char* key = nullptr;
                plist_t val = nullptr;
                plist_dict_next_item(node, it, &key, &val);
                if (!val) {
                    std::free(key);
                    break;
                }
                auto item = fromNode(val, depth + 1);
                if (!item || !key) {
                    std::free(key);
                    ok = false;
                    break;
                }
                d.set(key, std::move(*item));
                std::free(key);
            }
            std::free(it);
            if (!ok) return std::nullopt;
            return d;
        }
        default:
            return std::nullopt;
    }
}


// Element nesting of an XML property list: <plist>, then one element per
// level of containers, then the leaf (<string>, <integer>, ...).
constexpr int kMaxXmlDepth = PropertyList::kMaxDepth + 2;

bool isXmlBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool xmlWithinLimits(std::string_view x) {
    if (x.find('\0') != std::string_view::npos) return false;  // not XML at all
    int depth = 0;
    size_t i = 0;
    while ((i = x.find('<', i)) != std::string_view::npos) {
        auto skipTo = [&](std::string_view end, size_t from) {
            size_t e = x.find(end, from);
            i = e == std::string_view::npos ? x.size() : e + end.size();
        };
        if (x.substr(i, 4) == "<!--") {
            skipTo("-->", i + 4);
        } else if (x.substr(i, 9) == "<![CDATA[") {
            skipTo("]]>", i + 9);
        } else if (x.substr(i, 2) == "<?" || x.substr(i, 2) == "<!") {
            skipTo(">", i + 2);
        } else {
            size_t e = x.find('>', i);
            if (e == std::string_view::npos) break;
            const bool closing = x[i + 1] == '/';
            std::string_view tag = x.substr(i + (closing ? 2 : 1), e - i - (closing ? 2 : 1));
            const bool selfClosing = !closing && !tag.empty() && tag.back() == '/';
            if (selfClosing) tag.remove_suffix(1);
            size_t nameEnd = 0;
            while (nameEnd < tag.size() && !isXmlBlank(tag[nameEnd])) ++nameEnd;
            // Where a tag ends is only certain without attributes: a parser
            // skips '>' and "/>" inside a quoted value, which would let a
            // tag this scan takes for self-closing open an element. Our
            // stores carry attributes on <plist> alone; there a value may
            // hold no quote mark of the other kind, no '>' and no '/', so
            // every reading ends the tag at the same place.
            if (tag.find_first_not_of(" \t\r\n", nameEnd) != std::string_view::npos) {
                if (closing || tag.substr(0, nameEnd) != "plist") return false;
                const std::string_view attributes = tag.substr(nameEnd);
                if (attributes.find_first_of("'/") != std::string_view::npos) return false;
                if (std::count(attributes.begin(), attributes.end(), '"') % 2 != 0) return false;
            }
            if (closing) {
                // Stray closing tags never buy room for deeper nesting.
                if (depth > 0) --depth;
            } else if (!selfClosing && ++depth > kMaxXmlDepth) {
                return false;
            }
            i = e + 1;
        }
    }
    // A character reference to the zero character ("&#0;", "&#x00;").
    for (size_t at = x.find("&#"); at != std::string_view::npos; at = x.find("&#", at + 2)) {
        size_t k = at + 2;
        bool hex = k < x.size() && (x[k] == 'x' || x[k] == 'X');
        if (hex) ++k;
        size_t digits = 0;
        bool zero = true;
        for (; k < x.size() && std::isxdigit(static_cast<unsigned char>(x[k])); ++k, ++digits) {
            if (!hex && !std::isdigit(static_cast<unsigned char>(x[k]))) break;
            if (x[k] != '0') zero = false;
        }
        if (digits > 0 && zero) return false;
    }
    return true;
}

// Walks the object table of a binary property list ("bplist00", objects,
// offset table, 32-byte trailer) without building anything: every
// reference in range, no cycle, nesting within kMaxDepth, no zero character
// in a string, and a tree of bounded size once shared objects are copied
// out (libplist copies an object for every reference to it, so a few
// hundred bytes of arrays that each hold the next one twice would expand
// to billions of nodes). Anything it cannot follow is malformed.
class BinaryWalk {
public:
    explicit BinaryWalk(std::string_view b) : b_(b) {}

    bool run() {
        if (b_.size() < 8 + 1 + 32) return false;
        const size_t trailer = b_.size() - 32;
        offsetSize_ = byte(trailer + 6);
        refSize_ = byte(trailer + 7);
        uint64_t count = be(trailer + 8, 8), top = be(trailer + 16, 8), table = be(trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8) return false;
        if (count == 0 || count > trailer || top >= count || table < 8 || table > trailer) return false;
        if ((trailer - table) / offsetSize_ < count) return false;
        table_ = table;
        objectsEnd_ = table;
        height_.assign(count, kUnknown);
        nodes_.assign(count, 0);
        maxNodes_ = std::max<uint64_t>(kMinNodeBudget, b_.size());
        int h = 0;
        return height(top, 0, h) && h <= PropertyList::kMaxDepth && nodes_[top] <= maxNodes_;
    }

private:
    static constexpr int kUnknown = -1;
    static constexpr int kOnPath = -2;
    // Nodes a tree may expand to: this many, or one per byte of the file.
    static constexpr uint64_t kMinNodeBudget = 1u << 20;

    uint8_t byte(size_t at) const { return static_cast<uint8_t>(b_[at]); }
    uint64_t be(size_t at, size_t n) const {
        uint64_t v = 0;
        for (size_t k = 0; k < n; ++k) v = (v << 8) | byte(at + k);
        return v;
    }

    // The length of a container or string at `at` (its marker byte) and
    // where its contents start.
    bool length(size_t at, uint64_t& n, size_t& body) const {
        n = byte(at) & 0x0F;
        body = at + 1;
        if (n != 0x0F) return true;
        if (body >= objectsEnd_) return false;
        uint8_t marker = byte(body);
        if ((marker & 0xF0) != 0x10 || (marker & 0x0F) > 3) return false;
        size_t size = size_t(1) << (marker & 0x0F);
        if (objectsEnd_ - body - 1 < size) return false;
        n = be(body + 1, size);
        body += 1 + size;
        return true;
    }

    // Height of object `index` reached at nesting `level`: 0 for a scalar.
    bool height(uint64_t index, int level, int& out) {
        if (level > PropertyList::kMaxDepth) return false;
        int& h = height_[index];
        if (h == kOnPath) return false;  // a cycle
        if (h != kUnknown) {
            out = h;
            return true;
        }
        uint64_t offset = be(table_ + index * offsetSize_, offsetSize_);
        if (offset < 8 || offset >= objectsEnd_) return false;
        const size_t at = static_cast<size_t>(offset);
        const uint8_t type = byte(at) >> 4;
        uint64_t n = 0;
        size_t body = 0;
        size_t refs = 0;
        switch (type) {
            case 0x5:  // ASCII text
            case 0x6: {  // UTF-16 text
                if (!length(at, n, body)) return false;
                const size_t unit = type == 0x5 ? 1 : 2;
                if (n > (objectsEnd_ - body) / unit) return false;
                for (size_t k = 0; k < n; ++k)
                    if (byte(body + k * unit) == 0 && (unit == 1 || byte(body + k * unit + 1) == 0)) return false;
                h = 0;
                nodes_[index] = 1;
                out = 0;
                return true;
            }
            case 0xA:  // array
            case 0xC:  // set
                if (!length(at, n, body)) return false;
                refs = n;
                break;
            case 0xD:  // dictionary: keys, then values
                if (!length(at, n, body)) return false;
                if (n > (objectsEnd_ - body) / 2) return false;
                refs = 2 * n;
                break;
            default:
                h = 0;
                nodes_[index] = 1;
                out = 0;
                return true;
        }
        if (refs > (objectsEnd_ - body) / refSize_) return false;
        h = kOnPath;
        int deepest = -1;
        uint64_t nodes = 1;
        for (size_t k = 0; k < refs; ++k) {
            uint64_t child = be(body + k * refSize_, refSize_);
            if (child >= height_.size()) return false;
            int ch = 0;
            if (!height(child, level + 1, ch)) return false;
            if (ch > deepest) deepest = ch;
            nodes += nodes_[child];
            if (nodes > maxNodes_) return false;
        }
        height_[index] = deepest + 1;
        nodes_[index] = nodes;
        out = deepest + 1;
        return true;
    }

    std::string_view b_;
    size_t offsetSize_ = 0, refSize_ = 0;
    size_t table_ = 0, objectsEnd_ = 0;
    std::vector<int> height_;
    std::vector<uint64_t> nodes_;  // size of each object's expanded tree
    uint64_t maxNodes_ = 0;
};

bool binaryWithinLimits(std::string_view b) { return BinaryWalk(b).run(); }

}  // namespace

PropertyList::PropertyList() = default;

PropertyList PropertyList::makeString(std::string value) {
    PropertyList p;
    p.type_ = Type::String;
    p.string_ = std::move(value);
    return p;
}

PropertyList PropertyList::makeInteger(int64_t value) {
    PropertyList p;
    p.type_ = Type::Integer;
    p.integer_ = value;
    return p;
}

PropertyList PropertyList::makeReal(double value) {
    PropertyList p;
    p.type_ = Type::Real;
    p.real_ = value;
    return p;
}

PropertyList PropertyList::makeBoolean(bool value) {
    PropertyList p;
    p.type_ = Type::Boolean;
    p.boolean_ = value;
    return p;
}

PropertyList PropertyList::makeDate(Date value) {
    PropertyList p;
    p.type_ = Type::Date;
    p.date_ = value;
    return p;
}

PropertyList PropertyList::makeData(Bytes value) {
    PropertyList p;
    p.type_ = Type::Data;
    p.data_ = std::move(value);
    return p;
}

PropertyList PropertyList::makeArray(std::vector<PropertyList> items) {
    PropertyList p;
    p.type_ = Type::Array;
    p.items_ = std::move(items);
    return p;
}

PropertyList PropertyList::makeDictionary() { return PropertyList(); }

std::optional<std::string> PropertyList::asString() const {
    if (type_ != Type::String) return std::nullopt;
    return string_;
}

std::optional<int64_t> PropertyList::asInteger() const {
    switch (type_) {
        case Type::Integer:
            return integer_;
        case Type::Boolean:
            return boolean_ ? 1 : 0;
        case Type::Real:
            if (std::isnan(real_)) return 0;
            if (real_ >= 9.2233720368547758e18) return std::numeric_limits<int64_t>::max();
            if (real_ <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
            return static_cast<int64_t>(real_);
        default:
            return std::nullopt;
    }
}

std::optional<double> PropertyList::asReal() const {
    if (type_ == Type::Real) return real_;
    if (type_ == Type::Integer) return static_cast<double>(integer_);
    return std::nullopt;
}

std::optional<bool> PropertyList::asBoolean() const {
    if (type_ == Type::Boolean) return boolean_;
    if (type_ == Type::Integer) return integer_ != 0;
    if (type_ == Type::Real) return real_ != 0;
    return std::nullopt;
}

std::optional<PropertyList::Date> PropertyList::asDate() const {
    if (type_ != Type::Date) return std::nullopt;
    return date_;
}

std::optional<PropertyList::Bytes> PropertyList::asData() const {
    if (type_ != Type::Data) return std::nullopt;
    return data_;
}

size_t PropertyList::size() const {
    return type_ == Type::Array || type_ == Type::Dictionary ? items_.size() : 0;
}

const PropertyList* PropertyList::at(size_t index) const {
    if (type_ != Type::Array || index >= items_.size()) return nullptr;
    return &items_[index];
}

void PropertyList::append(PropertyList item) {
    if (type_ == Type::Array) items_.push_back(std::move(item));
}

const PropertyList* PropertyList::find(const std::string& key) const {
    if (type_ != Type::Dictionary) return nullptr;
    for (size_t i = 0; i < keys_.size(); ++i)
        if (keys_[i] == key) return &items_[i];
    return nullptr;
}

void PropertyList::set(const std::string& key, PropertyList value) {
    if (type_ != Type::Dictionary) return;
    for (size_t i = 0; i < keys_.size(); ++i) {
        if (keys_[i] == key) {
            items_[i] = std::move(value);
            return;
        }
    }
    keys_.push_back(key);
    items_.push_back(std::move(value));
}

bool PropertyList::remove(const std::string& key) {
    if (type_ != Type::Dictionary) return false;
    for (size_t i = 0; i < keys_.size(); ++i) {
        if (keys_[i] == key) {
            keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(i));
            items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

bool PropertyList::operator==(const PropertyList& o) const {
    if (type_ != o.type_) return false;
    switch (type_) {
        case Type::String: return string_ == o.string_;
        case Type::Integer: return integer_ == o.integer_;
        case Type::Real: return real_ == o.real_;
        case Type::Boolean: return boolean_ == o.boolean_;
        case Type::Date: return date_ == o.date_;
        case Type::Data: return data_ == o.data_;
        case Type::Array: return items_ == o.items_;
        case Type::Dictionary: return keys_ == o.keys_ && items_ == o.items_;
    }
    return false;
}

std::string PropertyList::toXml() const {
    PlistPtr root(toNode(*this));
    char* xml = nullptr;
    uint32_t len = 0;
    plist_to_xml(static_cast<plist_t>(root.get()), &xml, &len);
    std::string out = xml ? std::string(xml, len) : std::string();
    if (xml) plist_to_xml_free(xml);
    return out;
}

std::optional<PropertyList> PropertyList::parse(const void* data, size_t size) {
    if (!data || size == 0 || size > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    const std::string_view bytes(static_cast<const char*>(data), size);
    const bool binary = bytes.substr(0, 8) == "bplist00";  // as libplist tells them apart
    if (binary ? !binaryWithinLimits(bytes) : !xmlWithinLimits(bytes)) return std::nullopt;
    plist_t raw = nullptr;
    plist_from_memory(static_cast<const char*>(data), static_cast<uint32_t>(size), &raw);
    if (!raw) return std::nullopt;
    PlistPtr root(raw);
    return fromNode(raw, 0);
}

PropertyList::ReadResult PropertyList::readFile(const std::string& path) {
    ReadResult r;
    // Without blocking: opening a FIFO for reading would wait for a writer
    // for ever (and a signal only restarts the wait). Only a regular file
    // is read.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        r.status = errno == ENOENT ? ReadStatus::Missing : ReadStatus::Unreadable;
        r.error = Error::posix(errno);
        return r;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        r.status = ReadStatus::Unreadable;
        r.error = Error::posix(errno);
        ::close(fd);
        return r;
    }
    if (!S_ISREG(st.st_mode)) {
        r.status = ReadStatus::Unreadable;
        r.error = Error::posix(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        ::close(fd);
        return r;
    }
    std::string bytes;
    char buf[65536];
    while (true) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            r.status = ReadStatus::Unreadable;
            r.error = Error::posix(errno);
            ::close(fd);
            return r;
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<size_t>(n));
        if (bytes.size() > kMaxFileSize) break;
    }
    ::close(fd);
    if (bytes.size() > kMaxFileSize) {
        r.status = ReadStatus::Malformed;
        return r;
    }
    r.value = parse(bytes.data(), bytes.size());
    r.status = r.value ? ReadStatus::Ok : ReadStatus::Malformed;
    return r;
}

bool PropertyList::writeXmlFile(const std::string& path, mode_t mode, Error* error) const {
    const std::string xml = toXml();
    if (xml.empty()) {
        if (error) *error = Error::posix(EINVAL);
        return false;
    }
    return AtomicFile::write(path, xml.data(), xml.size(), mode, error);
}

}  // namespace lumora
