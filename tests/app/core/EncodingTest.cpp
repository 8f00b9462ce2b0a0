#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/core/Base64.h"
#include "app/core/Base64_Rc4.h"
#include "app/core/PushKeyCipher.h"
#include "app/core/QvUtility.h"
#include "app/core/Rc4.h"

using namespace lumora;

namespace {

std::vector<uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

// The RC4 keystream under `key` for `n` bytes.
std::vector<uint8_t> keystream(std::string_view key, size_t n) {
    std::vector<uint8_t> ks(n, 0);
    rc4_state s;
    rc4_setup(&s, reinterpret_cast<const uint8_t*>(key.data()), static_cast<int32_t>(key.size()));
    rc4_crypt(&s, ks.data(), static_cast<int32_t>(n));
    return ks;
}

}  // namespace

TEST(Base64, EncodeEdgeLengthsAndPadding) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"", ""},        {"f", "Zg=="},          {"fo", "Zm8="},     {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
        {"\xff\xfe\xfd", "//79"}, {std::string("\0\0", 2), "AAA="},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Base64::encode(bytesOf(c.in)), c.out) << c.in;
        auto back = Base64::decode(c.out);
        ASSERT_TRUE(back) << c.out;
        EXPECT_EQ(*back, bytesOf(c.in)) << c.out;
    }
    EXPECT_EQ(Base64::encode(nullptr, 3), "");
    EXPECT_EQ(Base64::encode(reinterpret_cast<const uint8_t*>("abc"), -1), "");
}

TEST(Base64, StrictDecodeRefusesBadLengthsAndIsLenientAboutCharacters) {
    EXPECT_FALSE(Base64::decode("Zm9"));
    EXPECT_FALSE(Base64::decode("Zm9vY"));
    EXPECT_FALSE(Base64::decode(nullptr, 4));
    EXPECT_FALSE(Base64::decode("Zm9v", -4));
    struct Case {
        std::string in;
        std::vector<uint8_t> out;
    } cases[] = {
        {"====", {}},                        // all padding: nothing
        {"A===", {}},                        // (12 - 9) / 4 = 0 bytes
        {"Z!8=", {0x64, 0x0F}},              // '!' counts as 0
        {"\x80\xff\xc3\xa9", {0, 0, 0}},     // bytes >= 0x80 count as 0
        {"Zm=v", {0x66, 0x60, 0x2F}},        // '=' inside counts as 0
    };
    for (const auto& c : cases) {
        auto got = Base64::decode(c.in);
        ASSERT_TRUE(got) << c.in;
        EXPECT_EQ(*got, c.out) << c.in;
    }
}

