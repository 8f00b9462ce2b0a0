#include "ui/common/QvToastView.h"

#include <chrono>

#include "platform/runloop/RunLoop.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UIViewAnimation.h"

namespace lumora {

QvToastView::QvToastView(const std::string& message) : UIView(CGRectMake(0, 0, 200, 60)) {
    setViewName(this, "toastView");
    if (auto bkg = UIImage::imageNamed("toastbkg.png"))
        setBackgroundColor(UIColor::colorWithPatternImage(bkg->resizableImageWithCapInsets(UIEdgeInsetsMake(4, 4, 4, 4))));
    auto* label = new UILabel(CGRectMake(0, 0, 200, 60));
    setViewName(label, "textLabel");
    label->setTextAlignment(UITextAlignment::Center);
    label->setTextColor(UIColor::whiteColor());
    label->setFont(UIFont::fontWithName("Verdana-Bold", 14));
    label->setLineBreakMode(UILineBreakMode::TailTruncation);
    label->setBackgroundColor(UIColor::clearColor());
    label->setText(message);
    textLabel_ = label;
    addSubview(label);
}

QvToastView::QvToastView(const CGRect&) : QvToastView(std::string()) {}

QvToastView::~QvToastView() {
    if (timer_) timer_->invalidate();
}

void QvToastView::drawBackground(QPainter& painter) {
    // The pattern picture is a nine-patch: stretch it over the toast
    // instead of tiling it.
    const UIColor bg = backgroundColor();
    if (bg.isPattern() && bg.patternImage()) {
        bg.patternImage()->drawInRect(painter, bounds());
        return;
    }
    UIView::drawBackground(painter);
}

CGPoint QvToastView::toastCenter(UIView* parent) const {
    // The middle of the parent in its own coordinates (where the toast
    // lives), whatever the parent's place in its superview.
    const CGRect b = parent->bounds();
    return CGPointMake(b.size.width / 2, b.size.height / 2);
}

void QvToastView::presentToastView(UIView* parent) {
    if (!parent || presented_) return;
    presented_ = true;
    // The first toast on the parent remembers what the parent allowed; a
    // later one inherits it from a toast still there.
    parentWasInteractive_ = parent->isUserInteractionEnabled();
    for (UIView* v : parent->subviews())
        if (auto* other = dynamic_cast<QvToastView*>(v); other && other != this) {
            parentWasInteractive_ = other->parentWasInteractive_;
            break;
        }
    parent->setUserInteractionEnabled(false);

    QPointer<QvToastView> self(this);
    timer_ = RunLoopTimer::scheduled(RunLoop::main(),
                                     std::chrono::duration_cast<std::chrono::nanoseconds>(
                                         std::chrono::duration<double>(kShowSeconds)),
                                     false, [self](RunLoopTimer&) {
                                         if (self) self->dismiss();
                                     });
    // Pop-in: from a tenth of the size, over 0.3 s, ending at full size.
    setTransformScale(0.1);
    setCenter(toastCenter(parent));
    parent->addSubview(this);
    UIViewAnimation::animateWithDuration(kPopSeconds, [self] {
        if (self) self->setTransformScale(1.0);
    });
}

void QvToastView::dismiss() {
    if (!presented_ || dismissing_) return;
    dismissing_ = true;
    if (timer_) timer_->invalidate();
    QPointer<QvToastView> self(this);
    UIViewAnimation::animateWithDuration(
        kFadeSeconds,
        [self] {
            if (self) self->setAlpha(0);
        },
        [self](bool) {
            if (!self) return;
            UIView* parent = self->superview();
            if (parent) {
                bool othersShowing = false;
                for (UIView* v : parent->subviews())
                    if (auto* other = dynamic_cast<QvToastView*>(v); other && other != self && !other->dismissing_)
                        othersShowing = true;
                if (!othersShowing) parent->setUserInteractionEnabled(self->parentWasInteractive_);
                self->removeFromSuperview();
            }
            self->deleteLater();
        });
}

}  // namespace lumora
