#include "ui/kit/WeakView.h"
#include "ui/common/ALMoviePlayerControls.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "platform/runloop/Seconds.h"
#include "platform/runloop/RunLoop.h"
#include "ui/common/ALMoviePlayerController.h"
#include "ui/common/ALMoviePlayerControlsBar.h"
#include "ui/common/UIDeviceALSystemVersion.h"
#include "ui/kit/UIActivityIndicatorView.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UISlider.h"
#include "ui/kit/UIViewAnimation.h"

namespace lumora {

namespace {
CGFloat rightOf(const UIView* v) { return v ? v->frame().origin.x + v->frame().size.width : 0; }
}  // namespace

ALMoviePlayerControls::ALMoviePlayerControls(ALMoviePlayerController* moviePlayer, int style)
    : UIView(CGRectZero), moviePlayer_(moviePlayer), style_(style) {
    setViewName(this, "movieControls");
    showing_ = false;
    timeRemainingDecrements_ = false;
    fadeDelay_ = 5.0;
    barColor_ = UIColor::colorWithWhite(0, 0.7);  // dark enough for the times to read over any picture
    barHeight_ = UIDeviceALSystemVersion::iOSVersion() >= 7.0f ? 70.0 : 50.0;
    seekRate_ = 3.0f;
    state_ = ALMoviePlayerControlsStateIdle;
    setBackgroundColor(UIColor::clearColor());
    setOpaque(false);
    setup();
    addNotifications();
}

ALMoviePlayerControls::~ALMoviePlayerControls() {
    *alive_ = false;
    for (auto id : observers_) NotificationCenter::defaultCenter().removeObserver(id);
    observers_.clear();
    cancelHide();
    stopDurationTimer();
    nilDelegates();
    // The loading views are ours while they are out of the tree.
    if (activityIndicator_ && !activityIndicator_->superview()) delete activityIndicator_.data();
    if (activityBackgroundView_ && !activityBackgroundView_->superview()) delete activityBackgroundView_.data();
}

bool ALMoviePlayerControls::fullscreenLayout() const {
    return style_ == ALMoviePlayerControlsStyleFullscreen ||
           (style_ == ALMoviePlayerControlsStyleDefault && moviePlayer_ && moviePlayer_->isFullscreen());
}

bool ALMoviePlayerControls::isFileContent() const {
    return moviePlayer_ && MPMoviePlayerController::urlScheme(moviePlayer_->contentURL()) == "file";
}

ALButton* ALMoviePlayerControls::makeButton(const char* name, const char* image, const char* selectedImage) {
    auto* b = new ALButton(CGRectZero);
    setViewName(b, name);
    if (image) b->setImage(UIImage::imageNamed(image), UIControlStateNormal);
    if (selectedImage) b->setImage(UIImage::imageNamed(selectedImage), UIControlStateSelected);
    b->setDelegate(this);
    return b;
}

UILabel* ALMoviePlayerControls::makeTimeLabel(const char* name, bool rightAligned) {
    auto* l = new UILabel(CGRectZero);
    setViewName(l, name);
    l->setBackgroundColor(UIColor::clearColor());
    l->setFont(UIFont::systemFontOfSize(12));
    l->setTextColor(UIColor::colorWithWhite(0.9, 1));
    l->setTextAlignment(rightAligned ? UITextAlignment::Right : UITextAlignment::Left);
    l->setText("0:00");
    // The labels are 30 pt wide: a longer time ("-12:34") shrinks rather than loses digits.
    l->setAdjustsFontSizeToFitWidth(true);
    l->setMinimumFontSize(7);
    return l;
}

void ALMoviePlayerControls::setup() {
    if (style_ == ALMoviePlayerControlsStyleNone) return;
    auto* top = new ALMoviePlayerControlsBar(CGRectZero);
    setViewName(top, "topBar");
    top->setColor(barColor_);
    top->setAlpha(0);
    addSubview(top);
    topBar_ = top;
    auto* bottom = new ALMoviePlayerControlsBar(CGRectZero);
    setViewName(bottom, "bottomBar");
    bottom->setColor(barColor_);
    bottom->setAlpha(0);
    addSubview(bottom);
    bottomBar_ = bottom;

    auto* slider = new UISlider(CGRectZero);
    setViewName(slider, "durationSlider");
    slider->setValue(0);
    slider->continuous = true;
    slider->addTarget(this, [this](UIControl*, UIEvent*) { durationSliderTouchBegan(); }, UIControlEventTouchDown);
    slider->addTarget(this, [this](UIControl*, UIEvent*) { durationSliderTouchEnded(); },
                      UIControlEventTouchUpInside | UIControlEventTouchUpOutside);
    slider->addTarget(this, [this](UIControl*, UIEvent*) { durationSliderValueChanged(); },
                      UIControlEventValueChanged);
    durationSlider_ = slider;
    timeElapsedLabel_ = makeTimeLabel("timeElapsedLabel", true);
    timeRemainingLabel_ = makeTimeLabel("timeRemainingLabel", false);

    if (fullscreenLayout()) {
        top->addSubview(slider);
        top->addSubview(timeElapsedLabel_);
        top->addSubview(timeRemainingLabel_);
        auto* done = makeButton("fullscreenButton", nullptr, nullptr);
        done->setTitle("Done", UIControlStateNormal);
        // 14 pt of the system face is wider here than "Done" in 34 pt allows.
        done->setFont(UIFont::systemFontOfSize(12));
        done->addTarget(this, [this](UIControl*, UIEvent*) { fullscreenPressed(); }, UIControlEventTouchUpInside);
        top->addSubview(done);
        fullscreenButton_ = done;
        auto* scale = makeButton("scaleButton", "movieFullscreen.png", "movieEndFullscreen.png");
        scale->addTarget(this, [this](UIControl*, UIEvent*) { scalePressed(); }, UIControlEventTouchUpInside);
        top->addSubview(scale);
        scaleButton_ = scale;
        auto* volume = new MPVolumeView(CGRectZero);
        volume->setShowsRouteButton(false);
        setViewName(volume, "volumeView");
        bottom->addSubview(volume);
        volumeView_ = volume;
        auto* forward = makeButton("seekForwardButton", "movieForward.png", "movieForwardSelected.png");
        forward->addTarget(this, [this](UIControl*, UIEvent*) { seekForwardPressed(); }, UIControlEventTouchUpInside);
        bottom->addSubview(forward);
        seekForwardButton_ = forward;
        auto* backward = makeButton("seekBackwardButton", "movieBackward.png", "movieBackwardSelected.png");
        backward->addTarget(this, [this](UIControl*, UIEvent*) { seekBackwardPressed(); },
                            UIControlEventTouchUpInside);
        bottom->addSubview(backward);
        seekBackwardButton_ = backward;
    } else {
        bottom->addSubview(slider);
        bottom->addSubview(timeElapsedLabel_);
        bottom->addSubview(timeRemainingLabel_);
        auto* full = makeButton("fullscreenButton", "movieFullscreen.png", nullptr);
        full->addTarget(this, [this](UIControl*, UIEvent*) { fullscreenPressed(); }, UIControlEventTouchUpInside);
        bottom->addSubview(full);
        fullscreenButton_ = full;
    }

    auto* playPause = makeButton("playPauseButton", "moviePause.png", "moviePlay.png");
    playPause->setSelected(!(moviePlayer_ && moviePlayer_->playbackState() == MPMoviePlaybackStatePlaying));
    playPause->addTarget(this, [this](UIControl*, UIEvent*) { playPausePressed(); }, UIControlEventTouchUpInside);
    bottom->addSubview(playPause);
    playPauseButton_ = playPause;
    auto* airplay = new ALAirplayView(CGRectZero);
    setViewName(airplay, "airplayView");
    airplay->setDelegate(this);
    bottom->addSubview(airplay);
    airplayView_ = airplay;

    if (!activityBackgroundView_) {
        auto* bg = new UIView(CGRectZero);
        setViewName(bg, "activityBackgroundView");
        bg->setBackgroundColor(UIColor::blackColor());
        bg->setAlpha(0);
        activityBackgroundView_ = bg;
    }
    if (!activityIndicator_) {
        auto* indicator = new UIActivityIndicatorView(UIActivityIndicatorViewStyle::WhiteLarge);
        setViewName(indicator, "activityIndicator");
        indicator->setAlpha(0);
        indicator->setHidesWhenStopped(true);
        activityIndicator_ = indicator;
    }
    setNeedsLayout();
    layoutIfNeeded();
}

void ALMoviePlayerControls::nilDelegates() {
    if (airplayView_) airplayView_->setDelegate(nullptr);
    for (auto* b : {playPauseButton_.data(), fullscreenButton_.data(), seekForwardButton_.data(),
                    seekBackwardButton_.data(), scaleButton_.data()})
        if (b) b->setDelegate(nullptr);
}

void ALMoviePlayerControls::resetViews() {
    stopDurationTimer();
    nilDelegates();
    if (topBar_) {
        topBar_->removeFromSuperview();
        delete topBar_.data();
    }
    if (bottomBar_) {
        bottomBar_->removeFromSuperview();
        delete bottomBar_.data();
    }
}

void ALMoviePlayerControls::setBarColor(const UIColor& color) {
    barColor_ = color;
    if (topBar_) topBar_->setColor(color);
    if (bottomBar_) bottomBar_->setColor(color);
}

void ALMoviePlayerControls::setState(int state) {
    if (state == state_) return;
    state_ = state;
    if (state == ALMoviePlayerControlsStateLoading) showLoadingIndicators();
    else if (state == ALMoviePlayerControlsStateReady) hideLoadingIndicators();
}

void ALMoviePlayerControls::showLoadingIndicators() {
    if (!activityBackgroundView_ || !activityIndicator_) return;
    addSubview(activityBackgroundView_);
    addSubview(activityIndicator_);
    activityIndicator_->startAnimating();
    setNeedsLayout();
    layoutIfNeeded();
    WeakView<UIView> bg = activityBackgroundView_.data();
    WeakView<UIActivityIndicatorView> ind = activityIndicator_.data();
    UIViewAnimation::animateWithDuration(kIndicatorFade, 0, 0, [bg, ind] {
        if (bg) bg->setAlpha(1);
        if (ind) ind->setAlpha(1);
    }, nullptr);
}

void ALMoviePlayerControls::hideLoadingIndicators() {
    WeakView<UIView> bg = activityBackgroundView_.data();
    WeakView<UIActivityIndicatorView> ind = activityIndicator_.data();
    std::weak_ptr<bool> alive = alive_;
    UIViewAnimation::animateWithDuration(
        kIndicatorFade, 0, 0,
        [bg, ind] {
            if (bg) bg->setAlpha(0);
            if (ind) ind->setAlpha(0);
        },
        [this, alive, bg, ind](bool) {
            // The controls may have gone with their player before the fade ended.
            if (alive.expired()) return;
            // Only when no new loading began meanwhile; the views stay ours when out of the tree.
            if (state_ == ALMoviePlayerControlsStateLoading) return;
            if (ind) {
                ind->stopAnimating();
                ind->removeFromSuperview();
            }
            if (bg) bg->removeFromSuperview();
        });
}

void ALMoviePlayerControls::scheduleHide() {
    cancelHide();
    std::weak_ptr<bool> alive = alive_;
    hideTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(fadeDelay_), false, [this, alive](RunLoopTimer&) {
        if (!alive.expired()) hideControls(nullptr);
    });
}

