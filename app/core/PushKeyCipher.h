#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumora {

// RC4 + Base64 under the fixed push key: the parameter of the
// push-registration requests ("pi.php?c=", "pa.php?c=", "pd.php?c=") and the
// reverse for the service's replies. The application delegates'
// base64_rc4_encode / base64_rc4_decode forward here.
class PushKeyCipher {
public:
    static constexpr std::string_view kPushKey = "streamhub7390";

    // Base64 of RC4 under the push key over the text (a C text).
    static std::string base64_rc4_encode(std::string_view text);
    // The deciphered text up to its first zero byte, read as UTF-8: nullopt
    // when those bytes are not well-formed UTF-8.
    static std::optional<std::string> base64_rc4_decode(std::string_view text);
};

}  // namespace lumora
