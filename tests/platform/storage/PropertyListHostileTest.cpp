// Property lists built to hurt the reader: nesting deep enough to overflow
// the stack inside libplist, zero bytes inside keys and texts (libplist's
// key getters assert on them), cycles and shared subtrees in the binary
// object table. Each must be refused as malformed, never crash.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "platform/storage/PropertyList.h"
#include "support/HostileStores.h"
#include "support/TempDir.h"

using namespace lumora;

namespace {

// A binary property list from encoded objects (references are 4 bytes).
class BinaryPlist {
public:
    // Returns the new object's index.
    uint32_t add(std::vector<uint8_t> encoded) {
        objects_.push_back(std::move(encoded));
        return uint32_t(objects_.size() - 1);
    }
    static std::vector<uint8_t> ascii(const std::string& s) {
        std::vector<uint8_t> o = header(0x5, s.size());
        o.insert(o.end(), s.begin(), s.end());
        return o;
    }
    static std::vector<uint8_t> utf16(const std::u16string& s) {
        std::vector<uint8_t> o = header(0x6, s.size());
        for (char16_t c : s) o.push_back(uint8_t(c >> 8)), o.push_back(uint8_t(c));
        return o;
    }
    static std::vector<uint8_t> array(const std::vector<uint32_t>& refs) {
        std::vector<uint8_t> o = header(0xA, refs.size());
        for (uint32_t r : refs) put(o, r, 4);
        return o;
    }
    static std::vector<uint8_t> dict(const std::vector<uint32_t>& keys, const std::vector<uint32_t>& values) {
        std::vector<uint8_t> o = header(0xD, keys.size());
        for (uint32_t r : keys) put(o, r, 4);
        for (uint32_t r : values) put(o, r, 4);
        return o;
    }
    std::string bytes(uint32_t top = 0) const {
        std::vector<uint8_t> out{'b', 'p', 'l', 'i', 's', 't', '0', '0'};
        std::vector<uint64_t> offsets;
        for (const auto& o : objects_) offsets.push_back(out.size()), out.insert(out.end(), o.begin(), o.end());
        uint64_t table = out.size();
        for (uint64_t off : offsets) put(out, off, 4);
        out.insert(out.end(), 6, 0);
        out.push_back(4);  // offset size
        out.push_back(4);  // reference size
        put(out, objects_.size(), 8);
        put(out, top, 8);
        put(out, table, 8);
        return std::string(out.begin(), out.end());
    }

private:
    static void put(std::vector<uint8_t>& o, uint64_t v, int n) {
        for (int k = n - 1; k >= 0; --k) o.push_back(uint8_t(v >> (8 * k)));
    }
    static std::vector<uint8_t> header(uint8_t type, size_t n) {
        if (n < 15) return {uint8_t(type << 4 | n)};
        std::vector<uint8_t> o{uint8_t(type << 4 | 0xF), 0x12};
        put(o, n, 4);
        return o;
    }
    std::vector<std::vector<uint8_t>> objects_;
};

std::string nestedXml(int depth) {
    std::string x = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < depth; ++i) x += "<array>";
    x += "<string>leaf</string>";
    for (int i = 0; i < depth; ++i) x += "</array>";
    return x + "</plist>";
}

// `depth` arrays, each holding the next; the innermost holds a text.
std::string nestedBinary(uint32_t depth) {
    BinaryPlist b;
    for (uint32_t i = 0; i < depth; ++i) b.add(BinaryPlist::array({i + 1}));
    b.add(BinaryPlist::ascii("leaf"));
    return b.bytes();
}

std::optional<PropertyList> parse(const std::string& s) { return PropertyList::parse(s.data(), s.size()); }

}  // namespace

TEST(PropertyListHostile, NestingUpToTheLimitReadsAndBeyondIsRefused) {
    const int limit = PropertyList::kMaxDepth;
    // The root is level 0: `limit` arrays put the leaf text at level `limit`.
    ASSERT_TRUE(parse(nestedXml(limit)));
    ASSERT_TRUE(parse(nestedBinary(uint32_t(limit))));
    const auto root = parse(nestedXml(limit));
    const PropertyList* p = &*root;
    for (int i = 0; i < limit; ++i) p = p->isArray() ? p->at(0) : nullptr;
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->asString(), "leaf");

    for (int depth : {limit + 1, 1000, 1000000}) {
        SCOPED_TRACE(depth);
        EXPECT_FALSE(parse(nestedXml(depth)));
        EXPECT_FALSE(parse(nestedBinary(uint32_t(depth))));
    }
    // Closing tags first do not make room for more levels.
    std::string stray;
    for (int i = 0; i < 100; ++i) stray += "</array>";
    std::string x = nestedXml(limit + 50);
    EXPECT_FALSE(parse(x.insert(x.find("<plist"), stray)));
}

TEST(PropertyListHostile, XmlNestingCountsOnlyElements) {
    // Comments, processing instructions and empty elements do not nest.
    std::string x = "<?xml version=\"1.0\"?><!DOCTYPE plist><plist version=\"1.0\"><array>";
    for (int i = 0; i < 200; ++i) x += "<!-- <array> --><array/><dict/><string>a &lt;b&gt;</string>";
    x += "</array></plist>";
    auto v = parse(x);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->size(), 600u);
}

