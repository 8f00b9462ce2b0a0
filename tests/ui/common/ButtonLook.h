#pragma once

#include <QImage>
#include <functional>

#include "ui/kit/UIView.h"
#include "ui/kit/testing/KitTestDriver.h"

namespace lumora::test {

// What a view looks like on screen now: its window rectangle cut from a
// screenshot (device pixels).
inline QImage lookOf(const KitTestDriver& driver, UIView* view) {
    const QImage shot = driver.screenshot();
    if (!view) return {};
    const CGPoint o = view->pointInWindow(CGPoint{0, 0});
    const double scale = shot.devicePixelRatio() > 0 ? shot.devicePixelRatio() : 1;
    const CGSize s = view->bounds().size;
    return shot.copy(QRect(static_cast<int>(o.x * scale), static_cast<int>(o.y * scale),
                           static_cast<int>(s.width * scale), static_cast<int>(s.height * scale)))
        .convertToFormat(QImage::Format_RGB32);
}

// The share of a picture's pixels (0 to 1) that answer the test.
inline double shareOf(const QImage& image, const std::function<bool(QRgb)>& test) {
    if (image.isNull() || image.width() * image.height() == 0) return 0;
    long hits = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) hits += test(image.pixel(x, y)) ? 1 : 0;
    return static_cast<double>(hits) / (image.width() * image.height());
}

// A strong red, as nothing else on a tool bar is.
inline bool isRecordingRed(QRgb p) { return qRed(p) > 170 && qGreen(p) < 90 && qBlue(p) < 90; }
// A clear blue.
inline bool isOnBlue(QRgb p) { return qBlue(p) > 170 && qRed(p) < 120 && qBlue(p) - qRed(p) > 80; }

}  // namespace lumora::test
