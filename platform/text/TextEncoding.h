#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace lumora {

// Conversion of texts in legacy encodings into UTF-8 (through iconv).
class TextEncoding {
public:
    // The GB 18030 bytes as UTF-8. nullopt when the bytes are not valid
    // GB 18030 (including a multi-byte sequence cut off at the end). Plain
    // ASCII is valid GB 18030 and comes back unchanged.
    static std::optional<std::string> utf8FromGB18030(const void* bytes, size_t length);
    static std::optional<std::string> utf8FromGB18030(const std::string& bytes) {
        return utf8FromGB18030(bytes.data(), bytes.size());
    }
    // UTF-8 to GB 18030 (for tests and tools that must produce such texts).
    // nullopt when the text is not valid UTF-8.
    static std::optional<std::string> gb18030FromUtf8(const std::string& text);
};

}  // namespace lumora
