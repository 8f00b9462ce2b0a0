#include "app/core/Base64_Rc4.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/core/Base64.h"
#include "app/core/Rc4.h"
#include "platform/Log.h"

namespace lumora {

namespace {

std::string_view cText(std::string_view s) {
    auto nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

void setupKey(rc4_state& state, std::string_view key) {
    key = cText(key);
    rc4_setup(&state, reinterpret_cast<const uint8_t*>(key.data()),
              static_cast<int32_t>(key.size() > INT_MAX ? INT_MAX : key.size()));
}

}  // namespace

std::string Base64_Rc4::base64_rc4_encode(std::string_view text, std::string_view key) {
    text = cText(text);
    if (text.size() > static_cast<size_t>(INT32_MAX / 2)) return {};
    std::vector<uint8_t> buf(text.begin(), text.end());
    rc4_state state;
    setupKey(state, key);
    rc4_crypt(&state, buf.data(), static_cast<int32_t>(buf.size()));
    return Base64::encode(buf);
}

std::string Base64_Rc4::decipher(std::string_view text, std::string_view key, bool log) {
    text = cText(text);
    if (text.size() > static_cast<size_t>(INT32_MAX / 2)) return {};
    const auto length = static_cast<int32_t>(text.size());
    std::vector<uint8_t> buf(base64DecodeBufferSize(length) + 1, 0);
    int32_t n = base64DecodeBuffer(buf.data(), buf.size(), text.data(), length, 1);
    if (n < 0) n = 0;
    // The cipher text ends at its first zero byte.
    const auto cipherLen = static_cast<int32_t>(strnlen(reinterpret_cast<const char*>(buf.data()), size_t(n)));
    rc4_state state;
    setupKey(state, key);
    rc4_crypt(&state, buf.data(), cipherLen);
    const size_t plainLen = strnlen(reinterpret_cast<const char*>(buf.data()), size_t(cipherLen));
    std::string result(reinterpret_cast<const char*>(buf.data()), plainLen);
    if (log) Log::debug("Base64_Rc4", "decode endstring: %s", result.c_str());
    return result;
}

std::string Base64_Rc4::base64_rc4_decode(std::string_view text, std::string_view key) {
    return decipher(text, key, true);
}

}  // namespace lumora
