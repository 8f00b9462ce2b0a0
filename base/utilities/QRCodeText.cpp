#include "base/utilities/QRCodeText.h"

#include <optional>
#include <string_view>
#include <vector>

namespace lumora {

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t at = text.find(separator, from);
        parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) return parts;
        from = at + 1;
    }
}

// The whole text is `stem`, one or more `repeated`, a colon, then nothing
// that is white space (" ", tab, line feed, vertical tab, form feed,
// carriage return). A plain scan: a pattern matcher that recurses per
// character overflows the stack on a long enough text.
bool isPrefixedWord(const std::string& text, std::string_view stem, char repeated) {
    if (text.compare(0, stem.size(), stem) != 0) return false;
    size_t at = stem.size();
    const size_t repeatsFrom = at;
    while (at < text.size() && text[at] == repeated) ++at;
    if (at == repeatsFrom || at >= text.size() || text[at] != ':') return false;
    return text.find_first_of(" \t\n\v\f\r", at + 1) == std::string::npos;
}

// Element 1 of the part split at ":"; none when the part has no ":".
std::optional<std::string> valueOf(const std::string& part) {
    const auto fields = split(part, ':');
    if (fields.size() < 2) return std::nullopt;
    return fields[1];
}

}  // namespace

QRCodeText QRCodeText::classify(const std::string& scanned) {
    QRCodeText result;
    result.text = scanned;
    if (isPrefixedWord(scanned, "htt", 'p')) {
        result.kind = Kind::Url;
        return result;
    }
    if (!isPrefixedWord(scanned, "ssi", 'd')) return result;
    const auto parts = split(scanned, ';');
    if (parts.size() < 2) return result;
    const auto ssid = valueOf(parts[0]);
    const auto password = valueOf(parts[1]);
    if (!ssid || !password) return result;
    result.kind = Kind::WiFi;
    result.ssid = *ssid;
    result.password = *password;
    result.text = "ssid: " + *ssid + " \n password:" + *password;
    return result;
}

}  // namespace lumora
