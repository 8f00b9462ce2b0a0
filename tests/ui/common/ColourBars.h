#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
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
    const QImage shot = driver.screenshot();
    bool all = true;
    for (int b = 0; b < 6; ++b) {
        bool shown = false;
        seen += " bar" + std::to_string(b) + ":";
        for (int row : rows) {
            const CGPoint at =
                view->pointInWindow(CGPoint{left + (b * 320 / 6 + 26) * scale, top + row * scale});
            const RGB got = rgb(KitTestDriver::pixel(shot, static_cast<int>(at.x), static_cast<int>(at.y)));
            shown = shown || (std::abs(got.r - bars[b].r) < 70 && std::abs(got.g - bars[b].g) < 70 &&
                              std::abs(got.b - bars[b].b) < 70);
            seen += " " + std::to_string(got.r) + "," + std::to_string(got.g) + "," + std::to_string(got.b);
        }
        all = all && shown;
    }
    return all;
}

// A view's bounds in window points.
inline CGRect windowRect(UIView* v) { return CGRect{v->pointInWindow(CGPoint{0, 0}), v->bounds().size}; }

// The bar colours found along two rows through the middle of a window
// rectangle, wherever the picture sits in it.
inline std::set<std::string> barColoursAcross(const KitTestDriver& driver, CGRect r) {
    std::set<std::string> found;
    auto hi = [](int v) { return v > 190; };
    auto lo = [](int v) { return v < 70; };
    const QImage shot = driver.screenshot();
    for (double f : {0.45, 0.7}) {
        const int y = static_cast<int>(r.origin.y + r.size.height * f);
        for (int x = static_cast<int>(r.origin.x) + 1; x < r.origin.x + r.size.width - 1; ++x) {
            const RGB c = rgb(KitTestDriver::pixel(shot, x, y));
            if (hi(c.r) && lo(c.g) && lo(c.b)) found.insert("red");
            if (lo(c.r) && hi(c.g) && lo(c.b)) found.insert("green");
            if (hi(c.r) && hi(c.g) && lo(c.b)) found.insert("yellow");
            if (lo(c.r) && lo(c.g) && hi(c.b)) found.insert("blue");
            if (hi(c.r) && lo(c.g) && hi(c.b)) found.insert("magenta");
            if (lo(c.r) && hi(c.g) && hi(c.b)) found.insert("cyan");
        }
    }
    return found;
}

// The files with that extension anywhere under a folder (none when it is missing).
inline std::vector<std::string> filesIn(const std::filesystem::path& folder, const std::string& ext) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->path().extension() == ext) out.push_back(it->path().string());
    return out;
}

}  // namespace lumora::test