void ALMoviePlayerControls::cancelHide() {
    if (hideTimer_) hideTimer_->invalidate();
    hideTimer_.reset();
}

bool ALMoviePlayerControls::hidePending() const { return hideTimer_ && hideTimer_->isValid(); }

void ALMoviePlayerControls::showControls(std::function<void()> completion) {
    if (showing_) {
        if (completion) completion();
        return;
    }
    cancelHide();
    const bool withTop = fullscreenLayout();
    if (withTop && topBar_) topBar_->setNeedsDisplay();
    if (bottomBar_) bottomBar_->setNeedsDisplay();
    WeakView<ALMoviePlayerControlsBar> top = topBar_.data(), bottom = bottomBar_.data();
    std::weak_ptr<bool> alive = alive_;
    UIViewAnimation::animateWithDuration(
        kShowHideDuration, 0, 0,
        [withTop, top, bottom] {
            if (withTop && top) top->setAlpha(1);
            if (bottom) bottom->setAlpha(1);
        },
        [this, alive, completion](bool) {
            if (alive.expired()) return;
            showing_ = true;
            if (completion) completion();
            scheduleHide();
        });
}

void ALMoviePlayerControls::hideControls(std::function<void()> completion) {
    if (!showing_) {
        if (completion) completion();
        return;
    }
    cancelHide();
    const bool withTop = fullscreenLayout();
    WeakView<ALMoviePlayerControlsBar> top = topBar_.data(), bottom = bottomBar_.data();
    std::weak_ptr<bool> alive = alive_;
    UIViewAnimation::animateWithDuration(
        kShowHideDuration, 0, 0,
        [withTop, top, bottom] {
            if (withTop && top) top->setAlpha(0);
            if (bottom) bottom->setAlpha(0);
        },
        [this, alive, completion](bool) {
            if (alive.expired()) return;
            showing_ = false;
            if (completion) completion();
        });
}

