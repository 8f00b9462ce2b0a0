#include "ui/common/MBProgressHUD.h"

#include <chrono>
#include <cmath>
#include <thread>

#include "platform/Log.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/NotificationCenter.h"
#include "platform/runloop/RunLoop.h"
#include "ui/common/MBRoundProgressView.h"
#include "ui/kit/CGContext.h"
#include "ui/kit/UIActivityIndicatorView.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIInterfaceOrientation.h"
#include "ui/kit/UIViewAnimation.h"
#include "ui/kit/UIWindow.h"

namespace lumora {

namespace {

std::chrono::nanoseconds seconds(double s) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(s));
}

UIView* requireView(UIView* view) {
    if (!view) throw MBProgressHUDViewIsNillException();
    return view;
}

}  // namespace

MBProgressHUD::MBProgressHUD(UIView* view) : UIView(requireView(view)->bounds()) {
    alive_ = std::make_shared<Alive>(Alive{this});
    setViewName(this, "progressHUD");
    setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
                        UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin);
    setOpaque(false);
    setBackgroundColor(UIColor::clearColor());
    setAlpha(0);
    auto* l = new UILabel(bounds());
    setViewName(l, "hudLabel");
    label_ = l;
    auto* d = new UILabel(bounds());
    setViewName(d, "hudDetailsLabel");
    detailsLabel_ = d;
    setMode(MBProgressHUDModeIndeterminate);
    if (dynamic_cast<UIWindow*>(view)) setTransformForCurrentOrientation(false);
    std::weak_ptr<Alive> weak = alive_;
    orientationObserver_ = NotificationCenter::defaultCenter().addObserver(
        UIDeviceOrientationDidChangeNotification, nullptr, [weak](const Notification&) {
            auto a = weak.lock();
            if (a && a->hud && RunLoop::isMainThread()) a->hud->deviceOrientationDidChange();
        });
}

MBProgressHUD::~MBProgressHUD() {
    alive_->hud = nullptr;
    NotificationCenter::defaultCenter().removeObserver(orientationObserver_);
    if (graceTimer_) graceTimer_->invalidate();
    if (minShowTimer_) minShowTimer_->invalidate();
    // The labels are ours while they are out of the view.
    if (label_ && !label_->superview()) delete label_.data();
    if (detailsLabel_ && !detailsLabel_->superview()) delete detailsLabel_.data();
}

MBProgressHUD* MBProgressHUD::showHUDAddedTo(UIView* view, bool animated, const std::string& text) {
    if (!view) return nullptr;
    auto* hud = new MBProgressHUD(view);
    hud->setLabelText(text);
    view->addSubview(hud);
    hud->show(animated);
    return hud;
}

bool MBProgressHUD::hideHUDForView(UIView* view, bool animated) {
    if (!view) return false;
    MBProgressHUD* last = nullptr;
    for (UIView* v : view->subviews())
        if (auto* h = dynamic_cast<MBProgressHUD*>(v)) last = h;
    if (!last) return false;
    last->removeFromSuperViewOnHide = true;
    last->hide(animated);
    return true;
}

void MBProgressHUD::onMain(std::function<void()> work) {
    if (RunLoop::isMainThread()) {
        work();
        return;
    }
    std::weak_ptr<Alive> weak = alive_;
    DispatchQueue::main()->async([weak, work = std::move(work)] {
        auto a = weak.lock();
        if (a && a->hud) work();
    });
}

int MBProgressHUD::mode() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mode_;
}

void MBProgressHUD::setMode(int mode) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (mode_ != 0 && mode_ == mode) return;
        mode_ = mode;
    }
    onMain([this] {
        updateIndicators();
        setNeedsLayout();
        setNeedsDisplay();
    });
}

std::string MBProgressHUD::labelText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return labelText_;
}

void MBProgressHUD::setLabelText(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        labelText_ = text;
    }
    onMain([this] {
        setNeedsLayout();
        setNeedsDisplay();
    });
}

std::string MBProgressHUD::detailsLabelText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return detailsLabelText_;
}

void MBProgressHUD::setDetailsLabelText(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        detailsLabelText_ = text;
    }
    onMain([this] {
        setNeedsLayout();
        setNeedsDisplay();
    });
}

float MBProgressHUD::progress() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
}

void MBProgressHUD::setProgress(float progress) {
    bool shown;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        progress_ = progress;
        shown = mode_ == MBProgressHUDModeDeterminate;
    }
    if (!shown) return;
    onMain([this, progress] {
        if (auto* dial = dynamic_cast<MBRoundProgressView*>(indicator_.data())) {
            dial->setProgress(progress);
            dial->setNeedsDisplay();
        }
    });
}

void MBProgressHUD::setCustomView(UIView* view) {
    customView_ = view;
    if (mode() == MBProgressHUDModeCustomView) {
        updateIndicators();
        setNeedsLayout();
    }
}

