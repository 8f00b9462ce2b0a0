#include "app/core/QvUtility.h"

#include <cstdio>
#include <ctime>

#include "app/core/Base64.h"
#include "platform/AlertPresenter.h"
#include "platform/text/Localization.h"

namespace lumora {

namespace {

bool localTime(int64_t seconds, std::tm& out) {
    const auto t = static_cast<time_t>(seconds);
    if (static_cast<int64_t>(t) != seconds) return false;
    return localtime_r(&t, &out) != nullptr;
}

}  // namespace

std::string QvUtility::stringWithCurrentTime() {
    std::tm tm{};
    if (!localTime(static_cast<int64_t>(std::time(nullptr)), tm)) return {};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d_%02d_%02d_%02d_%02d_%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::string QvUtility::stringWithLongLongTime(int64_t seconds) {
    std::tm tm{};
    if (!localTime(seconds, tm)) return {};
    char buf[96];
    std::snprintf(buf, sizeof buf, "%lld-%d-%d %d:%d:%d", static_cast<long long>(tm.tm_year) + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::string QvUtility::stringWithOwspDate(uint32_t date) {
    return std::to_string(date & 0xFFFF) + "-" + std::to_string((date >> 16) & 0xFF) + "-" +
           std::to_string((date >> 24) & 0xFF);
}

std::string QvUtility::stringWithIPAddress(uint32_t address) {
    return std::to_string(address & 0xFF) + "." + std::to_string((address >> 8) & 0xFF) + "." +
           std::to_string((address >> 16) & 0xFF) + "." + std::to_string((address >> 24) & 0xFF);
}

std::string QvUtility::stringWithAddress(const std::string& address, uint32_t port) {
    return address + "_" + std::to_string(port);
}

uint32_t QvUtility::maskForChannel(int32_t channel) {
    if (channel < 0 || channel > 31) return 0;
    return uint32_t(1) << channel;
}

uint32_t QvUtility::maskForChannel(int32_t channel, uint32_t currentMask) {
    return currentMask | maskForChannel(channel);
}

std::vector<int> QvUtility::channelForMask(uint32_t mask) {
    std::vector<int> out;
    for (int i = 0; i < 32; ++i)
        if (mask & (uint32_t(1) << i)) out.push_back(i + 1);
    return out;
}

int QvUtility::getBase64Value(char c) { return base64DecodeChar(c); }

int32_t QvUtility::base64Decode(uint8_t* out, size_t outSize, const char* input, int32_t length, bool forceDecode) {
    if (length == 0) {
        if (out && outSize > 0) out[0] = 0;
        return -1;
    }
    return base64DecodeBuffer(out, outSize, input, length, forceDecode ? 1 : 0);
}

void QvUtility::showAlert(const std::string& title, const std::string& detailedText) {
    AlertPresenter::show(title, detailedText, Localization::string("OK_BUTTON"));
}

}  // namespace lumora
