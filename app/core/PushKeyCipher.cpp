#include "app/core/PushKeyCipher.h"

#include "app/core/Base64_Rc4.h"
#include "platform/text/Utf8.h"

namespace lumora {

std::string PushKeyCipher::base64_rc4_encode(std::string_view text) {
    return Base64_Rc4::base64_rc4_encode(text, kPushKey);
}

std::optional<std::string> PushKeyCipher::base64_rc4_decode(std::string_view text) {
    std::string plain = Base64_Rc4::decipher(text, kPushKey, false);
    if (!Utf8::isValid(plain)) return std::nullopt;
    return plain;
}

}  // namespace lumora
