#include "base/utilities/QRCodeText.h"

#include <optional>
#include <regex>
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

// Element 1 of the part split at ":"; none when the part has no ":".
std::optional<std::string> valueOf(const std::string& part) {
    const auto fields = split(part, ':');
    if (fields.size() < 2) return std::nullopt;
    return fields[1];
}

}  // namespace

QRCodeText QRCodeText::classify(const std::string& scanned) {
    static const std::regex url("http+:[^\\s]*");
    static const std::regex wifi("ssid+:[^\\s]*");
    QRCodeText result;
    result.text = scanned;
    if (std::regex_match(scanned, url)) {
        result.kind = Kind::Url;
        return result;
    }
    if (!std::regex_match(scanned, wifi)) return result;
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
