#pragma once

#include <string>

namespace lumora {

// The system clipboard's text.
class UIPasteboard {
public:
    static UIPasteboard& generalPasteboard();
    std::string string() const;
    void setString(const std::string& text);
};

}  // namespace lumora
