#include "ui/kit/UIView.h"

#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <cmath>

#include "ui/kit/CGContext.h"
#include "ui/kit/UIGestureRecognizer.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWindow.h"

namespace lumora {

namespace {
int px(double v) { return static_cast<int>(std::lround(v)); }
}  // namespace

void setViewName(UIView* view, const std::string& name) {
    if (view) view->setObjectName(QString::fromStdString(name));
}

UIView::UIView(const CGRect& frame) {
    setAttribute(Qt::WA_NoSystemBackground, true);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);
    setFrame(frame);
}

UIView::~UIView() {
    if (controller_) controller_->viewWillBeDestroyed(this);
    for (auto& r : recognizers_) r->setView(nullptr);
}

void UIView::setFrame(const CGRect& frame) {
    CGSize oldSize = boundsSize_;
    frame_ = frame;
    boundsSize_ = CGSize{frame.size.width / scale_, frame.size.height / scale_};
    applyGeometry();
    if (!(oldSize == boundsSize_)) {
        if (autoresizesSubviews_) resizeSubviews(oldSize);
        setNeedsLayout();
    }
}

void UIView::setBounds(const CGRect& bounds) {
    CGPoint c = center();
    CGSize s{bounds.size.width * scale_, bounds.size.height * scale_};
    setFrame(CGRect{{c.x - s.width / 2, c.y - s.height / 2}, s});
}

CGPoint UIView::center() const { return CGPoint{CGRectGetMidX(frame_), CGRectGetMidY(frame_)}; }

void UIView::setCenter(CGPoint c) {
    setFrame(CGRect{{c.x - frame_.size.width / 2, c.y - frame_.size.height / 2}, frame_.size});
}

void UIView::setTransformScale(CGFloat scale) {
    if (!(scale > 0) || !std::isfinite(scale)) scale = 1;
    CGPoint c = center();
    CGSize b = boundsSize_;
    scale_ = scale;
    CGSize s{b.width * scale, b.height * scale};
    frame_ = CGRect{{c.x - s.width / 2, c.y - s.height / 2}, s};
    applyGeometry();
    update();
}

void UIView::applyGeometry() {
    UIView* sv = superview();
    CGPoint o = sv ? sv->boundsOrigin() : CGPoint{};
    if (sv || !isWindow()) {
        setGeometry(px(frame_.origin.x - o.x), px(frame_.origin.y - o.y), std::max(0, px(frame_.size.width)),
                    std::max(0, px(frame_.size.height)));
    } else {
        resize(std::max(0, px(frame_.size.width)), std::max(0, px(frame_.size.height)));
    }
}

void UIView::relayoutChildrenGeometry() {
    for (UIView* v : subviews()) v->applyGeometry();
}

void UIView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // A window resized from outside (window manager): follow it.
    if (!superview() && (px(frame_.size.width) != width() || px(frame_.size.height) != height())) {
        setFrame(CGRect{frame_.origin, {static_cast<CGFloat>(width()), static_cast<CGFloat>(height())}});
    }
}

void UIView::resizeSubviews(CGSize old) {
    CGSize now = boundsSize_;
    double dw = now.width - old.width, dh = now.height - old.height;
    if (dw == 0 && dh == 0) return;
    for (UIView* v : subviews()) {
        unsigned m = v->autoresizing_;
        if (m == UIViewAutoresizingNone) continue;
        CGRect f = v->frame();
        auto distribute = [](double delta, double before, double size, double after, bool fb, bool fs, bool fa,
                             double& outBefore, double& outSize) {
            double total = (fb ? before : 0) + (fs ? size : 0) + (fa ? after : 0);
            int n = int(fb) + int(fs) + int(fa);
            if (n == 0) return;
            auto share = [&](bool flex, double part) {
                if (!flex) return 0.0;
                return total > 0 ? delta * part / total : delta / n;
            };
            outBefore += share(fb, before);
            outSize += share(fs, size);
        };
        double x = f.origin.x, w = f.size.width, y = f.origin.y, h = f.size.height;
        distribute(dw, f.origin.x, f.size.width, old.width - f.origin.x - f.size.width,
                   m & UIViewAutoresizingFlexibleLeftMargin, m & UIViewAutoresizingFlexibleWidth,
                   m & UIViewAutoresizingFlexibleRightMargin, x, w);
        distribute(dh, f.origin.y, f.size.height, old.height - f.origin.y - f.size.height,
                   m & UIViewAutoresizingFlexibleTopMargin, m & UIViewAutoresizingFlexibleHeight,
                   m & UIViewAutoresizingFlexibleBottomMargin, y, h);
        v->setFrame(CGRectMake(x, y, w, h));
    }
}

