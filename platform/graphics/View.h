#pragma once

namespace lumora {

struct Point {
    double x = 0;
    double y = 0;
};

struct Size {
    double width = 0;
    double height = 0;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    Size size() const { return Size{width, height}; }
    // The same rectangle moved in by `d` on every side.
    Rect insetBy(double d) const { return Rect{x + d, y + d, width - 2 * d, height - 2 * d}; }
};

// The geometry of one on-screen view, in points.
//
// A view has bounds (its own size, origin at 0,0), a centre in its parent's
// coordinates and a uniform transform scale, which is how a zooming scroll
// view enlarges its content: the frame (the view as its parent sees it) is
// the bounds scaled by the transform around the centre. Setting the frame
// keeps the transform and changes the bounds, so a zoomed view's bounds stay
// its own, unzoomed size.
//
// contentScaleFactor is device pixels per point for the view's backing
// store; a new view takes the main screen's scale (platform/graphics/Screen.h).
//
// Like every view, it belongs to the main thread: nothing here is locked.
class View {
public:
    View();
    explicit View(const Rect& frame);
    virtual ~View() = default;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    Rect frame() const;
    void setFrame(const Rect& frame);
    Rect bounds() const { return Rect{0, 0, boundsSize_.width, boundsSize_.height}; }
    Point center() const { return center_; }

    // Uniform scale applied around the centre (1 = none). Values that are not
    // positive and finite are taken as 1.
    double transformScale() const { return transformScale_; }
    void setTransformScale(double scale);

    double contentScaleFactor() const { return contentScaleFactor_; }
    void setContentScaleFactor(double scale);

    bool isOpaque() const { return opaque_; }
    void setOpaque(bool opaque) { opaque_ = opaque; }

private:
    Size boundsSize_;
    Point center_;
    double transformScale_ = 1.0;
    double contentScaleFactor_ = 1.0;
    bool opaque_ = false;
};

}  // namespace lumora
