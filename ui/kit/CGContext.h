#pragma once

#include <QPainterPath>
#include <vector>

#include "ui/kit/UIColor.h"
#include "ui/kit/UITextAlignment.h"
#include "ui/kit/UIGeometry.h"

class QPainter;

namespace lumora {

class UIFont;
class UIImage;

// The drawing context a view's drawRect() gets: path building, stroke and
// fill in points, over the view's painter. Saved states nest.
class CGContext {
public:
    explicit CGContext(QPainter& painter);

    // The context of the drawRect() in progress (nullptr outside one).
    static CGContext* current();

    void saveGState();
    void restoreGState();
    void setStrokeColor(const UIColor& color);
    void setFillColor(const UIColor& color);
    void setLineWidth(CGFloat width);
    void setAlpha(CGFloat alpha);

    void beginPath();
    void moveToPoint(CGFloat x, CGFloat y);
    void addLineToPoint(CGFloat x, CGFloat y);
    void addRect(const CGRect& r);
    void addEllipseInRect(const CGRect& r);
    void closePath();
    void strokePath();
    void fillPath();
    void strokeRect(const CGRect& r);
    void fillRect(const CGRect& r);
    void clearRect(const CGRect& r);
    void fillEllipseInRect(const CGRect& r);
    void drawImage(const CGRect& r, const UIImage& image);
    // One line in the fill colour, centred vertically in the rectangle.
    void drawText(const std::string& text, const CGRect& r, const UIFont& font, UITextAlignment alignment);

    QPainter& painter() { return painter_; }

private:
    struct State {
        UIColor stroke = UIColor::blackColor();
        UIColor fill = UIColor::blackColor();
        CGFloat lineWidth = 1;
    };
    QPainter& painter_;
    QPainterPath path_;
    State state_;
    std::vector<State> saved_;
    CGContext* previous_;

public:
    ~CGContext();
    CGContext(const CGContext&) = delete;
    CGContext& operator=(const CGContext&) = delete;
};

// The context of the drawRect() in progress (nullptr outside one).
inline CGContext* UIGraphicsGetCurrentContext() { return CGContext::current(); }

}  // namespace lumora
