#include "platform/text/TextEncoding.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace lumora {

namespace {

// One conversion, start to end. iconv descriptors are not shared between
// threads: each call opens its own.
std::optional<std::string> convert(const char* to, const char* from, const void* bytes, size_t length) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out;
    std::vector<char> chunk(4096);
    char* in = const_cast<char*>(static_cast<const char*>(bytes));
    size_t inLeft = length;
    bool ok = true;
    while (inLeft > 0) {
        char* dst = chunk.data();
        size_t dstLeft = chunk.size();
        size_t r = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(chunk.data(), chunk.size() - dstLeft);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            ok = false;  // EILSEQ (invalid sequence) or EINVAL (cut off at the end)
            break;
        }
    }
    if (ok) {
        // Flush any pending shift state.
        char* dst = chunk.data();
        size_t dstLeft = chunk.size();
        iconv(cd, nullptr, nullptr, &dst, &dstLeft);
        out.append(chunk.data(), chunk.size() - dstLeft);
    }
    iconv_close(cd);
    if (!ok) return std::nullopt;
    return out;
}

}  // namespace

std::optional<std::string> TextEncoding::utf8FromGB18030(const void* bytes, size_t length) {
    return convert("UTF-8", "GB18030", bytes, length);
}

std::optional<std::string> TextEncoding::gb18030FromUtf8(const std::string& text) {
    return convert("GB18030", "UTF-8", text.data(), text.size());
}

}  // namespace lumora