void ALMoviePlayerControls::touchesBegan(const UITouchSet&, UIEvent*) {}

void ALMoviePlayerControls::touchesEnded(const UITouchSet&, UIEvent*) {
    if (style_ == ALMoviePlayerControlsStyleNone) return;
    if (showing_) hideControls(nullptr);
    else showControls(nullptr);
}

void ALMoviePlayerControls::setStyle(int style) {
    if (style == style_) return;
    const bool wasDefault = style_ == ALMoviePlayerControlsStyleDefault;
    std::weak_ptr<bool> alive = alive_;
    hideControls([this, alive, style, wasDefault] {
        if (alive.expired()) return;
        resetViews();
        style_ = style;
        setup();
        if (style == ALMoviePlayerControlsStyleNone) {
            if (wasDefault) style_ = ALMoviePlayerControlsStyleDefault;
            return;
        }
        RunLoop::main().performAfterDelay(secondsDuration(kRebuildDelay), [this, alive, wasDefault] {
            if (alive.expired()) return;
            setDurationSliderMaxMinValues();
            monitorMoviePlayback();
            startDurationTimer();
            showControls([this, alive, wasDefault] {
                if (!alive.expired() && wasDefault) style_ = ALMoviePlayerControlsStyleDefault;
            });
        });
    });
}

