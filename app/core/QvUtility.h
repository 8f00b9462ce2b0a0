#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lumora {

// Time-stamp and address texts, channel bit masks, the device's date text,
// and a one-button alert. Stateless; callable from any thread.
class QvUtility {
public:
    // Local time now as "YYYY_MM_DD_hh_mm_ss" (stem of media file names).
    static std::string stringWithCurrentTime();
    // Seconds since 1970 UTC in local time as "%d-%d-%d %d:%d:%d" (no
    // padding); "" for a moment the calendar cannot represent.
    static std::string stringWithLongLongTime(int64_t seconds);
    // "%d-%d-%d" over bits 0-15 (year), 16-23 (month), 24-31 (day).
    static std::string stringWithOwspDate(uint32_t date);
    // IPv4 address held in network byte order: "%d.%d.%d.%d" over bits 0-7 ... 24-31.
    static std::string stringWithIPAddress(uint32_t address);
    // "address_port".
    static std::string stringWithAddress(const std::string& address, uint32_t port);
    // 1 << channel for channels 0..31; 0 otherwise (never shifts by 32 or more).
    static uint32_t maskForChannel(int32_t channel);
    // The mask with bit `channel` added for channels 0..31; unchanged otherwise.
    static uint32_t maskForChannel(int32_t channel, uint32_t currentMask);
    // i + 1 for each set bit i, lowest first.
    static std::vector<int> channelForMask(uint32_t mask);
    // Same map as base64DecodeChar.
    static int getBase64Value(char c);
    // base64DecodeBuffer, except that a length of 0 also writes one zero byte
    // and answers -1. Never writes beyond `outSize`.
    static int32_t base64Decode(uint8_t* out, size_t outSize, const char* input, int32_t length, bool forceDecode);
    // A one-button alert (button "OK_BUTTON" of the strings table) through
    // the AlertPresenter seam.
    static void showAlert(const std::string& title, const std::string& detailedText);
};

}  // namespace lumora
