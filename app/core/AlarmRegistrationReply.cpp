#include "app/core/AlarmRegistrationReply.h"

#include <cstdlib>

#include "app/core/PushKeyCipher.h"

namespace lumora {

std::optional<int> AlarmRegistrationReply::answerCode(std::string_view body) {
    const size_t crlf = body.find("\r\n");
    if (crlf != std::string_view::npos) body.remove_prefix(crlf + 2);
    const auto deciphered = PushKeyCipher::base64_rc4_decode(body);
    if (!deciphered) return std::nullopt;
    return codeInDeciphered(*deciphered);
}

std::optional<int> AlarmRegistrationReply::codeInDeciphered(std::string_view text) {
    const size_t at = text.find("result=");
    if (at == std::string_view::npos) return std::nullopt;
    const std::string two(text.substr(at + 7, 2));
    char* end = nullptr;
    const long v = std::strtol(two.c_str(), &end, 10);
    if (end == two.c_str()) return std::nullopt;
    return static_cast<int>(v);
}

}  // namespace lumora
