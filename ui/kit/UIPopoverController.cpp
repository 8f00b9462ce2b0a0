#include "ui/kit/UIPopoverController.h"

#include "ui/kit/UIViewController.h"
#include "ui/kit/UIWindow.h"

namespace lumora {

UIPopoverLayer::UIPopoverLayer(UIPopoverController* owner) : UIView(CGRectZero), owner_(owner) {
    auto* box = new UIView(CGRectZero);
    setViewName(box, "popoverBox");
    box->setBackgroundColor(UIColor::colorWithWhite(0.1, 1));
    box->setBorder(2, UIColor::colorWithWhite(0.1, 1));
    box->setCornerRadius(6);
    box_ = box;
    addSubview(box);
}

CGRect UIPopoverLayer::contentFrame() const { return box_ ? box_->frame() : CGRectZero; }

void UIPopoverLayer::touchesBegan(const UITouchSet& touches, UIEvent*) {
    // Touches the content leaves unhandled come up here too: only one that
    // starts outside the box is a tap outside.
    if (touches.empty() || !owner_) return;
    if (box_ && CGRectContainsPoint(box_->frame(), touches.front()->locationInView(this))) return;
    owner_->tappedOutside();
}

UIPopoverController::UIPopoverController(std::shared_ptr<UIViewController> content)
    : content_(std::move(content)), size_(content_ ? content_->contentSizeForViewInPopover : CGSize{320, 480}) {}

UIPopoverController::~UIPopoverController() {
    if (layer_) {
        layer_->detach();
        if (content_ && content_->viewIfLoaded()) content_->viewIfLoaded()->removeFromSuperview();
        layer_->removeFromSuperview();
        layer_->deleteLater();
    }
}

void UIPopoverController::setPopoverContentSize(CGSize size, bool) {
    size_ = size;
    place();
}

void UIPopoverController::presentPopoverFromRect(const CGRect& rect, UIView* inView, unsigned, bool animated) {
    UIWindow* w = inView ? inView->window() : nullptr;
    if (!w || !content_) return;
    if (layer_) dismissPopoverAnimated(false);
    anchor_ = inView->convertRectToView(rect, nullptr);
    auto* layer = new UIPopoverLayer(this);
    layer->setFrame(w->bounds());
    layer_ = layer;
    UIView* v = content_->view();
    layer->box()->addSubview(v);
    place();
    content_->attachToWindow(w);
    content_->beginAppearanceTransition(true, animated);
    w->addOverlay(layer);
    content_->endAppearanceTransition();
}

void UIPopoverController::place() {
    if (!layer_ || !layer_->box()) return;
    CGRect b = layer_->bounds();
    CGFloat bw = size_.width + 16, bh = size_.height + 16;
    // Below the anchor when it fits, else above, kept inside the window.
    CGFloat x = std::clamp(CGRectGetMidX(anchor_) - bw / 2, 4.0, std::max(4.0, b.size.width - bw - 4));
    CGFloat y = CGRectGetMaxY(anchor_) + 4;
    if (y + bh > b.size.height - 4) y = std::max(4.0, CGRectGetMinY(anchor_) - 4 - bh);
    layer_->box()->setFrame(CGRectMake(x, y, bw, bh));
    if (content_ && content_->viewIfLoaded()) content_->viewIfLoaded()->setFrame(CGRectMake(8, 8, size_.width, size_.height));
}

void UIPopoverController::dismissPopoverAnimated(bool animated) {
    if (!layer_) return;
    auto keep = weak_from_this().lock();
    QPointer<UIPopoverLayer> layer = layer_;
    layer_ = nullptr;
    layer->detach();
    if (content_) content_->beginAppearanceTransition(false, animated);
    if (content_ && content_->viewIfLoaded()) content_->viewIfLoaded()->removeFromSuperview();
    layer->setHidden(true);
    layer->removeFromSuperview();
    layer->deleteLater();
    if (content_) {
        content_->endAppearanceTransition();
        content_->detachFromWindow();
    }
}

void UIPopoverController::tappedOutside() {
    auto keep = weak_from_this().lock();
    if (delegate && !delegate->popoverControllerShouldDismissPopover(this)) return;
    dismissPopoverAnimated(true);
    if (delegate) delegate->popoverControllerDidDismissPopover(this);
}

}  // namespace lumora