void ALMoviePlayerControls::layoutSubviews() {
    if (style_ == ALMoviePlayerControlsStyleNone) return;
    const CGRect b = bounds();
    const CGFloat w = b.size.width, h = b.size.height, bh = barHeight_;
    const bool wide = w > 320;
    const CGFloat p = wide ? 20 : 10, l = wide ? 30 : 10, k = wide ? 30 : 20;
    if (fullscreenLayout()) layoutFullscreen(w, h, bh, p, l, k);
    else layoutEmbedded(w, h, bh, p, l);
    if (durationSlider_ && timeElapsedLabel_ && timeRemainingLabel_) {
        const CGFloat x = rightOf(timeElapsedLabel_) + 10;
        durationSlider_->setFrame(CGRectMake(x, bh / 2 - 17, (timeRemainingLabel_->frame().origin.x - 10) - x, 34));
    }
    if (state_ == ALMoviePlayerControlsStateLoading) {
        if (activityBackgroundView_) activityBackgroundView_->setFrame(CGRectMake(0, 0, w, h));
        if (activityIndicator_) activityIndicator_->setFrame(CGRectMake(w / 2 - 20, h / 2 - 20, 40, 40));
    }
}

void ALMoviePlayerControls::layoutFullscreen(CGFloat w, CGFloat h, CGFloat b, CGFloat p, CGFloat l, CGFloat k) {
    if (topBar_) topBar_->setFrame(CGRectMake(0, 0, w, b));
    if (fullscreenButton_) fullscreenButton_->setFrame(CGRectMake(p, 0, 34, b));
    if (timeElapsedLabel_) timeElapsedLabel_->setFrame(CGRectMake(rightOf(fullscreenButton_) + l, 0, 30, b));
    if (scaleButton_) scaleButton_->setFrame(CGRectMake(w - p - 28, b / 2 - 14, 28, 28));
    if (timeRemainingLabel_ && scaleButton_)
        timeRemainingLabel_->setFrame(CGRectMake(scaleButton_->frame().origin.x - l - 30, 0, 30, b));
    if (bottomBar_) bottomBar_->setFrame(CGRectMake(0, h - b, w, b));
    if (playPauseButton_) playPauseButton_->setFrame(CGRectMake(w / 2 - 9, b / 2 - 11, 18, 22));
    if (seekForwardButton_) seekForwardButton_->setFrame(CGRectMake(rightOf(playPauseButton_) + k, b / 2 - 9, 36, 20));
    if (seekBackwardButton_ && playPauseButton_)
        seekBackwardButton_->setFrame(CGRectMake(playPauseButton_->frame().origin.x - k - 36, b / 2 - 9, 36, 20));
    if (volumeView_) {
        const CGFloat volumeWidth = UIScreen::mainScreen().idiom() == UserInterfaceIdiom::Pad ? 210 : 120;
        if (w > 320) {
            volumeView_->setAlpha(1);
            volumeView_->setFrame(CGRectMake(p, b / 2 - 10, volumeWidth, 20));
        } else {
            volumeView_->setAlpha(0);
        }
    }
    if (airplayView_) airplayView_->setFrame(CGRectMake(w - p - 30, b / 2 - 11, 30, 22));
}