void MBProgressHUD::updateIndicators() {
    if (indicator_ && indicator_ != customView_) {
        indicator_->removeFromSuperview();
        delete indicator_.data();
    } else if (indicator_) {
        indicator_->removeFromSuperview();
    }
    int m = mode();
    UIView* next = nullptr;
    if (m == MBProgressHUDModeCustomView && customView_) {
        next = customView_.data();
    } else if (m == MBProgressHUDModeDeterminate) {
        auto* dial = MBRoundProgressView::initWithDefaultSize();
        dial->setProgress(progress());
        next = dial;
    } else {
        auto* spinner = new UIActivityIndicatorView(UIActivityIndicatorViewStyle::WhiteLarge);
        setViewName(spinner, "hudSpinner");
        spinner->startAnimating();
        next = spinner;
    }
    indicator_ = next;
    addSubview(next);
    layoutSubviews();
}

void MBProgressHUD::layoutSubviews() {
    const CGRect b = bounds();
    const CGFloat BW = b.size.width, BH = b.size.height;
    CGRect ind = indicator_ ? indicator_->frame() : CGRectZero;
    width_ = static_cast<float>(ind.size.width + 40);
    height_ = static_cast<float>(ind.size.height + 40);
    ind.origin.x = std::floor((BW - ind.size.width) / 2) + xOffset;
    ind.origin.y = std::floor((BH - ind.size.height) / 2) + yOffset;
    if (indicator_) indicator_->setFrame(ind);

    const std::string text = labelText(), details = detailsLabelText();
    if (text.empty()) {
        if (label_ && label_->superview()) label_->removeFromSuperview();
        if (detailsLabel_ && detailsLabel_->superview()) detailsLabel_->removeFromSuperview();
        return;
    }
    auto configure = [](UILabel* l, const UIFont& font, const std::string& t) {
        l->setFont(font);
        l->setAdjustsFontSizeToFitWidth(false);
        l->setTextAlignment(UITextAlignment::Center);
        l->setOpaque(false);
        l->setBackgroundColor(UIColor::clearColor());
        l->setTextColor(UIColor::whiteColor());
        l->setText(t);
    };
    CGSize ls = labelFont.sizeOfText(text);
    if (ls.width > BW - 40) ls.width = BW - 80;
    CGRect lf{};
    if (label_) {
        configure(label_, labelFont, text);
        if (width_ < ls.width + 40) width_ = static_cast<float>(ls.width + 40);
        height_ += static_cast<float>(ls.height + 4);
        ind.origin.y -= std::floor(ls.height / 2 + 2);
        if (indicator_) indicator_->setFrame(ind);
        lf = CGRectMake(std::floor((BW - ls.width) / 2) + xOffset, std::floor(ind.origin.y + ind.size.height + 4),
                        ls.width, ls.height);
        label_->setFrame(lf);
        if (!label_->superview()) addSubview(label_);
    }
    if (details.empty()) {
        if (detailsLabel_ && detailsLabel_->superview()) detailsLabel_->removeFromSuperview();
        return;
    }
    CGSize ds = detailsLabelFont.sizeOfText(details);
    if (ds.width > BW - 40) ds.width = BW - 80;
    if (detailsLabel_) {
        configure(detailsLabel_, detailsLabelFont, details);
        if (ds.width > width_) width_ = static_cast<float>(ds.width + 40);
        height_ += static_cast<float>(ds.height + 4);
        CGFloat up = std::floor(ds.height / 2 + 2);
        ind.origin.y -= up;
        if (indicator_) indicator_->setFrame(ind);
        lf.origin.y -= up;
        if (label_) label_->setFrame(lf);
        detailsLabel_->setFrame(CGRectMake(std::floor((BW - ds.width) / 2) + xOffset,
                                           lf.origin.y + lf.size.height + 4, ds.width, ds.height));
        if (!detailsLabel_->superview()) addSubview(detailsLabel_);
    }
}

void MBProgressHUD::drawRect(const CGRect&) {
    CGContext* ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    const CGRect b = bounds();
    const CGRect r = CGRectMake(xOffset + (b.size.width - width_) / 2, (b.size.height - height_) / 2 + yOffset,
                                width_, height_);
    // A rounded rectangle of radius 10, the arcs drawn as short lines.
    const CGFloat rad = 10;
    const CGFloat minX = r.origin.x, minY = r.origin.y, maxX = minX + r.size.width, maxY = minY + r.size.height;
    ctx->beginPath();
    ctx->moveToPoint(minX + rad, minY);
    auto arc = [&](CGFloat cx, CGFloat cy, double from, double to) {
        for (int k = 0; k <= 12; ++k) {
            double a = from + (to - from) * k / 12;
            ctx->addLineToPoint(cx + rad * std::cos(a), cy + rad * std::sin(a));
        }
    };
    arc(maxX - rad, minY + rad, 3 * M_PI / 2, 2 * M_PI);
    arc(maxX - rad, maxY - rad, 0, M_PI / 2);
    arc(minX + rad, maxY - rad, M_PI / 2, M_PI);
    arc(minX + rad, minY + rad, M_PI, 3 * M_PI / 2);
    ctx->closePath();
    ctx->setFillColor(UIColor::colorWithWhite(0, opacity));
    ctx->fillPath();
}