// A tag's end is where libplist sees it, not at the first "/>": a quoted
// attribute value may hold "/>" and ">". Attributes are refused on every
// element but <plist>, which our stores write with version="1.0" alone.
TEST(PropertyListHostile, AttributesCannotHideNesting) {
    EXPECT_FALSE(parse(test::quotedAttributeNesting(PropertyList::kMaxDepth + 1)));
    EXPECT_FALSE(parse(test::quotedAttributeNesting(1000)));
    const char* refused[] = {
        "<plist version=\"1.0\"><array a=\"/>\"><string>x</string></array></plist>",
        "<plist version=\"1.0\"><array a='/>'><string>x</string></array></plist>",
        "<plist version=\"1.0\"><array a=\"x\"/></plist>",
        "<plist version=\"1.0\"><array><string>x</string></array b=\">\"></plist>",
        "<plist version=\"1.0\"><dict\tk=\"v\"></dict></plist>",
        "<plist version=\"1.0/>\"><array/></plist>",
        "<plist version='1.0'><array/></plist>",
        "<plist version=\"1.0><array/></plist>",
    };
    for (const char* x : refused) {
        SCOPED_TRACE(x);
        EXPECT_FALSE(parse(x));
    }
    const char* read[] = {
        "<plist version=\"1.0\"><array/></plist>",
        "<plist\n  version=\"1.0\" ><array ><string >x</string ></array\t></plist>",
        "<plist><array /></plist>",
    };
    for (const char* x : read) {
        SCOPED_TRACE(x);
        auto v = parse(x);
        ASSERT_TRUE(v);
        EXPECT_TRUE(v->isArray());
    }
}

TEST(PropertyListHostile, ZeroBytesInKeysOrTextsAreRefused) {
    auto dictWith = [](const std::vector<uint8_t>& key, const std::vector<uint8_t>& value) {
        BinaryPlist b;
        b.add(BinaryPlist::dict({1}, {2}));
        b.add(key);
        b.add(value);
        return b.bytes();
    };
    using B = BinaryPlist;
    const std::string zero("\0", 1);
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"binary key", dictWith(B::ascii("na" + zero + "me"), B::ascii("Cam"))},
        {"binary key of one zero", dictWith(B::ascii(zero), B::ascii("Cam"))},
        {"binary UTF-16 key", dictWith(B::utf16(std::u16string(u"n\u0000\u00e9", 3)), B::ascii("Cam"))},
        {"binary text", dictWith(B::ascii("name"), B::ascii("Ca" + zero + "m"))},
        {"binary UTF-16 text", dictWith(B::ascii("name"), B::utf16(std::u16string(u"Ca\u0000m", 4)))},
        {"XML key", "<plist version=\"1.0\"><dict><key>na" + zero + "me</key><string>x</string></dict></plist>"},
        {"XML text", "<plist version=\"1.0\"><dict><key>name</key><string>x" + zero + "</string></dict></plist>"},
        {"XML reference", "<plist version=\"1.0\"><dict><key>a&#0;b</key><string>x</string></dict></plist>"},
        {"XML hex reference", "<plist version=\"1.0\"><array><string>a&#x000;</string></array></plist>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(parse(c.bytes));
    }
    // The same shapes without the zero read.
    auto fine = parse(dictWith(B::utf16(u"n\u00e9"), B::ascii("Cam")));
    ASSERT_TRUE(fine);
    EXPECT_EQ(fine->find("n\xc3\xa9")->asString(), "Cam");
    EXPECT_TRUE(parse("<plist version=\"1.0\"><array><string>a&#x30;&#10;</string></array></plist>"));
}

TEST(PropertyListHostile, BinaryObjectTablesThatCannotBeFollowedAreRefused) {
    using B = BinaryPlist;
    BinaryPlist cycle;  // an array that holds itself through a second one
    cycle.add(B::array({1}));
    cycle.add(B::array({0}));
    BinaryPlist dangling;
    dangling.add(B::array({7}));
    std::string shortCount = [] {
        BinaryPlist b;
        b.add(B::array({0, 0, 0}));
        std::string s = b.bytes();
        s[8] = char(0xAF);  // "count follows" but an array reference is not an integer marker
        return s;
    }();
    for (const std::string& s : {cycle.bytes(), dangling.bytes(), shortCount, nestedBinary(3).substr(0, 30)}) {
        EXPECT_FALSE(parse(s));
    }

    // Shared objects are fine while the tree they make stays small; 30
    // levels of arrays each holding the next level twice make a tree of
    // 2^31 nodes from a few hundred bytes.
    auto doubling = [](uint32_t levels) {
        BinaryPlist b;
        for (uint32_t i = 0; i < levels; ++i) b.add(B::array({i + 1, i + 1}));
        b.add(B::ascii("x"));
        return b.bytes();
    };
    auto small = parse(doubling(10));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->size(), 2u);
    EXPECT_FALSE(parse(doubling(30)));
}

TEST(PropertyListHostile, HostileFilesReadAsMalformed) {
    for (const char* name : {"deep.plist", "nul-key.plist", "alarm-payload.plist"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(PropertyList::readFile(std::string(LUMORA_TEST_DATA_DIR "/hostile/") + name).status,
                  PropertyList::ReadStatus::Malformed);
    }
    test::TempDir dir;
    std::ofstream(dir.file("deep.plist"), std::ios::binary) << nestedBinary(1000000);
    EXPECT_EQ(PropertyList::readFile(dir.file("deep.plist")).status, PropertyList::ReadStatus::Malformed);
}
