#include "ui/kit/WeakView.h"
#include "ui/common/ALMoviePlayerController.h"

#include <chrono>
#include <cmath>

#include "platform/runloop/Seconds.h"
#include "platform/runloop/RunLoop.h"
#include "ui/common/ALMoviePlayerControls.h"
#include "ui/common/UIApplicationALAppDimensions.h"
#include "ui/common/UIDeviceALSystemVersion.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIViewAnimation.h"
#include "ui/kit/UIWindow.h"

namespace lumora {

namespace {
Rect boundsRect(const CGRect& r) { return Rect{0, 0, r.size.width, r.size.height}; }
}  // namespace

ALMoviePlayerController::ALMoviePlayerController(const CGRect& frame, MoviePlayerEngineFactory engines)
    : MPMoviePlayerController(boundsRect(frame), nullptr, std::move(engines)) {
    auto* view = new UIImageView(frame);
    setViewName(view, "moviePlayerView");
    view->setBackgroundColor(UIColor::blackColor());
    view->setUserInteractionEnabled(true);  // the controls over the picture take touches
    view_ = view;
    setControlStyle(MPMovieControlStyleNone);
    movieFullscreen_ = false;
    auto* background = new UIView(CGRectZero);
    setViewName(background, "movieBackgroundView");
    background->setAlpha(0);
    background->setBackgroundColor(UIColor::blackColor());
    background_ = background;

    WeakView<UIImageView> target(view);
    MPMoviePlayerController::view().setPresentedHandler([target](const std::shared_ptr<const RGBAImage>& picture) {
        if (target && picture && !picture->empty()) target->setPicture(*picture);
    });
}

ALMoviePlayerController::~ALMoviePlayerController() {
    *alive_ = false;
    delegate_ = nullptr;
    if (auto* c = controls()) c->setMoviePlayer(nullptr);
    observeLoadState(false);
    observeOrientation(false);
    cancelTimeout();
    MPMoviePlayerController::view().waitUntilDrawn();
    MPMoviePlayerController::view().setPresentedHandler(nullptr);
    // Views out of any tree are still the player's; the tree owns the others.
    if (background_ && view_ && view_->superview() == background_.data()) view_->removeFromSuperview();
    if (view_ && !view_->superview()) delete view_.data();
    // A backdrop still in the window (the player went while full screen) goes with the player.
    if (background_) {
        background_->removeFromSuperview();
        delete background_.data();
    }
}

void ALMoviePlayerController::initWithContentURL(const std::string&) {
    throw ALMoviePlayerControllerException("Set contentURL after initialization.");
}

ALMoviePlayerControls* ALMoviePlayerController::controls() const {
    return static_cast<ALMoviePlayerControls*>(controls_.data());
}

void ALMoviePlayerController::setControls(ALMoviePlayerControls* controls) {
    if (controls == controls_.data()) return;
    controls_ = controls;
    if (!controls || !view_) return;
    const CGRect f = view_->frame();
    controls->setFrame(CGRectMake(0, 0, f.size.width, f.size.height));
    view_->addSubview(controls);
}

void ALMoviePlayerController::setContentURL(const std::string& url) {
    if (!controls_) throw ALMoviePlayerControllerException("Set contentURL after setting controls.");
    MPMoviePlayerController::setContentURL(url);
    NotificationCenter::defaultCenter().post(ALMoviePlayerContentURLDidChangeNotification, nullptr);
    play();
}

void ALMoviePlayerController::play() {
    MPMoviePlayerController::play();
    if (urlScheme(contentURL()) == "file") return;
    if (loadState() != MPMovieLoadStateUnknown) return;
    observeLoadState(false);
    cancelTimeout();
    observeLoadState(true);
    std::weak_ptr<bool> alive = alive_;
    timeout_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(kLoadTimeout), false, [this, alive](RunLoopTimer&) {
        if (alive.expired()) return;
        movieTimedOut();
    });
}

bool ALMoviePlayerController::timeoutPending() const { return timeout_ && timeout_->isValid(); }

void ALMoviePlayerController::cancelTimeout() {
    if (timeout_) timeout_->invalidate();
    timeout_.reset();
}

void ALMoviePlayerController::observeLoadState(bool on) {
    auto& center = NotificationCenter::defaultCenter();
    if (loadObserver_) center.removeObserver(loadObserver_);
    loadObserver_ = 0;
    if (!on) return;
    loadObserver_ = center.addObserver(MPMoviePlayerLoadStateDidChangeNotification, nullptr,
                                       [this](const Notification&) { videoLoadStateChanged(); });
}

void ALMoviePlayerController::observeOrientation(bool on) {
    auto& center = NotificationCenter::defaultCenter();
    if (orientationObserver_) center.removeObserver(orientationObserver_);
    orientationObserver_ = 0;
    if (!on) return;
    orientationObserver_ = center.addObserver(UIApplicationWillChangeStatusBarOrientationNotification, nullptr,
                                              [this](const Notification& n) { statusBarOrientationWillChange(n); });
}

void ALMoviePlayerController::videoLoadStateChanged() {
    if (loadState() != MPMovieLoadStatePlayable) return;
    cancelTimeout();
    observeLoadState(false);
}

void ALMoviePlayerController::movieTimedOut() {
    timeout_.reset();
    const int both = MPMovieLoadStatePlayable | MPMovieLoadStatePlaythroughOK;
    if ((loadState() & both) == both) return;
    if (delegate_) delegate_->movieTimedOut();
}

