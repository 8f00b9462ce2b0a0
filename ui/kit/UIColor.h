#pragma once

#include <QBrush>
#include <QColor>
#include <memory>

#include "ui/kit/UIGeometry.h"

namespace lumora {

class UIImage;

// A colour, or a pattern tiled from an image. Shared by value; a null colour
// (the default) means "no colour" (clear background, nothing drawn).
class UIColor {
public:
    UIColor() = default;
    static UIColor colorWithRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a);
    static UIColor colorWithWhite(CGFloat w, CGFloat a);
    static UIColor colorWithPatternImage(const std::shared_ptr<UIImage>& image);
    static UIColor fromQColor(const QColor& c);

    static UIColor blackColor();
    static UIColor whiteColor();
    static UIColor clearColor();
    static UIColor grayColor();
    static UIColor darkGrayColor();
    static UIColor lightGrayColor();
    static UIColor redColor();
    static UIColor greenColor();
    static UIColor blueColor();
    static UIColor yellowColor();
    static UIColor orangeColor();
    static UIColor groupTableViewBackgroundColor();

    UIColor colorWithAlphaComponent(CGFloat a) const;

    bool isNull() const { return !valid_; }
    bool isPattern() const { return pattern_ != nullptr; }
    const std::shared_ptr<UIImage>& patternImage() const { return pattern_; }
    QColor qColor() const { return color_; }
    // The brush that fills with this colour (a tiled pattern when it is one).
    QBrush brush() const;
    bool operator==(const UIColor& o) const {
        return valid_ == o.valid_ && color_ == o.color_ && pattern_ == o.pattern_;
    }

private:
    bool valid_ = false;
    QColor color_;
    std::shared_ptr<UIImage> pattern_;
};

}  // namespace lumora
