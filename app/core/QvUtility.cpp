#include "app/core/QvUtility.h"

namespace lumora {

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

std::string QvUtility::stringWithOwspDate(uint32_t date) {
    return std::to_string(date & 0xFFFF) + "-" + std::to_string((date >> 16) & 0xFF) + "-" +
           std::to_string((date >> 24) & 0xFF);
}

}  // namespace lumora
