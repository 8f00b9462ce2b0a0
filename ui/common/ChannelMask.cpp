#include "ui/common/ChannelMask.h"

#include "app/core/QvUtility.h"

namespace lumora {

uint32_t ChannelMask::all(int channels) {
    if (channels <= 0 || channels > 32) return 0;
    if (channels == 32) return 0xFFFFFFFFu;
    return (uint32_t(1) << channels) - 1;
}

bool ChannelMask::has(uint32_t mask, int i) {
    return (mask & QvUtility::maskForChannel(i)) != 0;
}

std::string ChannelMask::toString(uint32_t mask) {
    std::string s = "[";
    if (mask == 0) return s + "NULL]";
    int shown = 0;
    for (int i = 0; i < 32; ++i) {
        if (!has(mask, i)) continue;
        if (shown == 8) {
            s += "...";
            break;
        }
        if (shown) s += ",";
        s += std::to_string(i + 1);
        ++shown;
    }
    return s + "]";
}

}  // namespace lumora
