#pragma once

#include <string>

namespace lumora {

// The general pasteboard's text, as the screens see it: the same text the
// engine's pasteboard holds (the desktop clipboard once the window host
// has put it there, a text in memory otherwise).
class UIPasteboard {
public:
    static UIPasteboard& generalPasteboard();
    std::string string() const;
    void setString(const std::string& text);
};

}  // namespace lumora