void ALMoviePlayerControls::layoutEmbedded(CGFloat w, CGFloat h, CGFloat b, CGFloat p, CGFloat l) {
    if (bottomBar_) bottomBar_->setFrame(CGRectMake(0, h - b, w, b));
    if (playPauseButton_) playPauseButton_->setFrame(CGRectMake(p, b / 2 - 11, 18, 22));
    if (timeElapsedLabel_) timeElapsedLabel_->setFrame(CGRectMake(rightOf(playPauseButton_) + l, 0, 30, b));
    if (fullscreenButton_) fullscreenButton_->setFrame(CGRectMake(w - p - 28, b / 2 - 14, 28, 28));
    if (airplayView_ && fullscreenButton_)
        airplayView_->setFrame(CGRectMake(fullscreenButton_->frame().origin.x - l - 30, b / 2 - 11, 30, 22));
    if (timeRemainingLabel_ && airplayView_)
        timeRemainingLabel_->setFrame(CGRectMake(airplayView_->frame().origin.x - l - 30, 0, 30, b));
}

// ---- buttons

void ALMoviePlayerControls::playPausePressed() {
    if (!moviePlayer_) return;
    if (moviePlayer_->playbackState() == MPMoviePlaybackStatePlaying) moviePlayer_->pause();
    else moviePlayer_->play();
    scheduleHide();
}

void ALMoviePlayerControls::fullscreenPressed() {
    if (!moviePlayer_) return;
    if (style_ == ALMoviePlayerControlsStyleDefault)
        setStyle(moviePlayer_->isFullscreen() ? ALMoviePlayerControlsStyleEmbedded : ALMoviePlayerControlsStyleFullscreen);
    if (moviePlayer_->currentPlaybackRate() != 1.0) moviePlayer_->setCurrentPlaybackRate(1.0);
    moviePlayer_->setFullscreen(!moviePlayer_->isFullscreen(), true);
    scheduleHide();
}

