#include "platform/graphics/Screen.h"

namespace lumora {

Screen& Screen::main() {
    static Screen screen;
    return screen;
}

Screen::Size Screen::currentModeSize() const {
    uint64_t v = modeSize_.load(std::memory_order_acquire);
    return Size{static_cast<int>(static_cast<uint32_t>(v >> 32)), static_cast<int>(static_cast<uint32_t>(v))};
}

void Screen::setCurrentModeSize(Size size) { modeSize_.store(pack(size), std::memory_order_release); }

void Screen::reset() {
    setScale(kDefaultScale);
    setCurrentModeSize(kDefaultModeSize);
}

}  // namespace lumora