TEST(Base64, LenientBufferDecoderFlagAndBounds) {
    struct Case {
        const char* in;
        int flag;
        int32_t ret;
        std::vector<uint8_t> written;  // the buffer's first bytes afterwards
    } cases[] = {
        {"Zm8=", 0, 3, {'f', 'o', 0}},
        {"Zm8", 0, -1, {0}},
        {"Zm8", 1, 3, {'f', 'o', 0}},  // fourth character counts as 0
        {"Zm", 1, 0, {0xAA}},                  // fewer than 3 characters: nothing written
        {"", 0, 0, {0xAA}},
        {"Zm9vYg", 1, 3, {'f', 'o', 'o', 0xAA}},
        {"Zm9vYmE", 1, 6, {'f', 'o', 'o', 'b', 'a', 0}},
        {"\xff\xff\xff\xff", 0, 3, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> buf(16, 0xAA);
        int32_t n = base64DecodeBuffer(buf.data(), buf.size(), c.in, static_cast<int32_t>(std::strlen(c.in)), c.flag);
        EXPECT_EQ(n, c.ret) << c.in;
        for (size_t i = 0; i < c.written.size(); ++i) EXPECT_EQ(buf[i], c.written[i]) << c.in << " byte " << i;
    }
    // Never beyond the buffer it was given.
    uint8_t small[2] = {0xAA, 0xAA};
    EXPECT_EQ(base64DecodeBuffer(small, sizeof small, "Zm9v", 4, 0), -1);
    EXPECT_EQ(small[0], 0);
    EXPECT_EQ(small[1], 0xAA);
    EXPECT_EQ(base64DecodeBuffer(nullptr, 0, "Zm9v", 4, 0), -1);

    // The utility's variant also refuses an empty text.
    uint8_t one[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(QvUtility::base64Decode(one, sizeof one, "", 0, true), -1);
    EXPECT_EQ(one[0], 0);
    EXPECT_EQ(QvUtility::base64Decode(one, sizeof one, "Zm8", 3, true), 3);
    EXPECT_EQ(QvUtility::base64Decode(one, sizeof one, "Zm8", 3, false), -1);

    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < alphabet.size(); ++i) EXPECT_EQ(base64DecodeChar(alphabet[i]), int(i));
    for (char c : {'=', ' ', '\0', '-', static_cast<char>(0x80), static_cast<char>(0xFF)}) {
        EXPECT_EQ(base64DecodeChar(c), 0);
        EXPECT_EQ(QvUtility::getBase64Value(c), 0);
    }
}

TEST(Rc4, KnownAnswer) {
    const std::string key = "Key";
    uint8_t text[] = {'P', 'l', 'a', 'i', 'n', 't', 'e', 'x', 't'};
    rc4_state s;
    rc4_setup(&s, reinterpret_cast<const uint8_t*>(key.data()), 3);
    rc4_crypt(&s, text, sizeof text);
    const uint8_t expected[] = {0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF, 0x0A, 0xD3};
    EXPECT_EQ(std::memcmp(text, expected, sizeof text), 0);

    // The indices carry over: two calls continue one keystream.
    uint8_t split[] = {'P', 'l', 'a', 'i', 'n', 't', 'e', 'x', 't'};
    rc4_setup(&s, reinterpret_cast<const uint8_t*>(key.data()), 3);
    rc4_crypt(&s, split, 4);
    rc4_crypt(&s, split + 4, 5);
    EXPECT_EQ(std::memcmp(split, expected, sizeof split), 0);

    // An empty key does not divide by zero.
    rc4_setup(&s, nullptr, 0);
    EXPECT_EQ(s.m[7], 7);
}

TEST(Base64_Rc4, PushKeyRoundTripsLongAndHighBytes) {
    // A text whose cipher holds no zero byte: every byte differs from the
    // keystream byte at its position.
    auto makeText = [](size_t n) {
        auto ks = keystream(PushKeyCipher::kPushKey, n);
        std::string t;
        const std::string pool = "abc\xc3\xa9|\xe6\x97\xa5XYZ0123";  // includes bytes >= 0x80
        for (size_t i = 0; i < n; ++i) {
            char c = pool[i % pool.size()];
            if (static_cast<uint8_t>(c) == ks[i]) c = '#';
            t += c;
        }
        return t;
    };
    for (size_t n : {size_t(0), size_t(1), size_t(2), size_t(3), size_t(1023), size_t(1024), size_t(2000)}) {
        std::string text = makeText(n);
        std::string enc = PushKeyCipher::base64_rc4_encode(text);
        EXPECT_EQ(enc.size(), (n + 2) / 3 * 4);
        EXPECT_EQ(Base64_Rc4::base64_rc4_decode(enc, PushKeyCipher::kPushKey), text) << n;
    }
    // Well-formed UTF-8 comes back through the push decode.
    const std::string utf8 = "Tolvex|\xe6\x97\xa5\xe6\x9c\xac|caf\xc3\xa9|1";
    EXPECT_EQ(PushKeyCipher::base64_rc4_decode(PushKeyCipher::base64_rc4_encode(utf8)), utf8);
    // Same as the generic form under the push key.
    EXPECT_EQ(PushKeyCipher::base64_rc4_encode(utf8), Base64_Rc4::base64_rc4_encode(utf8, "streamhub7390"));
}

TEST(Base64_Rc4, ZeroByteInCipherEndsTheResult) {
    auto ks = keystream("k", 10);
    std::string text = "abcdefghij";
    text[5] = static_cast<char>(ks[5]);  // enciphers to a zero byte
    if (ks[5] == 0) GTEST_SKIP();
    std::string enc = Base64_Rc4::base64_rc4_encode(text, "k");
    EXPECT_EQ(Base64_Rc4::base64_rc4_decode(enc, "k"), "abcde");
    // Garbage that is not Base64 decodes to something, never crashes.
    std::string junk(3000, static_cast<char>(0xFF));
    EXPECT_NO_FATAL_FAILURE(Base64_Rc4::base64_rc4_decode(junk, "k"));
    // Deciphered bytes that are not UTF-8: the push decode has no text.
    auto pks = keystream(PushKeyCipher::kPushKey, 2);
    std::string bad = {static_cast<char>(0xFF), 'a'};
    if (static_cast<uint8_t>(bad[0]) == pks[0] || static_cast<uint8_t>(bad[1]) == pks[1]) GTEST_SKIP();
    EXPECT_FALSE(PushKeyCipher::base64_rc4_decode(PushKeyCipher::base64_rc4_encode(bad)));
}
