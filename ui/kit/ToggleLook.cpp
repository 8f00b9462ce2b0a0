#include "ui/kit/ToggleLook.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "ui/kit/UIButton.h"
#include "ui/kit/UIImage.h"

namespace lumora {

UIColor toggleOnAccent() { return UIColor::colorWithRed(0.20, 0.60, 1.0, 1); }
UIColor recordingAccent() { return UIColor::colorWithRed(0.88, 0.12, 0.12, 1); }

std::shared_ptr<UIImage> toggleOnLook(const std::shared_ptr<UIImage>& image, const UIColor& accent) {
    if (!image) return nullptr;
    // The dark button face takes the accent colour and the light glyph on it
    // turns white, so the glyph stays as readable as before; transparent
    // corners stay transparent.
    QImage out = image->qImage().convertToFormat(QImage::Format_ARGB32);
    const QColor a = accent.qColor();
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = line[x];
            const double light = (0.299 * qRed(p) + 0.587 * qGreen(p) + 0.114 * qBlue(p)) / 255;
            const double t = std::clamp((light - 0.3) / 0.25, 0.0, 1.0);
            auto mix = [t](int c) { return static_cast<int>(std::lround(c + (255 - c) * t)); };
            line[x] = qRgba(mix(a.red()), mix(a.green()), mix(a.blue()), qAlpha(p));
        }
    }
    // A ring in the accent colour, lighter, marks the edge.
    {
        QPainter p(&out);
        p.setRenderHint(QPainter::Antialiasing, true);
        const qreal w = out.width(), h = out.height(), ringWidth = 2 * image->scale();
        p.setPen(QPen(a.lighter(150), ringWidth));
        p.setBrush(Qt::NoBrush);
        const qreal radius = std::min(w, h) / 5;
        p.drawRoundedRect(QRectF(0, 0, w, h).adjusted(ringWidth / 2, ringWidth / 2, -ringWidth / 2, -ringWidth / 2),
                          radius, radius);
    }
    return UIImage::imageWithQImage(out, image->scale());
}

void setToggleOnLook(UIButton* button, const UIColor& accent) {
    if (!button) return;
    if (auto image = button->imageForState(UIControlStateNormal)) {
        button->setImage(toggleOnLook(image, accent), UIControlStateSelected);
    }
    if (auto background = button->backgroundImageForState(UIControlStateNormal)) {
        button->setBackgroundImage(toggleOnLook(background, accent), UIControlStateSelected);
    }
}

}  // namespace lumora
