#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumora {

// The push service's answer to a per-device alarm registration ("pd.php"):
// the body after its first line break ("\r\n") is Base64 of RC4 under the
// push key; the deciphered text carries the answer code as the signed
// integer in the two characters after "result=".
struct AlarmRegistrationReply {
    // The answer code of a whole reply body; nullopt when the deciphered
    // text is not UTF-8 or holds no code.
    static std::optional<int> answerCode(std::string_view body);
    // The answer code in an already deciphered text.
    static std::optional<int> codeInDeciphered(std::string_view text);
};

}  // namespace lumora
