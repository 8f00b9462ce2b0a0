#include "ui/kit/UIPasteboard.h"

#include "platform/text/Pasteboard.h"

namespace lumora {

UIPasteboard& UIPasteboard::generalPasteboard() {
    static UIPasteboard p;
    return p;
}

std::string UIPasteboard::string() const { return Pasteboard::generalPasteboard().string(); }

void UIPasteboard::setString(const std::string& text) { Pasteboard::generalPasteboard().setString(text); }

}  // namespace lumora
