#pragma once

#include <string>

namespace lumora::test {

// An XML property list whose nesting only shows to a reader that skips
// quoted attribute values: every "<array a="/>">" opens an array although
// it seems to close itself at the first "/>". 175,000 of them (3.8 MB, well
// under the store size limit) nest deep enough to overflow the stack in
// libplist's recursive free.
inline std::string quotedAttributeNesting(int depth = 175000) {
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    x.reserve(x.size() + size_t(depth) * 22 + 40);
    for (int i = 0; i < depth; ++i) x += "<array a=\"/>\">";
    for (int i = 0; i < depth; ++i) x += "</array>";
    return x + "</plist>\n";
}

}  // namespace lumora::test
