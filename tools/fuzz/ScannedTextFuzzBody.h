#pragma once

// One fuzz iteration for the scanned-text classifier (the text of a QR code,
// or any other text handed to the device editor as if scanned), shared by
// the libFuzzer target (scanned_text_fuzz.cpp) and the seed test of the
// normal build. Checks the forms' promises: the URL and UID forms hand the
// text on unchanged; the Wi-Fi form's SSID and password hold no separator
// and make up the text handed on.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/utilities/QRCodeText.h"

namespace lumora::fuzz {

inline int fuzzScannedText(const uint8_t* data, size_t size) {
    const std::string scanned(reinterpret_cast<const char*>(data), size);
    const QRCodeText t = QRCodeText::classify(scanned);
    switch (t.kind) {
        case QRCodeText::Kind::Uid:
        case QRCodeText::Kind::Url:
            if (t.text != scanned || !t.ssid.empty() || !t.password.empty()) __builtin_trap();
            break;
        case QRCodeText::Kind::WiFi:
            if (t.ssid.find_first_of(":;") != std::string::npos || t.password.find_first_of(":;") != std::string::npos)
                __builtin_trap();
            if (t.text != "ssid: " + t.ssid + " \n password:" + t.password) __builtin_trap();
            if (scanned.compare(0, 3, "ssi") != 0) __builtin_trap();
            break;
    }
    return 0;
}

}  // namespace lumora::fuzz
