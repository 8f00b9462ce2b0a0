#include "ui/common/CQSegmentControlHD.h"

#include <algorithm>
#include <cmath>

#include "ui/kit/CGContext.h"
#include "ui/kit/UITouch.h"

namespace lumora {

namespace {

constexpr CGFloat kCornerRadius = 8;

std::vector<std::string> titlesOf(const std::vector<CQSegmentItem>& items) {
    std::vector<std::string> titles;
    for (const auto& i : items) titles.push_back(i.title);
    return titles;
}

// How far a rounded rectangle's edge lies inside its straight side at the
// distance d from its top or bottom edge.
CGFloat cornerInset(CGFloat d, CGFloat radius) {
    if (d >= radius) return 0;
    CGFloat dy = radius - d;
    return radius - std::sqrt(std::max<CGFloat>(0, radius * radius - dy * dy));
}

UIColor mix(const UIColor& a, const UIColor& b, CGFloat t) {
    QColor x = a.qColor(), y = b.qColor();
    return UIColor::colorWithRed(x.redF() + (y.redF() - x.redF()) * t, x.greenF() + (y.greenF() - x.greenF()) * t,
                                 x.blueF() + (y.blueF() - x.blueF()) * t, x.alphaF() + (y.alphaF() - x.alphaF()) * t);
}

UIColor scaled(const UIColor& c, CGFloat f) {
    QColor q = c.qColor();
    return UIColor::colorWithRed(std::min<CGFloat>(1, q.redF() * f), std::min<CGFloat>(1, q.greenF() * f),
                                 std::min<CGFloat>(1, q.blueF() * f), q.alphaF());
}

// A vertical gradient in 1-point bands over r, with rounded corners on the
// left and/or right side.
void fillBands(CGContext& ctx, const CGRect& r, bool roundLeft, bool roundRight, bool roundTop, bool roundBottom,
               const std::function<UIColor(CGFloat)>& colourAt) {
    const int rows = static_cast<int>(std::ceil(r.size.height));
    for (int k = 0; k < rows; ++k) {
        CGFloat y = r.origin.y + k;
        CGFloat h = std::min<CGFloat>(1, r.origin.y + r.size.height - y);
        CGFloat fromTop = k + 0.5, fromBottom = r.size.height - k - 0.5;
        CGFloat inset = std::max(roundTop ? cornerInset(fromTop, kCornerRadius) : 0,
                                 roundBottom ? cornerInset(fromBottom, kCornerRadius) : 0);
        CGFloat left = r.origin.x + (roundLeft ? inset : 0);
        CGFloat right = r.origin.x + r.size.width - (roundRight ? inset : 0);
        ctx.setFillColor(colourAt(r.size.height > 0 ? (k + 0.5) / r.size.height : 0));
        ctx.fillRect(CGRectMake(left, y, right - left, h));
    }
}

void roundedOutline(CGContext& ctx, CGFloat minX, CGFloat minY, CGFloat maxX, CGFloat maxY) {
    const CGFloat r = kCornerRadius;
    ctx.beginPath();
    ctx.moveToPoint(minX + r, minY);
    auto arc = [&](CGFloat cx, CGFloat cy, double from, double to) {
        for (int k = 0; k <= 8; ++k) {
            double a = from + (to - from) * k / 8;
            ctx.addLineToPoint(cx + r * std::cos(a), cy + r * std::sin(a));
        }
    };
    arc(maxX - r, minY + r, 3 * M_PI / 2, 2 * M_PI);
    arc(maxX - r, maxY - r, 0, M_PI / 2);
    arc(minX + r, maxY - r, M_PI / 2, M_PI);
    arc(minX + r, minY + r, M_PI, 3 * M_PI / 2);
    ctx.closePath();
}

}  // namespace

CQSegmentControlHD::CQSegmentControlHD(const std::vector<CQSegmentItem>& its, int stype)
    : UISegmentedControl(titlesOf(its)), items(its), segmentedType_(stype) {
    for (size_t i = 0; i < its.size(); ++i)
        if (its[i].image) UISegmentedControl::setImage(its[i].image, static_cast<int>(i));
    setOpaque(false);
    setBackgroundColor(UIColor::clearColor());
    if (stype != kImageStyle) {
        normalImageItems.clear();
        highlightImageItems.clear();
    }
}

int CQSegmentControlHD::numberOfSegments() const { return static_cast<int>(items.size()); }

void CQSegmentControlHD::setSegmentedType(int type) {
    if (type == segmentedType_) return;
    segmentedType_ = type;
    setNeedsDisplay();
}

UIFont CQSegmentControlHD::font() {
    if (!font_) font_ = UIFont::boldSystemFontOfSize(12);
    return *font_;
}
void CQSegmentControlHD::setFont(const UIFont& f) {
    font_ = f;
    setNeedsDisplay();
}
UIColor CQSegmentControlHD::selectedItemColor() {
    if (!selectedItemColor_) selectedItemColor_ = UIColor::whiteColor();
    return *selectedItemColor_;
}
void CQSegmentControlHD::setSelectedItemColor(const UIColor& c) {
    selectedItemColor_ = c;
    setNeedsDisplay();
}
UIColor CQSegmentControlHD::unselectedItemColor() {
    if (!unselectedItemColor_) unselectedItemColor_ = UIColor::whiteColor();
    return *unselectedItemColor_;
}
void CQSegmentControlHD::setUnselectedItemColor(const UIColor& c) {
    unselectedItemColor_ = c;
    setNeedsDisplay();
}

void CQSegmentControlHD::setSegmentedControlStyle(int style) {
    controlStyle_ = style;
    if (canCustom) setNeedsDisplay();
}

void CQSegmentControlHD::setTitle(const std::string& title, int index) {
    if (!canCustom) {
        UISegmentedControl::setTitle(title, index);
        return;
    }
    if (index < 0 || index >= numberOfSegments()) return;
    items[index] = CQSegmentItem{title, nullptr};
    setNeedsDisplay();
}

void CQSegmentControlHD::setImage(std::shared_ptr<UIImage> image, int index) {
    if (!canCustom) {
        UISegmentedControl::setImage(std::move(image), index);
        return;
    }
    if (index < 0 || index >= numberOfSegments()) return;
    items[index] = CQSegmentItem{{}, std::move(image)};
    setNeedsDisplay();
}

void CQSegmentControlHD::insertItem(CQSegmentItem item, int index) {
    // Any place from the front to the end.
    if (index < 0 || index > numberOfSegments()) return;
    UISegmentedControl::insertSegmentWithTitle(item.title, index);
    if (item.image) UISegmentedControl::setImage(item.image, index);
    items.insert(items.begin() + index, std::move(item));
    setNeedsDisplay();
}

void CQSegmentControlHD::insertSegmentWithTitle(const std::string& title, int index, bool) {
    if (!canCustom) {
        UISegmentedControl::insertSegmentWithTitle(title, index);
        return;
    }
    insertItem(CQSegmentItem{title, nullptr}, index);
}

void CQSegmentControlHD::insertSegmentWithImage(std::shared_ptr<UIImage> image, int index, bool) {
    if (!canCustom) {
        UISegmentedControl::insertSegmentWithTitle({}, index);
        UISegmentedControl::setImage(image, index);
        return;
    }
    insertItem(CQSegmentItem{{}, std::move(image)}, index);
}

void CQSegmentControlHD::removeSegmentAtIndex(int index, bool) {
    if (index < 0 || index >= numberOfSegments()) return;
    items.erase(items.begin() + index);
    if (index < static_cast<int>(normalImageItems.size())) normalImageItems.erase(normalImageItems.begin() + index);
    if (index < static_cast<int>(highlightImageItems.size()))
        highlightImageItems.erase(highlightImageItems.begin() + index);
    if (selectedSegmentIndex() >= numberOfSegments()) setSelectedSegmentIndex(numberOfSegments() - 1);
    setNeedsDisplay();
}

void CQSegmentControlHD::setNormalImage(std::shared_ptr<UIImage> image, int index) {
    if (!canCustom || index < 0 || index >= numberOfSegments()) return;
    if (static_cast<int>(normalImageItems.size()) <= index) normalImageItems.resize(index + 1);
    normalImageItems[index] = std::move(image);
    setNeedsDisplay();
}

void CQSegmentControlHD::setHighlightedImage(std::shared_ptr<UIImage> image, int index) {
    if (!canCustom || index < 0 || index >= numberOfSegments()) return;
    if (static_cast<int>(highlightImageItems.size()) <= index) highlightImageItems.resize(index + 1);
    highlightImageItems[index] = std::move(image);
    setNeedsDisplay();
}

// ---- touches

void CQSegmentControlHD::touchesBegan(const UITouchSet& touches, UIEvent* event) {
    if (!canCustom) {
        UISegmentedControl::touchesBegan(touches, event);
        return;
    }
    UIControl::touchesBegan(touches, event);
    const int n = numberOfSegments();
    const CGFloat W = bounds().size.width;
    if (touches.empty() || n <= 0 || W <= 0) return;
    const CGFloat x = touches.front()->locationInView(this).x;
    const int next = std::clamp(static_cast<int>(std::floor(x * n / W)), 0, n - 1);
    const int old = selectedSegmentIndex();
    setSelectedSegmentIndex(next);
    setNeedsDisplay();
    if (next != old && delegate_) delegate_->segmentControlValueChanged(this, old, next);
}

void CQSegmentControlHD::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    if (!canCustom) {
        UISegmentedControl::touchesEnded(touches, event);
        return;
    }
    // The selection was made at touch-down; no value-changed action.
    UIControl::touchesEnded(touches, event);
}