void ALMoviePlayerControls::scalePressed() {
    if (!scaleButton_) return;
    scaleButton_->setSelected(!scaleButton_->isSelected());
    if (moviePlayer_)
        moviePlayer_->setScalingMode(scaleButton_->isSelected() ? MPMovieScalingModeAspectFill
                                                                : MPMovieScalingModeAspectFit);
}

void ALMoviePlayerControls::seekForwardPressed() {
    if (!seekForwardButton_ || !moviePlayer_) return;
    moviePlayer_->setCurrentPlaybackRate(seekForwardButton_->isSelected() ? 1.0 : seekRate_);
    seekForwardButton_->setSelected(!seekForwardButton_->isSelected());
    if (seekBackwardButton_) seekBackwardButton_->setSelected(false);
    if (!seekForwardButton_->isSelected()) scheduleHide();
}

void ALMoviePlayerControls::seekBackwardPressed() {
    if (!seekBackwardButton_ || !moviePlayer_) return;
    moviePlayer_->setCurrentPlaybackRate(seekBackwardButton_->isSelected() ? 1.0 : -seekRate_);
    seekBackwardButton_->setSelected(!seekBackwardButton_->isSelected());
    if (seekForwardButton_) seekForwardButton_->setSelected(false);
    if (!seekBackwardButton_->isSelected()) scheduleHide();
}

void ALMoviePlayerControls::buttonTouchedDown(ALButton*) { cancelHide(); }
void ALMoviePlayerControls::buttonTouchedUpOutside(ALButton*) { scheduleHide(); }
void ALMoviePlayerControls::buttonTouchCancelled(ALButton*) { scheduleHide(); }
void ALMoviePlayerControls::airplayButtonTouchedDown() { cancelHide(); }
// The route button opens no picker here: nothing to wait for, the hide is re-armed.
void ALMoviePlayerControls::airplayButtonTouchedUpInside() { scheduleHide(); }
void ALMoviePlayerControls::airplayButtonTouchedUpOutside() { scheduleHide(); }
void ALMoviePlayerControls::airplayButtonTouchFailed() { scheduleHide(); }

// ---- slider and time

void ALMoviePlayerControls::durationSliderTouchBegan() {
    cancelHide();
    if (moviePlayer_) moviePlayer_->pause();
}

void ALMoviePlayerControls::durationSliderValueChanged() {
    if (!durationSlider_ || !moviePlayer_) return;
    setTimeLabelValues(std::floor(durationSlider_->value()), std::floor(moviePlayer_->duration()));
}

void ALMoviePlayerControls::durationSliderTouchEnded() {
    if (!durationSlider_ || !moviePlayer_) return;
    moviePlayer_->setCurrentPlaybackTime(std::floor(durationSlider_->value()));
    moviePlayer_->play();
    scheduleHide();
}

void ALMoviePlayerControls::setDurationSliderMaxMinValues() {
    if (!durationSlider_ || !moviePlayer_) return;
    durationSlider_->minimumValue = 0;
    durationSlider_->maximumValue = static_cast<float>(moviePlayer_->duration());
    durationSlider_->setValue(durationSlider_->value());
}

void ALMoviePlayerControls::monitorMoviePlayback() {
    if (!moviePlayer_) return;
    const double c = std::floor(moviePlayer_->currentPlaybackTime());
    const double t = std::floor(moviePlayer_->duration());
    setTimeLabelValues(c, t);
    if (durationSlider_) durationSlider_->setValue(static_cast<float>(c));
}

void ALMoviePlayerControls::setTimeLabelValues(double current, double total) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f:%02.0f", std::floor(current / 60), std::fmod(current, 60));
    if (timeElapsedLabel_) timeElapsedLabel_->setText(text);
    if (timeRemainingDecrements_) {
        const double r = total - current;
        std::snprintf(text, sizeof text, "-%.0f:%02.0f", std::floor(r / 60), std::fmod(r, 60));
    } else {
        std::snprintf(text, sizeof text, "%.0f:%02.0f", std::floor(total / 60), std::floor(std::fmod(total, 60)));
    }
    if (timeRemainingLabel_) timeRemainingLabel_->setText(text);
}

