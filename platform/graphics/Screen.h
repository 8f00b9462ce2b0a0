#pragma once

#include <atomic>
#include <cstdint>

namespace lumora {

// Facts about the display the client draws on: the main screen's scale
// (device pixels per point) and the pixel size of its current mode.
//
// There is no windowing system to ask here, so the values are set by whoever
// knows them (a GUI front end at start-up, tests before they start the code
// under test). Until then the main screen is a plain desktop: scale 1,
// 1920 x 1080 pixels. Reads and writes are thread-safe; a reader sees either
// the old or the new mode size as a whole.
class Screen {
public:
    struct Size {
        int width = 0;
        int height = 0;
        bool operator==(const Size& o) const { return width == o.width && height == o.height; }
    };

    static constexpr double kDefaultScale = 1.0;
    static constexpr Size kDefaultModeSize{1920, 1080};

    // The process's main screen.
    static Screen& main();

    double scale() const { return scale_.load(std::memory_order_acquire); }
    Size currentModeSize() const;

    void setScale(double scale) { scale_.store(scale, std::memory_order_release); }
    void setCurrentModeSize(Size size);
    // Back to the plain desktop defaults.
    void reset();

private:
    Screen() = default;
    static constexpr uint64_t pack(Size s) {
        return (static_cast<uint64_t>(static_cast<uint32_t>(s.width)) << 32) | static_cast<uint32_t>(s.height);
    }

    std::atomic<double> scale_{kDefaultScale};
    // Width in the high half, height in the low half, so both change at once.
    std::atomic<uint64_t> modeSize_{pack(kDefaultModeSize)};
};

}  // namespace lumora
