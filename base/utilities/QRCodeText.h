#pragma once

#include <string>

namespace lumora {

// What a scanned QR text means when a device is being added.
//
// - The URL form: the whole text matches "http+:[^\s]*" ("htt", one or more
//   "p", a colon, then no blank). The secure web scheme does not match.
// - The Wi-Fi form: otherwise, the whole text matches "ssid+:[^\s]*". The
//   text is split at ";": the SSID is what follows the first ":" of part 0
//   up to a next ":", the password likewise in part 1; parts after the
//   second are ignored. A Wi-Fi text without a second part, or with a part
//   lacking its ":", has no password to take: it is not guessed, and the
//   text counts as neither form.
// - Anything else is a device UID.
struct QRCodeText {
    enum class Kind { Uid, Url, WiFi };

    Kind kind = Kind::Uid;
    // The text to hand on as the device's UID: the scanned text, or for the
    // Wi-Fi form "ssid: <SSID> \n password:<password>".
    std::string text;
    std::string ssid;      // Wi-Fi form only
    std::string password;  // Wi-Fi form only: what goes on the pasteboard

    static QRCodeText classify(const std::string& scanned);
};

}  // namespace lumora
