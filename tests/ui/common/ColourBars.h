#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/kit/UIView.h"
#include "ui/kit/testing/KitTestDriver.h"

namespace lumora::test {

struct RGB {
    int r, g, b;
};
inline RGB rgb(uint32_t px) {
    return RGB{static_cast<int>(px >> 24), static_cast<int>((px >> 16) & 0xFF), static_cast<int>((px >> 8) & 0xFF)};
}

// True when the test clip's colour bars (red, green, yellow, blue, magenta,
// cyan) show in a video view's 320x240 picture, which fills the view's width
// or height, centred. Moving objects cross the bars, so each bar is looked at
// on several picture rows and must show its colour on at least one; `seen`
// collects the pixels read, for the failure message.
inline bool showsColourBars(const KitTestDriver& driver, UIView* view, std::string& seen,
                            const std::vector<int>& rows = {100, 215, 232}) {
    const RGB bars[] = {{255, 0, 0}, {0, 255, 0}, {255, 255, 0}, {0, 0, 255}, {255, 0, 255}, {0, 255, 255}};
    if (!view) return false;
    const CGSize size = view->bounds().size;
    const double scale = std::min(size.width / 320, size.height / 240);
    const double left = (size.width - 320 * scale) / 2, top = (size.height - 240 * scale) / 2;
    bool all = true;
    for (int b = 0; b < 6; ++b) {
        bool shown = false;
        seen += " bar" + std::to_string(b) + ":";
        for (int row : rows) {
            const CGPoint at =
                view->pointInWindow(CGPoint{left + (b * 320 / 6 + 26) * scale, top + row * scale});
            const RGB got = rgb(driver.pixel(static_cast<int>(at.x), static_cast<int>(at.y)));
            shown = shown || (std::abs(got.r - bars[b].r) < 70 && std::abs(got.g - bars[b].g) < 70 &&
                              std::abs(got.b - bars[b].b) < 70);
            seen += " " + std::to_string(got.r) + "," + std::to_string(got.g) + "," + std::to_string(got.b);
        }
        all = all && shown;
    }
    return all;
}

}  // namespace lumora::test