// ---- drawing

void CQSegmentControlHD::drawRect(const CGRect& rect) {
    if (!canCustom) {
        UISegmentedControl::drawRect(rect);
        return;
    }
    if (segmentedType_ == kImageStyle)
        drawImageStyle(rect);
    else
        drawPaintedStyle(rect);
}

void CQSegmentControlHD::drawImageStyle(const CGRect& rect) {
    CGContext* ctx = UIGraphicsGetCurrentContext();
    const int n = numberOfSegments();
    if (!ctx || n <= 0) return;
    const CGFloat S = std::round(rect.size.width / n);
    for (int i = 0; i < n; ++i) {
        const auto& list = i == selectedSegmentIndex() ? highlightImageItems : normalImageItems;
        if (i >= static_cast<int>(list.size()) || !list[i]) continue;
        const CGSize size = list[i]->size();
        ctx->drawImage(CGRectMake(S * i, 0, size.width, size.height), *list[i]);
    }
}

void CQSegmentControlHD::drawPaintedStyle(const CGRect& rect) {
    CGContext* ctx = UIGraphicsGetCurrentContext();
    const int n = numberOfSegments();
    if (!ctx) return;
    const CGFloat Rw = rect.size.width, Rh = rect.size.height;
    const CGRect inner = CGRectMake(rect.origin.x + 0.5, rect.origin.y + 0.5, Rw - 1, Rh - 1);
    // Background: white at the top to grey 200 at the bottom.
    const UIColor top = UIColor::whiteColor(), bottom = UIColor::colorWithRed(200 / 255.0, 200 / 255.0, 200 / 255.0, 1);
    fillBands(*ctx, inner, true, true, true, true, [&](CGFloat t) { return mix(top, bottom, t); });
    if (n <= 0) return;
    const CGFloat S = std::round(Rw / n);
    const int selected = selectedSegmentIndex();
    const UIColor tint = tintColor.isNull() || tintColor.isPattern()
                             ? UIColor::colorWithRed(55 / 255.0, 111 / 255.0, 214 / 255.0, 1)
                             : tintColor;
    const UIFont titleFont = font();
    const UIColor onColour = selectedItemColor(), offColour = unselectedItemColor();
    for (int i = 0; i < n; ++i) {
        const CGRect seg = CGRectMake(S * i, 0, i == n - 1 ? Rw - S * i : S, Rh);
        const bool first = i == 0, last = i == n - 1;
        if (i == selected) {
            const CGRect r = CGRectMake(std::max(seg.origin.x, inner.origin.x), inner.origin.y,
                                        std::min(seg.origin.x + seg.size.width, inner.origin.x + inner.size.width) -
                                            std::max(seg.origin.x, inner.origin.x),
                                        inner.size.height);
            // Upper part: the tint to 1.25 times the tint at three quarters.
            fillBands(*ctx, r, first, last, true, true, [&](CGFloat t) {
                return mix(tint, scaled(tint, 1.25), std::min<CGFloat>(1, t / 0.75));
            });
            // Lower half: a brighter sheen.
            const CGFloat half = std::round(Rh / 2);
            const CGRect low = CGRectMake(r.origin.x, half + 0.5, r.size.width, r.origin.y + r.size.height - half - 0.5);
            fillBands(*ctx, low, first, last, false, true, [&](CGFloat t) {
                return mix(scaled(tint, 1.22), scaled(tint, 1.22 * 1.25), t);
            });
            // Inner-edge and top shadows.
            ctx->setFillColor(UIColor::colorWithWhite(0, 0.25));
            if (!first) ctx->fillRect(CGRectMake(seg.origin.x, 0.5, std::max<CGFloat>(1, S * 0.05), Rh - 1));
            if (!last)
                ctx->fillRect(CGRectMake(seg.origin.x + seg.size.width - std::max<CGFloat>(1, S * 0.05), 0.5,
                                         std::max<CGFloat>(1, S * 0.05), Rh - 1));
            ctx->fillRect(CGRectMake(r.origin.x + (first ? kCornerRadius : 0), 0.5,
                                     r.size.width - (first ? kCornerRadius : 0) - (last ? kCornerRadius : 0),
                                     std::max<CGFloat>(1, Rh * 0.1)));
        }
        const CQSegmentItem& item = items[i];
        if (item.image) {
            const CGSize is = item.image->size();
            ctx->drawImage(CGRectMake(std::round(seg.origin.x + (S - is.width) / 2), std::round((Rh - is.height) / 2),
                                      is.width, is.height),
                           *item.image);
        } else if (!item.title.empty()) {
            const CGSize ts = titleFont.sizeOfText(item.title);
            const CGFloat x = seg.origin.x + (S - ts.width) / 2, y = (Rh - ts.height) / 2;
            if (i == selected) {
                ctx->setFillColor(UIColor::colorWithWhite(0, 0.2));
                ctx->drawText(item.title, CGRectMake(x, y - 1, ts.width + 2, ts.height), titleFont, UITextAlignment::Left);
                ctx->setFillColor(onColour);
            } else {
                ctx->setFillColor(UIColor::whiteColor());
                ctx->drawText(item.title, CGRectMake(x, y + 1, ts.width + 2, ts.height), titleFont, UITextAlignment::Left);
                ctx->setFillColor(offColour);
            }
            ctx->drawText(item.title, CGRectMake(x, y, ts.width + 2, ts.height), titleFont, UITextAlignment::Left);
        }
        // Separator between two unselected segments.
        if (i >= 1 && i != selected && i - 1 != selected) {
            ctx->setFillColor(UIColor::colorWithWhite(120 / 255.0, 1));
            ctx->fillRect(CGRectMake(S * i, 0.5, 0.5, Rh - 1));
        }
    }
    // Border.
    ctx->setLineWidth(controlStyle_ == 1 ? 1 : 0.5);
    if (controlStyle_ == 1) {
        ctx->setStrokeColor(UIColor::blackColor());
        roundedOutline(*ctx, inner.origin.x, inner.origin.y, inner.origin.x + inner.size.width,
                       inner.origin.y + inner.size.height);
    } else {
        ctx->setFillColor(UIColor::whiteColor());
        ctx->fillRect(CGRectMake(kCornerRadius, Rh - 1, Rw - 2 * kCornerRadius, 1));
        ctx->setStrokeColor(UIColor::colorWithWhite(30 / 255.0, 0.9));
        roundedOutline(*ctx, inner.origin.x, inner.origin.y, inner.origin.x + inner.size.width,
                       inner.origin.y + inner.size.height - 1);
    }
    ctx->strokePath();
}

}  // namespace lumora