// ---- showing and hiding

void MBProgressHUD::show(bool animated) {
    useAnimation_ = animated;
    showWanted_ = true;
    if (graceTime > 0) {
        if (graceTimer_) graceTimer_->invalidate();
        QPointer<MBProgressHUD> self(this);
        graceTimer_ = RunLoopTimer::scheduled(RunLoop::main(), seconds(graceTime), false, [self](RunLoopTimer&) {
            if (!self) return;
            self->graceTimer_.reset();
            // Still wanted: the task still runs, or no hide came meanwhile.
            if (self->showWanted_) {
                self->setNeedsDisplay();
                self->showUsingAnimation(self->useAnimation_);
            }
        });
        return;
    }
    setNeedsDisplay();
    showUsingAnimation(useAnimation_);
}

void MBProgressHUD::showUsingAnimation(bool animated) {
    isFinished_ = false;
    setAlpha(0);
    QPointer<MBProgressHUD> self(this);
    showStarted_ = CACurrentMediaTime();
    if (animated) {
        if (animationType == MBProgressHUDAnimationZoom) setTransformScale(1.5);
        UIViewAnimation::animateWithDuration(kAnimationSeconds, [self] {
            if (!self) return;
            self->setAlpha(1);
            if (self->animationType == MBProgressHUDAnimationZoom) self->setTransformScale(1.0);
        });
    } else {
        setAlpha(1);
    }
}

void MBProgressHUD::hide(bool animated) {
    useAnimation_ = animated;
    showWanted_ = false;
    if (graceTimer_) {
        // Never shown: nothing to wait for.
        graceTimer_->invalidate();
        graceTimer_.reset();
        hideUsingAnimation(false);
        return;
    }
    if (minShowTime > 0 && showStarted_ >= 0) {
        double shown = CACurrentMediaTime() - showStarted_;
        if (shown < minShowTime) {
            if (minShowTimer_) minShowTimer_->invalidate();
            QPointer<MBProgressHUD> self(this);
            minShowTimer_ = RunLoopTimer::scheduled(RunLoop::main(), seconds(minShowTime - shown), false,
                                                    [self](RunLoopTimer&) {
                                                        if (!self) return;
                                                        self->minShowTimer_.reset();
                                                        self->hideUsingAnimation(self->useAnimation_);
                                                    });
            return;
        }
    }
    hideUsingAnimation(useAnimation_);
}

void MBProgressHUD::hideUsingAnimation(bool animated) {
    if (animated) {
        QPointer<MBProgressHUD> self(this);
        UIViewAnimation::animateWithDuration(
            kAnimationSeconds,
            [self] {
                if (!self) return;
                if (self->animationType == MBProgressHUDAnimationZoom) self->setTransformScale(0.5);
                self->setAlpha(0.02);
            },
            [self](bool) {
                if (self) self->done();
            });
    } else {
        setAlpha(0);
        done();
    }
}

void MBProgressHUD::done() {
    QPointer<MBProgressHUD> self(this);
    isFinished_ = true;
    setAlpha(0);
    setTransformScale(1.0);
    if (delegate) delegate->hudWasHidden(this);
    if (self && removeFromSuperViewOnHide && superview()) {
        removeFromSuperview();
        deleteLater();
    }
}

void MBProgressHUD::showWhileExecuting(std::function<void()> task, bool animated) {
    taskInProgress_ = true;
    std::weak_ptr<Alive> weak = alive_;
    std::thread([weak, task = std::move(task)] {
        try {
            if (task) task();
        } catch (const std::exception& e) {
            Log::warn("hud", "task ended with an exception: %s", e.what());
        } catch (...) {
            Log::warn("hud", "task ended with an exception");
        }
        DispatchQueue::main()->async([weak] {
            auto a = weak.lock();
            if (a && a->hud) a->hud->cleanUp();
        });
    }).detach();
    show(animated);
}

void MBProgressHUD::cleanUp() {
    taskInProgress_ = false;
    hide(useAnimation_);
}

// ---- orientation

void MBProgressHUD::setTransformForCurrentOrientation(bool) {
    switch (UIApplication::sharedApplication().statusBarOrientation()) {
        case UIInterfaceOrientation::LandscapeRight: rotation_ = 90; break;
        case UIInterfaceOrientation::LandscapeLeft: rotation_ = -90; break;
        case UIInterfaceOrientation::PortraitUpsideDown: rotation_ = 180; break;
        default: rotation_ = 0; break;
    }
}

void MBProgressHUD::deviceOrientationDidChange() {
    UIView* parent = superview();
    if (!parent) return;
    if (dynamic_cast<UIWindow*>(parent)) setTransformForCurrentOrientation(true);
    setFrame(parent->bounds());
    setNeedsDisplay();
}

}  // namespace lumora
