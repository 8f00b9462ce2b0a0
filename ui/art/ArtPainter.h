#pragma once

#include <QImage>
#include <QString>

#include "ui/art/ArtManifest.h"

namespace lumora {

// Draws one manifest entry as a picture: the background, then the glyph,
// then the label, all in points scaled by the pixel scale (1 or 2).
class ArtPainter {
public:
    // fontFamily: the family the labels are set in (resolved by the caller).
    explicit ArtPainter(QString fontFamily);

    // The picture, or a null image when the glyph is unknown.
    QImage draw(const ArtEntry& entry, int scale) const;

    // Whether the glyph name is one this painter draws.
    static bool knowsGlyph(const std::string& glyph);

private:
    QString family_;
};

}  // namespace lumora
