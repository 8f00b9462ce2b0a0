#pragma once

#include <QFont>
#include <string>

#include "ui/kit/UIGeometry.h"

namespace lumora {

// A font by pixel size (one point is one pixel at scale 1). The system font
// and the named fonts the screens use ("Verdana", "Verdana-Bold") all map to
// DejaVu Sans, so text measures the same on every machine.
class UIFont {
public:
    UIFont();
    static UIFont systemFontOfSize(CGFloat size);
    static UIFont boldSystemFontOfSize(CGFloat size);
    // Unknown names fall back to the system font of that size.
    static UIFont fontWithName(const std::string& name, CGFloat size);
    // The family every font resolves to.
    static const char* familyName();

    CGFloat pointSize() const { return size_; }
    bool isBold() const { return bold_; }
    QFont qFont() const;
    // Line height in points.
    CGFloat lineHeight() const;
    CGSize sizeOfText(const std::string& text) const;
    bool operator==(const UIFont& o) const { return size_ == o.size_ && bold_ == o.bold_; }

private:
    UIFont(CGFloat size, bool bold) : size_(size), bold_(bold) {}
    CGFloat size_;
    bool bold_;
};

}  // namespace lumora
