#pragma once

#include <string>
#include <string_view>

namespace lumora {

// RC4 followed by Base64: the parameter form of the push-registration
// service and of the per-device alarm registration, and the reverse for its
// replies. Texts and keys are C texts: each ends at its first zero byte.
// Buffers are sized from the input, so texts of any length are handled.
class Base64_Rc4 {
public:
    // RC4 under `key` over the text's bytes, then Base64.
    static std::string base64_rc4_encode(std::string_view text, std::string_view key);
    // Lenient Base64 decode (a trailing group of 3 characters still counts),
    // RC4 under `key` over the decoded bytes up to the first zero byte, and
    // the deciphered bytes up to the first zero byte. Writes the line
    // "decode endstring: <result>" to standard output.
    static std::string base64_rc4_decode(std::string_view text, std::string_view key);

    // The shared steps; `log` adds the standard-output line.
    static std::string decipher(std::string_view text, std::string_view key, bool log);
};

}  // namespace lumora
