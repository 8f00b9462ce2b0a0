#pragma once

#include <algorithm>
#include <cmath>

namespace lumora {

// Points in the screens' coordinate space (one point is one device-independent
// pixel). Plain records, as the screens read and write them field by field.
using CGFloat = double;

struct CGPoint {
    CGFloat x = 0;
    CGFloat y = 0;
    bool operator==(const CGPoint& o) const { return x == o.x && y == o.y; }
};

struct CGSize {
    CGFloat width = 0;
    CGFloat height = 0;
    bool operator==(const CGSize& o) const { return width == o.width && height == o.height; }
};

struct CGRect {
    CGPoint origin;
    CGSize size;
    bool operator==(const CGRect& o) const { return origin == o.origin && size == o.size; }
};

struct UIEdgeInsets {
    CGFloat top = 0;
    CGFloat left = 0;
    CGFloat bottom = 0;
    CGFloat right = 0;
    bool operator==(const UIEdgeInsets& o) const {
        return top == o.top && left == o.left && bottom == o.bottom && right == o.right;
    }
};

inline CGPoint CGPointMake(CGFloat x, CGFloat y) { return CGPoint{x, y}; }
inline CGSize CGSizeMake(CGFloat w, CGFloat h) { return CGSize{w, h}; }
inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat w, CGFloat h) { return CGRect{{x, y}, {w, h}}; }
inline UIEdgeInsets UIEdgeInsetsMake(CGFloat t, CGFloat l, CGFloat b, CGFloat r) { return UIEdgeInsets{t, l, b, r}; }
inline constexpr CGRect CGRectZero{};

inline CGFloat CGRectGetMinX(const CGRect& r) { return std::min(r.origin.x, r.origin.x + r.size.width); }
inline CGFloat CGRectGetMinY(const CGRect& r) { return std::min(r.origin.y, r.origin.y + r.size.height); }
inline CGFloat CGRectGetMaxX(const CGRect& r) { return std::max(r.origin.x, r.origin.x + r.size.width); }
inline CGFloat CGRectGetMaxY(const CGRect& r) { return std::max(r.origin.y, r.origin.y + r.size.height); }
inline CGFloat CGRectGetMidX(const CGRect& r) { return r.origin.x + r.size.width / 2; }
inline CGFloat CGRectGetMidY(const CGRect& r) { return r.origin.y + r.size.height / 2; }
inline CGFloat CGRectGetWidth(const CGRect& r) { return std::fabs(r.size.width); }
inline CGFloat CGRectGetHeight(const CGRect& r) { return std::fabs(r.size.height); }
inline bool CGRectIsEmpty(const CGRect& r) { return r.size.width <= 0 || r.size.height <= 0; }

// Half-open on the far edges, as the platform's rectangles are.
inline bool CGRectContainsPoint(const CGRect& r, const CGPoint& p) {
    return p.x >= CGRectGetMinX(r) && p.x < CGRectGetMaxX(r) && p.y >= CGRectGetMinY(r) && p.y < CGRectGetMaxY(r);
}
inline CGRect CGRectInset(const CGRect& r, CGFloat dx, CGFloat dy) {
    return CGRectMake(r.origin.x + dx, r.origin.y + dy, r.size.width - 2 * dx, r.size.height - 2 * dy);
}
inline CGRect CGRectOffset(const CGRect& r, CGFloat dx, CGFloat dy) {
    return CGRectMake(r.origin.x + dx, r.origin.y + dy, r.size.width, r.size.height);
}
inline CGRect CGRectIntersection(const CGRect& a, const CGRect& b) {
    CGFloat x0 = std::max(CGRectGetMinX(a), CGRectGetMinX(b));
    CGFloat y0 = std::max(CGRectGetMinY(a), CGRectGetMinY(b));
    CGFloat x1 = std::min(CGRectGetMaxX(a), CGRectGetMaxX(b));
    CGFloat y1 = std::min(CGRectGetMaxY(a), CGRectGetMaxY(b));
    if (x1 <= x0 || y1 <= y0) return CGRectZero;
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}
inline bool CGRectIntersectsRect(const CGRect& a, const CGRect& b) { return !CGRectIsEmpty(CGRectIntersection(a, b)); }
inline CGRect UIEdgeInsetsInsetRect(const CGRect& r, const UIEdgeInsets& i) {
    return CGRectMake(r.origin.x + i.left, r.origin.y + i.top, r.size.width - i.left - i.right,
                      r.size.height - i.top - i.bottom);
}

}  // namespace lumora
