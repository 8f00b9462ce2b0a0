#pragma once

#include <string>
#include <string_view>

namespace lumora {

// UTF-8 checks for texts that arrive as raw bytes (device replies, old
// files) before they become the system's texts.
class Utf8 {
public:
    // True when the bytes are well-formed UTF-8 (no overlong forms, no
    // surrogates, nothing above U+10FFFF).
    static bool isValid(std::string_view bytes);
    // The bytes with every ill-formed sequence replaced by U+FFFD.
    static std::string repaired(std::string_view bytes);
};

}  // namespace lumora
