#pragma once

#include "ui/kit/WeakView.h"
#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "ui/kit/UIColor.h"
#include "ui/kit/UIGeometry.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UIResponder.h"

namespace lumora {

class UIGestureRecognizer;
class UIViewController;
class UIWindow;

// Springs and struts: which margins and sizes follow the superview's size.
enum UIViewAutoresizing : unsigned {
    UIViewAutoresizingNone = 0,
    UIViewAutoresizingFlexibleLeftMargin = 1 << 0,
    UIViewAutoresizingFlexibleWidth = 1 << 1,
    UIViewAutoresizingFlexibleRightMargin = 1 << 2,
    UIViewAutoresizingFlexibleTopMargin = 1 << 3,
    UIViewAutoresizingFlexibleHeight = 1 << 4,
    UIViewAutoresizingFlexibleBottomMargin = 1 << 5,
};

// A rectangle on screen: a Qt widget with the platform's geometry in points
// (frame in the superview's coordinates, bounds, centre), hidden/alpha,
// background colour, tag, subview order, its own hit test and the touch
// callbacks of a responder. The widget tree owns the views: a superview
// deletes its subviews; hold views you do not own by QPointer. Main thread only.
class UIView : public QWidget, public UIResponder {
public:
    explicit UIView(const CGRect& frame = CGRectZero);
    ~UIView() override;

    // ---- geometry (points)
    CGRect frame() const { return frame_; }
    virtual void setFrame(const CGRect& frame);
    // Origin 0,0 and the view's own size (unscaled by a zoom).
    CGRect bounds() const { return CGRect{{0, 0}, boundsSize_}; }
    void setBounds(const CGRect& bounds);
    CGPoint center() const;
    void setCenter(CGPoint center);
    // A uniform zoom around the centre: the frame grows, bounds stay.
    CGFloat transformScale() const { return scale_; }
    void setTransformScale(CGFloat scale);
    // The origin of the subviews' coordinate space (a scroll view's offset).
    virtual CGPoint boundsOrigin() const { return CGPoint{}; }

    CGPoint convertPointToView(CGPoint p, const UIView* view) const;
    CGPoint convertPointFromView(CGPoint p, const UIView* view) const;
    CGRect convertRectToView(const CGRect& r, const UIView* view) const;
    CGRect convertRectFromView(const CGRect& r, const UIView* view) const;
    // In the window's (top-level view's) coordinates.
    CGPoint pointInWindow(CGPoint p) const;

    // ---- appearance
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    CGFloat alpha() const { return alpha_; }
    void setAlpha(CGFloat alpha);
    // Alpha of this view times its superviews'.
    CGFloat effectiveAlpha() const;
    UIColor backgroundColor() const { return background_; }
    void setBackgroundColor(const UIColor& color);
    UIViewContentMode contentMode() const { return contentMode_; }
    void setContentMode(UIViewContentMode mode);
    bool isOpaque() const { return opaque_; }
    void setOpaque(bool opaque) { opaque_ = opaque; }
    // A border drawn on the edges (layer border).
    void setBorder(CGFloat width, const UIColor& color);
    void setCornerRadius(CGFloat radius);

    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    // This view or the first descendant (depth first) with the tag.
    UIView* viewWithTag(int tag);
    // This view or the first descendant with that object name.
    UIView* viewWithName(const std::string& name);
    // The same, only when it is a T (null otherwise).
    template <class T>
    T* viewWithName(const std::string& name) {
        return dynamic_cast<T*>(viewWithName(name));
    }

    // ---- hierarchy
    UIView* superview() const;
    // Back to front.
    std::vector<UIView*> subviews() const;
    void addSubview(UIView* view);
    void insertSubviewAtIndex(UIView* view, size_t index);
    void insertSubviewBelowSubview(UIView* view, UIView* sibling);
    void insertSubviewAboveSubview(UIView* view, UIView* sibling);
    void bringSubviewToFront(UIView* view);
    void sendSubviewToBack(UIView* view);
    // The view no longer has a superview; whoever removed it owns it now.
    void removeFromSuperview();
    bool isDescendantOfView(const UIView* view) const;
    UIWindow* window() const;

