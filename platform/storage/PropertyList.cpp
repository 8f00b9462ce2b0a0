#include "platform/storage/PropertyList.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

#include "platform/storage/AtomicFile.h"

namespace lumora {

namespace {

struct PlistFree {
    void operator()(void* p) const { plist_free(static_cast<plist_t>(p)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// Seconds between 1970-01-01 and 2001-01-01, the property-list epoch.
constexpr int64_t kEpoch2001 = 978307200;
constexpr int kMaxDepth = 256;

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
    if (!node || depth > kMaxDepth) return std::nullopt;
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
    plist_t raw = nullptr;
    plist_from_memory(static_cast<const char*>(data), static_cast<uint32_t>(size), &raw);
    if (!raw) return std::nullopt;
    PlistPtr root(raw);
    return fromNode(raw, 0);
}

PropertyList::ReadResult PropertyList::readFile(const std::string& path) {
    ReadResult r;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
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