CGPoint UIView::pointInWindow(CGPoint p) const {
    const UIView* v = this;
    while (v) {
        UIView* sv = v->superview();
        if (!sv) break;
        CGPoint o = sv->boundsOrigin();
        p.x = v->frame_.origin.x + p.x * v->scale_ - o.x;
        p.y = v->frame_.origin.y + p.y * v->scale_ - o.y;
        v = sv;
    }
    return p;
}

CGPoint UIView::convertPointToView(CGPoint p, const UIView* view) const {
    CGPoint w = pointInWindow(p);
    if (!view) return w;
    CGPoint zero = view->pointInWindow(CGPoint{0, 0});
    // Views with a zoom scale the way to their own coordinates.
    CGPoint one = view->pointInWindow(CGPoint{1, 1});
    double sx = one.x - zero.x, sy = one.y - zero.y;
    return CGPoint{sx != 0 ? (w.x - zero.x) / sx : 0, sy != 0 ? (w.y - zero.y) / sy : 0};
}

CGPoint UIView::convertPointFromView(CGPoint p, const UIView* view) const {
    CGPoint w = view ? view->pointInWindow(p) : p;
    CGPoint zero = pointInWindow(CGPoint{0, 0});
    CGPoint one = pointInWindow(CGPoint{1, 1});
    double sx = one.x - zero.x, sy = one.y - zero.y;
    return CGPoint{sx != 0 ? (w.x - zero.x) / sx : 0, sy != 0 ? (w.y - zero.y) / sy : 0};
}

CGRect UIView::convertRectToView(const CGRect& r, const UIView* view) const {
    CGPoint a = convertPointToView(r.origin, view);
    CGPoint b = convertPointToView(CGPoint{r.origin.x + r.size.width, r.origin.y + r.size.height}, view);
    return CGRectMake(a.x, a.y, b.x - a.x, b.y - a.y);
}

CGRect UIView::convertRectFromView(const CGRect& r, const UIView* view) const {
    CGPoint a = convertPointFromView(r.origin, view);
    CGPoint b = convertPointFromView(CGPoint{r.origin.x + r.size.width, r.origin.y + r.size.height}, view);
    return CGRectMake(a.x, a.y, b.x - a.x, b.y - a.y);
}

void UIView::applyVisibility() { setVisible(!hidden_ && alpha_ >= 0.01); }

void UIView::setHidden(bool hidden) {
    hidden_ = hidden;
    applyVisibility();
}

void UIView::setAlpha(CGFloat alpha) {
    alpha_ = std::clamp(alpha, 0.0, 1.0);
    applyVisibility();
    update();
}

CGFloat UIView::effectiveAlpha() const {
    CGFloat a = alpha_;
    for (UIView* v = superview(); v; v = v->superview()) a *= v->alpha_;
    return a;
}

void UIView::setBackgroundColor(const UIColor& color) {
    background_ = color;
    update();
}

void UIView::setContentMode(UIViewContentMode mode) {
    contentMode_ = mode;
    update();
}

void UIView::setBorder(CGFloat width, const UIColor& color) {
    borderWidth_ = width;
    borderColor_ = color;
    update();
}

void UIView::setCornerRadius(CGFloat radius) {
    cornerRadius_ = radius;
    update();
}

UIView* UIView::viewWithTag(int tag) {
    if (tag_ == tag) return this;
    for (UIView* v : subviews())
        if (UIView* found = v->viewWithTag(tag)) return found;
    return nullptr;
}

UIView* UIView::viewWithName(const std::string& name) {
    if (objectName().toStdString() == name) return this;
    for (UIView* v : subviews())
        if (UIView* found = v->viewWithName(name)) return found;
    return nullptr;
}

UIView* UIView::superview() const { return dynamic_cast<UIView*>(parentWidget()); }

std::vector<UIView*> UIView::subviews() const {
    std::vector<UIView*> out;
    for (QObject* o : children())
        if (auto* v = dynamic_cast<UIView*>(o)) out.push_back(v);
    return out;
}

void UIView::attach(UIView* view) {
    UIView* old = view->superview();
    if (old == this) return;
    view->willMoveToSuperview(this);
    if (old) old->willRemoveSubview(view);
    view->setParent(this);
    view->applyGeometry();
    view->applyVisibility();
    didAddSubview(view);
    view->didMoveToSuperview();
}

void UIView::addSubview(UIView* view) {
    if (!view || view == this) return;
    if (view->superview() == this) {
        view->raise();
        return;
    }
    attach(view);
    view->raise();
}

void UIView::insertSubviewAtIndex(UIView* view, size_t index) {
    if (!view || view == this) return;
    attach(view);
    std::vector<UIView*> subs = subviews();
    std::vector<UIView*> others;
    for (UIView* v : subs)
        if (v != view) others.push_back(v);
    if (index >= others.size()) {
        view->raise();
    } else {
        view->stackUnder(others[index]);
    }
}