void ALMoviePlayerController::setFrame(const CGRect& frame) {
    if (!view_) return;
    view_->setFrame(frame);
    MPMoviePlayerController::view().updateFrame(boundsRect(frame));
    if (controls_) controls_->setFrame(CGRectMake(0, 0, frame.size.width, frame.size.height));
}

CGFloat ALMoviePlayerController::statusBarHeightInOrientation(UIInterfaceOrientation) const {
    if (UIDeviceALSystemVersion::iOSVersion() < 7.0f && !UIApplication::sharedApplication().isStatusBarHidden())
        return 20.0;
    return 0.0;
}

void ALMoviePlayerController::setFullscreen(bool fullscreen, bool animated) {
    const double d = animated ? kFullscreenAnimation : 0;
    const unsigned options = UIViewAnimationOptionCurveLinear;
    auto& center = NotificationCenter::defaultCenter();
    std::weak_ptr<bool> alive = alive_;
    // Already in the asked mode: nothing to move and nothing to announce
    // (the recording player leaves full screen before every recording).
    if (fullscreen == movieFullscreen_) return;
    if (fullscreen) {
        UIWindow* window = UIApplication::sharedApplication().keyWindow();
        if (!window) {
            auto all = UIWindow::allWindows();
            if (!all.empty()) window = all.front();
        }
        // Without a window there is nowhere to lift the view to: stay windowed.
        if (!window || !background_ || !view_) return;
        movieFullscreen_ = true;
        center.post(MPMoviePlayerWillEnterFullscreenNotification, nullptr);
        if (background_->frame() == CGRectZero) background_->setFrame(window->bounds());
        window->addSubview(background_);
        UIViewAnimation::animateWithDuration(
            d, 0, options, [this] { background_->setAlpha(1); },
            [this, alive, d, options](bool) {
                if (alive.expired() || !view_ || !background_) return;
                view_->setAlpha(0);
                background_->addSubview(view_);
                rotateMoviePlayerForOrientation(
                    UIApplication::sharedApplication().statusBarOrientation(), false, [this, alive, d, options] {
                        UIViewAnimation::animateWithDuration(
                            d, 0, options, [this] { if (view_) view_->setAlpha(1); },
                            [this, alive](bool) {
                                if (alive.expired()) return;
                                NotificationCenter::defaultCenter().post(MPMoviePlayerDidEnterFullscreenNotification,
                                                                         nullptr);
                                // Only while still full screen: a quick exit already stopped following.
                                if (movieFullscreen_) observeOrientation(true);
                            });
                    });
            });
        return;
    }
    movieFullscreen_ = false;
    center.post(MPMoviePlayerWillExitFullscreenNotification, nullptr);
    observeOrientation(false);
    UIViewAnimation::animateWithDuration(
        d, 0, options, [this] { if (view_) view_->setAlpha(0); },
        [this, alive, d, options](bool) {
            if (alive.expired()) return;
            if (delegate_) delegate_->moviePlayerWillMoveFromWindow();
            if (view_) view_->setAlpha(1);
            UIViewAnimation::animateWithDuration(
                d, 0, options, [this] { if (background_) background_->setAlpha(0); },
                [this, alive](bool) {
                    if (alive.expired()) return;
                    if (background_ && !movieFullscreen_) {
                        // The view goes back to its owner before the backdrop
                        // leaves; one still on it would leave with it.
                        if (view_ && view_->superview() == background_.data()) view_->removeFromSuperview();
                        background_->removeFromSuperview();
                    }
                    NotificationCenter::defaultCenter().post(MPMoviePlayerDidExitFullscreenNotification, nullptr);
                });
        });
}

void ALMoviePlayerController::statusBarOrientationWillChange(const Notification& notification) {
    const auto* o = std::any_cast<UIInterfaceOrientation>(&notification.userInfo);
    if (!o) return;
    rotateMoviePlayerForOrientation(*o, true, nullptr);
}

void ALMoviePlayerController::rotateMoviePlayerForOrientation(UIInterfaceOrientation orientation, bool animated,
                                                              std::function<void()> completion) {
    const CGSize size = UIApplicationALAppDimensions::sizeInOrientation(orientation);
    const CGFloat s = statusBarHeightInOrientation(orientation);
    const CGFloat o = kBackdropOverhang;
    double rotation = 0;
    switch (orientation) {
        case UIInterfaceOrientation::LandscapeLeft: rotation = -M_PI / 2; break;
        case UIInterfaceOrientation::LandscapeRight: rotation = M_PI / 2; break;
        case UIInterfaceOrientation::PortraitUpsideDown: rotation = M_PI; break;
        default: break;
    }
    // The window already has the orientation's shape: the rotated backdrop
    // covers the content with the overhang on every side, below a status bar
    // that takes room.
    const CGRect backdrop = CGRectMake(-o, s - o, size.width + 2 * o, size.height + 2 * o);
    auto apply = [this, rotation, backdrop, size, o] {
        backgroundRotation_ = rotation;
        if (background_) background_->setFrame(backdrop);
        setFrame(CGRectMake(o, o, size.width, size.height));
    };
    if (!animated) {
        apply();
        if (completion) completion();
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    UIViewAnimation::animateWithDuration(kFullscreenAnimation, 0, 0, apply,
                                         [alive, completion](bool) {
                                             if (!alive.expired() && completion) completion();
                                         });
}

}  // namespace lumora
