#pragma once

#include <QPointer>
#include <memory>

#include "ui/kit/UIView.h"

namespace lumora {

class UIPopoverController;
class UIViewController;

class UIPopoverControllerDelegate {
public:
    virtual ~UIPopoverControllerDelegate() = default;
    virtual bool popoverControllerShouldDismissPopover(UIPopoverController*) { return true; }
    virtual void popoverControllerDidDismissPopover(UIPopoverController*) {}
};

enum UIPopoverArrowDirection : unsigned {
    UIPopoverArrowDirectionUp = 1,
    UIPopoverArrowDirectionDown = 2,
    UIPopoverArrowDirectionLeft = 4,
    UIPopoverArrowDirectionRight = 8,
    UIPopoverArrowDirectionAny = 15,
};

// The window layer of a shown popover: transparent over the whole window,
// with the content box; a press outside the box is a tap outside.
class UIPopoverLayer : public UIView {
public:
    explicit UIPopoverLayer(UIPopoverController* owner);
    CGRect contentFrame() const;
    UIView* box() const { return box_.data(); }
    void detach() { owner_ = nullptr; }
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;

private:
    UIPopoverController* owner_;
    QPointer<UIView> box_;
};

// Shows a controller's view in a box next to a rectangle. A tap outside
// asks the delegate whether to dismiss, then dismisses and calls
// did-dismiss; a dismissal in code calls no delegate method.
class UIPopoverController : public std::enable_shared_from_this<UIPopoverController> {
public:
    explicit UIPopoverController(std::shared_ptr<UIViewController> content);
    ~UIPopoverController();

    UIPopoverControllerDelegate* delegate = nullptr;  // not owned
    UIViewController* contentViewController() const { return content_.get(); }
    CGSize popoverContentSize() const { return size_; }
    void setPopoverContentSize(CGSize size, bool animated = false);
    bool isPopoverVisible() const { return !layer_.isNull(); }

    void presentPopoverFromRect(const CGRect& rect, UIView* inView, unsigned arrowDirections, bool animated);
    void dismissPopoverAnimated(bool animated);

    // From the layer: a tap outside the content.
    void tappedOutside();

private:
    void place();
    std::shared_ptr<UIViewController> content_;
    CGSize size_;
    CGRect anchor_;
    QPointer<UIPopoverLayer> layer_;
};

}  // namespace lumora