void UIView::insertSubviewBelowSubview(UIView* view, UIView* sibling) {
    if (!view || view == this) return;
    attach(view);
    if (sibling && sibling->superview() == this && sibling != view) {
        view->stackUnder(sibling);
    } else {
        view->raise();
    }
}

void UIView::insertSubviewAboveSubview(UIView* view, UIView* sibling) {
    if (!view || view == this) return;
    attach(view);
    view->raise();
    if (sibling && sibling->superview() == this && sibling != view) {
        // Every view that was above the sibling goes back above the new one.
        std::vector<UIView*> subs = subviews();
        bool after = false;
        for (UIView* v : subs) {
            if (v == sibling) {
                after = true;
                continue;
            }
            if (after && v != view) v->raise();
        }
    }
}

void UIView::bringSubviewToFront(UIView* view) {
    if (view && view->superview() == this) view->raise();
}

void UIView::sendSubviewToBack(UIView* view) {
    if (view && view->superview() == this) view->lower();
}

void UIView::removeFromSuperview() {
    UIView* sv = superview();
    if (!sv) return;
    willMoveToSuperview(nullptr);
    sv->willRemoveSubview(this);
    setParent(nullptr);
    didMoveToSuperview();
}

bool UIView::isDescendantOfView(const UIView* view) const {
    for (const UIView* v = this; v; v = v->superview())
        if (v == view) return true;
    return false;
}

UIWindow* UIView::window() const {
    const UIView* v = this;
    while (v->superview()) v = v->superview();
    return dynamic_cast<UIWindow*>(const_cast<UIView*>(v));
}

void UIView::setNeedsLayout() {
    if (inLayout_) return;
    inLayout_ = true;
    layoutSubviews();
    inLayout_ = false;
}

void UIView::layoutIfNeeded() { setNeedsLayout(); }

void UIView::sizeToFit() {
    CGSize s = sizeThatFits(boundsSize_);
    setFrame(CGRect{frame_.origin, s});
}

void UIView::drawRect(const CGRect&) {}

void UIView::drawBackground(QPainter& painter) {
    if (background_.isNull()) return;
    QRectF r(0, 0, boundsSize_.width, boundsSize_.height);
    if (cornerRadius_ > 0) {
        QPainterPath path;
        path.addRoundedRect(r, cornerRadius_, cornerRadius_);
        painter.fillPath(path, background_.brush());
    } else {
        painter.fillRect(r, background_.brush());
    }
}

void UIView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setOpacity(effectiveAlpha());
    if (scale_ != 1) painter.scale(scale_, scale_);
    drawBackground(painter);
    {
        CGContext ctx(painter);
        painter.save();
        drawRect(bounds());
        painter.restore();
    }
    if (borderWidth_ > 0 && !borderColor_.isNull()) {
        QPen pen(borderColor_.qColor(), borderWidth_);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        double h = borderWidth_ / 2;
        painter.drawRoundedRect(QRectF(h, h, boundsSize_.width - borderWidth_, boundsSize_.height - borderWidth_),
                                cornerRadius_, cornerRadius_);
    }
}

bool UIView::pointInside(CGPoint p, UIEvent*) const {
    CGRect r = CGRectMake(-outsets_.left, -outsets_.top, boundsSize_.width + outsets_.left + outsets_.right,
                          boundsSize_.height + outsets_.top + outsets_.bottom);
    return CGRectContainsPoint(r, p);
}

UIView* UIView::hitTest(CGPoint p, UIEvent* event) {
    if (hidden_ || alpha_ < 0.01 || !interaction_) return nullptr;
    if (!pointInside(p, event)) return nullptr;
    std::vector<UIView*> subs = subviews();
    CGPoint o = boundsOrigin();
    for (auto it = subs.rbegin(); it != subs.rend(); ++it) {
        UIView* v = *it;
        CGRect f = v->frame();
        CGPoint local{(p.x + o.x - f.origin.x) / v->scale_, (p.y + o.y - f.origin.y) / v->scale_};
        if (UIView* hit = v->hitTest(local, event)) return hit;
    }
    return this;
}

void UIView::addGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
    if (!recognizer) return;
    if (UIView* old = recognizer->view()) old->removeGestureRecognizer(recognizer.get());
    recognizer->setView(this);
    recognizers_.push_back(recognizer);
}

void UIView::removeGestureRecognizer(const UIGestureRecognizer* recognizer) {
    for (auto it = recognizers_.begin(); it != recognizers_.end(); ++it) {
        if (it->get() == recognizer) {
            (*it)->setView(nullptr);
            recognizers_.erase(it);
            return;
        }
    }
}

UIResponder* UIView::nextResponder() const {
    if (controller_) return controller_;
    return superview();
}

}  // namespace lumora