    // ---- layout
    unsigned autoresizingMask() const { return autoresizing_; }
    void setAutoresizingMask(unsigned mask) { autoresizing_ = mask; }
    bool autoresizesSubviews() const { return autoresizesSubviews_; }
    void setAutoresizesSubviews(bool on) { autoresizesSubviews_ = on; }
    // Called after the size changed (and from layoutIfNeeded()).
    virtual void layoutSubviews() {}
    void setNeedsLayout();
    void layoutIfNeeded();
    // The size the view would like; by default the size it has.
    virtual CGSize sizeThatFits(CGSize /*size*/) const { return boundsSize_; }
    void sizeToFit();

    // ---- drawing
    // Draws the content over the background, in bounds coordinates; the
    // current context is UIGraphicsGetCurrentContext().
    virtual void drawRect(const CGRect& rect);
    void setNeedsDisplay() { update(); }

    // ---- touches
    bool isUserInteractionEnabled() const { return interaction_; }
    void setUserInteractionEnabled(bool on) { interaction_ = on; }
    bool isMultipleTouchEnabled() const { return multipleTouch_; }
    void setMultipleTouchEnabled(bool on) { multipleTouch_ = on; }
    // The deepest visible, interactive view that contains the point (in this
    // view's coordinates), or nullptr.
    virtual UIView* hitTest(CGPoint point, UIEvent* event);
    // Bounds grown by the hit-test outsets.
    virtual bool pointInside(CGPoint point, UIEvent* event) const;
    UIEdgeInsets hitTestOutsets() const { return outsets_; }
    // Grows the touch area beyond the bounds (a small button's larger target).
    void setHitTestOutsets(UIEdgeInsets outsets) { outsets_ = outsets; }

    void addGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer);
    void removeGestureRecognizer(const UIGestureRecognizer* recognizer);
    const std::vector<std::shared_ptr<UIGestureRecognizer>>& gestureRecognizers() const { return recognizers_; }

    UIResponder* nextResponder() const override;
    // The controller whose view this is (nullptr when none).
    UIViewController* viewController() const { return controller_; }
    void setViewController(UIViewController* controller) { controller_ = controller; }

    // Hooks for subclasses.
    virtual void willMoveToSuperview(UIView*) {}
    virtual void didMoveToSuperview() {}
    virtual void didAddSubview(UIView*) {}
    virtual void willRemoveSubview(UIView*) {}

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Places the widget from the frame (after the frame or the superview's
    // bounds origin changed).
    void applyGeometry();
    void relayoutChildrenGeometry();
    // Drawn before drawRect(): background colour; subclasses may replace it.
    virtual void drawBackground(QPainter& painter);

private:
    void applyVisibility();
    void resizeSubviews(CGSize oldSize);
    void attach(UIView* view);

    CGRect frame_;
    CGSize boundsSize_;
    CGFloat scale_ = 1;
    bool hidden_ = false;
    CGFloat alpha_ = 1;
    UIColor background_;
    UIViewContentMode contentMode_ = UIViewContentMode::ScaleToFill;
    bool opaque_ = true;
    CGFloat borderWidth_ = 0;
    UIColor borderColor_;
    CGFloat cornerRadius_ = 0;
    int tag_ = 0;
    unsigned autoresizing_ = UIViewAutoresizingNone;
    bool autoresizesSubviews_ = true;
    bool interaction_ = true;
    bool multipleTouch_ = false;
    bool inLayout_ = false;
    UIEdgeInsets outsets_;
    std::vector<std::shared_ptr<UIGestureRecognizer>> recognizers_;
    UIViewController* controller_ = nullptr;
};

// The view's name for tests and look-ups (QObject's object name).
void setViewName(UIView* view, const std::string& name);

}  // namespace lumora