void ALMoviePlayerControls::startDurationTimer() {
    stopDurationTimer();
    std::weak_ptr<bool> alive = alive_;
    durationTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(1.0), true, [this, alive](RunLoopTimer&) {
        if (!alive.expired()) monitorMoviePlayback();
    });
}

void ALMoviePlayerControls::stopDurationTimer() {
    if (durationTimer_) durationTimer_->invalidate();
    durationTimer_.reset();
}

bool ALMoviePlayerControls::durationTimerRunning() const { return durationTimer_ && durationTimer_->isValid(); }

// ---- the player's notifications

void ALMoviePlayerControls::addNotifications() {
    auto& c = NotificationCenter::defaultCenter();
    observers_.push_back(c.addObserver(MPMoviePlayerPlaybackStateDidChangeNotification, nullptr,
                                       [this](const Notification&) { moviePlaybackStateDidChange(); }));
    observers_.push_back(c.addObserver(MPMoviePlayerPlaybackDidFinishNotification, nullptr,
                                       [this](const Notification&) { movieFinished(); }));
    observers_.push_back(c.addObserver(ALMoviePlayerContentURLDidChangeNotification, nullptr,
                                       [this](const Notification&) { movieContentURLDidChange(); }));
    observers_.push_back(c.addObserver(MPMovieDurationAvailableNotification, nullptr,
                                       [this](const Notification&) { movieDurationAvailable(); }));
    observers_.push_back(c.addObserver(MPMoviePlayerLoadStateDidChangeNotification, nullptr,
                                       [this](const Notification&) { movieLoadStateDidChange(); }));
}

void ALMoviePlayerControls::moviePlaybackStateDidChange() {
    if (!moviePlayer_) return;
    switch (moviePlayer_->playbackState()) {
        case MPMoviePlaybackStatePlaying:
            if (playPauseButton_) playPauseButton_->setSelected(false);
            startDurationTimer();
            if (isFileContent()) {
                setDurationSliderMaxMinValues();
                showControls(nullptr);
            }
            setState(ALMoviePlayerControlsStateReady);
            break;
        case MPMoviePlaybackStateSeekingForward:
        case MPMoviePlaybackStateSeekingBackward: setState(ALMoviePlayerControlsStateReady); break;
        case MPMoviePlaybackStateInterrupted: setState(ALMoviePlayerControlsStateLoading); break;
        case MPMoviePlaybackStateStopped:
        case MPMoviePlaybackStatePaused:
            setState(ALMoviePlayerControlsStateIdle);
            if (playPauseButton_) playPauseButton_->setSelected(true);
            stopDurationTimer();
            break;
        default: break;
    }
}

void ALMoviePlayerControls::movieLoadStateDidChange() {
    if (!moviePlayer_) return;
    const int s = moviePlayer_->loadState();
    if (s == MPMovieLoadStatePlayable || s == MPMovieLoadStatePlaythroughOK) {
        showControls(nullptr);
        setState(ALMoviePlayerControlsStateReady);
    }
}

void ALMoviePlayerControls::movieFinished() {
    if (playPauseButton_) playPauseButton_->setSelected(true);
    stopDurationTimer();
    if (moviePlayer_) moviePlayer_->setCurrentPlaybackTime(0);
    monitorMoviePlayback();
    hideControls(nullptr);
    setState(ALMoviePlayerControlsStateIdle);
}

void ALMoviePlayerControls::movieDurationAvailable() { setDurationSliderMaxMinValues(); }

void ALMoviePlayerControls::movieContentURLDidChange() {
    std::weak_ptr<bool> alive = alive_;
    hideControls([this, alive] {
        if (alive.expired()) return;
        setState(isFileContent() ? ALMoviePlayerControlsStateReady : ALMoviePlayerControlsStateLoading);
    });
}

}  // namespace lumora
