#include "ui/kit/WeakView.h"
#include "ui/tablet/ChannelViewControllerHD.h"

#include <cmath>

#include <chrono>
#include <cstdio>

#include "app/core/Device.h"
#include "app/core/FileManager.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "app/core/QvUtility.h"
#include "base/link/DataController.h"
#include "base/utilities/QvGLView.h"
#include "platform/runloop/Seconds.h"
#include "platform/text/Localization.h"
#include "ui/kit/UITapGestureRecognizer.h"
#include "ui/kit/UIViewAnimation.h"

namespace lumora {

namespace {

CGRect insetRect(const CGRect& r, CGFloat d) {
    return CGRect{{r.origin.x + d, r.origin.y + d}, {r.size.width - 2 * d, r.size.height - 2 * d}};
}

}  // namespace

std::shared_ptr<ChannelViewControllerHD> ChannelViewControllerHD::create() {
    auto tile = std::make_shared<ChannelViewControllerHD>(Private{});
    tile->dataController_->setDelegate(std::static_pointer_cast<renderDelegate>(tile));
    return tile;
}

ChannelViewControllerHD::ChannelViewControllerHD(Private)
    : dataController_(DataController::create()), renderQueue_(DispatchQueue::createSerial("RenderQueue")) {}

ChannelViewControllerHD::~ChannelViewControllerHD() {
    invalidateTalkTimers();
    if (shiningTimer_) shiningTimer_->invalidate();
    if (dataController_) dataController_->setDelegate(nullptr);
}

std::weak_ptr<ChannelViewControllerHD> ChannelViewControllerHD::weakSelf() {
    return std::static_pointer_cast<ChannelViewControllerHD>(shared_from_this());
}

// ---------------------------------------------------------------- views

void ChannelViewControllerHD::loadView() {
    auto* root = new ChannelViewHD(CGRect{{0, 0}, {320, 260}});
    channelView_ = root;
    setView(root);
    const CGRect b = root->bounds();
    const CGFloat W = b.size.width, H = b.size.height;

    auto* gl = new GLVideoView(insetRect(b, 2));
    gl->setUserInteractionEnabled(true);  // its double tap; other touches go up to the scroll view
    glView_ = gl;

    auto label = [](const CGRect& frame, const char* name) {
        auto* l = new UILabel(frame);
        l->setBackgroundColor(UIColor::clearColor());
        l->setFont(UIFont::systemFontOfSize(12));
        setViewName(l, name);
        return l;
    };
    auto* rec = label(CGRect{{W - 40, 0}, {40, 20}}, "recLabel");
    rec->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
    rec->setText("[REC]");
    // White on a deep red box: unmistakable and readable over any picture.
    rec->setTextColor(UIColor::whiteColor());
    rec->setTextBackingColor(UIColor::colorWithRed(0.7, 0, 0, 1));
    rec->setTextAlignment(UITextAlignment::Right);
    rec->setHidden(true);
    recLabel_ = rec;

    const CGFloat h = 20;
    auto* icon = new UIImageView(UIImage::imageNamed("recordicon.png"));
    icon->setFrame(CGRect{{W - 3 * h - 1, 0}, {h, h}});
    icon->setHidden(true);
    setViewName(icon, "recordIcon");
    recordIcon_ = icon;

    auto* title = label(CGRect{{3, H - 23}, {180, 20}}, "titleLabel");
    title->setAutoresizingMask(UIViewAutoresizingFlexibleRightMargin);
    // A light blue on a dark box: the caption reads over black and over the picture alike.
    title->setTextColor(UIColor::colorWithRed(0.55, 0.8, 1, 1));
    title->setTextBackingColor(UIColor::colorWithWhite(0, 0.75));
    title->setLineBreakMode(UILineBreakMode::MiddleTruncation);
    titleLabel_ = title;

    auto* test = label(CGRect{{3, 0}, {280, 20}}, "testLabel");
    test->setAutoresizingMask(UIViewAutoresizingFlexibleRightMargin);
    test->setTextColor(UIColor::colorWithRed(1, 0.45, 0.45, 1));
    test->setTextBackingColor(UIColor::colorWithWhite(0, 0.85));
    test->setLineBreakMode(UILineBreakMode::MiddleTruncation);
    test->setHidden(true);
    testLabel_ = test;

    auto* scroll = new QvScrollView(b);
    scroll->delegate = this;
    scroll->setTouchDelegate(this);
    scroll->setMinimumZoomScale(1);
    scroll->setMaximumZoomScale(1);
    scroll->setScrollEnabled(false);
    setViewName(scroll, "scrollView");
    scrollView_ = scroll;

    scroll->addSubview(gl);
    root->addSubview(scroll);
    root->addSubview(test);
    root->addSubview(rec);
    root->addSubview(icon);
    root->addSubview(title);

    auto doubleTap = std::make_shared<UITapGestureRecognizer>();
    doubleTap->numberOfTapsRequired = 2;
    doubleTap->numberOfTouchesRequired = 1;
    doubleTap->addTarget(this, [this](UIGestureRecognizer& r) { viewDoubleTapped(r); });
    gl->addGestureRecognizer(doubleTap);

    auto voiceImg = UIImage::imageNamed("voicestatus.png");
    auto talkImg = UIImage::imageNamed("talkstatus.png");
    const CGSize vs = voiceImg ? voiceImg->size() : CGSize{20, 20};
    const CGSize ts = talkImg ? talkImg->size() : CGSize{20, 20};
    auto* voice = new UIButton(CGRect{{0, 0}, vs});
    voice->setImage(voiceImg);
    voice->setUserInteractionEnabled(false);
    setViewName(voice, "btnVoiceStatus");
    btnVoiceStatus_ = voice;
    auto* talk = new UIButton(CGRect{{vs.width + 2, 0}, ts});
    talk->setImage(talkImg);
    talk->setUserInteractionEnabled(false);
    setViewName(talk, "btnTalkStatus");
    btnTalkStatus_ = talk;
    // Owned by the view while out of sight: hidden until shown.
    root->addSubview(voice);
    root->addSubview(talk);
    voice->setHidden(true);
    talk->setHidden(true);

    auto* spin = new UIActivityIndicatorView(UIActivityIndicatorViewStyle::White);
    spin->setHidesWhenStopped(true);
    spin->setCenter(CGPoint{W / 2, H / 2});
    setViewName(spin, "spinner");
    spinner_ = spin;
    root->addSubview(spin);

    timerValid_ = false;
    std::weak_ptr<ChannelViewControllerHD> weak = weakSelf();
    shiningTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(kRecordBlinkInterval), true, [weak](RunLoopTimer&) {
        if (auto self = weak.lock()) self->shiningRecordIcon();
    });
}

void ChannelViewControllerHD::updateChannelViewContentFrame() {
    renderSwitch_ = false;
    UIView* root = view();
    const CGRect b = root->bounds();
    if (scrollView_) scrollView_->setFrame(insetRect(b, 2));
    if (glView_) glView_->updateFrame(CGRect{{0, 0}, insetRect(b, 2).size});
    if (spinner_) spinner_->setCenter(CGPoint{b.size.width / 2, b.size.height / 2});
    const CGFloat glH = glView_ ? glView_->frame().size.height : b.size.height;
    const CGFloat glW = glView_ ? glView_->frame().size.width : b.size.width;
    if (titleLabel_) titleLabel_->setFrame(CGRect{{3, glH - 23}, {glW - 3, 20}});
    const CGFloat h = recLabel_ ? recLabel_->frame().size.height : 20;
    if (recordIcon_) recordIcon_->setFrame(CGRect{{b.size.width - 3 * h - 1, 0}, {h, h}});
    if (glView_) glView_->setNeedsDisplay();
    if (scrollView_) scrollView_->setNeedsDisplay();
    root->setNeedsDisplay();
}

void ChannelViewControllerHD::updateScroviewContentFrame(bool fullScreen) {
    view();
    QvScrollView* s = scrollView_.data();
    if (!s) return;
    s->setZoomScale(1, true);
    s->setMinimumZoomScale(1);
    s->setMaximumZoomScale(fullScreen ? 10 : 1);
    s->setScrollEnabled(false);
    s->setContentOffset(CGPoint{0, 0});
}

void ChannelViewControllerHD::setSelected(bool selected) {
    if (auto* v = channelView()) v->setSelected(selected);
}

void ChannelViewControllerHD::showIndicator(UIButton* button, bool shown) {
    if (!button) return;
    button->setHidden(!shown);
    if (shown && button->superview()) button->superview()->bringSubviewToFront(button);
}

bool ChannelViewControllerHD::isTalkIndicatorShown() const { return btnTalkStatus_ && !btnTalkStatus_->isHidden(); }
bool ChannelViewControllerHD::isVoiceIndicatorShown() const {
    return btnVoiceStatus_ && !btnVoiceStatus_->isHidden();
}

void ChannelViewControllerHD::setTitle(const std::string& text) {
    if (titleLabel_) titleLabel_->setText(text);
}

std::string ChannelViewControllerHD::deviceCaption() const {
    auto device = QvDeviceManager::sharedInstance().deviceWithId(deviceId_.load());
    if (!device) return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, " ch%02d", channel_.load() + 1);
    return device->name.value() + buf;
}

// ---------------------------------------------------------------- start and stop

void ChannelViewControllerHD::startLive(const std::shared_ptr<Device>& device, int channel) {
    if (!device) return;
    if (static_cast<unsigned>(channel) > 32) return;
    if (deviceId_.load() == device->deviceId && channel_.load() == channel) return;
    view();
    if (testLabel_) testLabel_->setHidden(true);
    const int s = state_.load();
    if (s == 2) {
        if (recLabel_) recLabel_->setHidden(true);
        timerValid_ = false;
        if (recordIcon_) recordIcon_->setHidden(true);
    }
    // A running view on another channel: its session ends here and the tile
    // starts afresh, live again once the new view connects.
    if (s != 0) stopSession(true);
    failedDeviceId_ = -1;
    reconnecting_ = false;
    deviceId_ = device->deviceId;
    channel_ = channel;
    state_ = 1;
    stopRenderingFrame_ = false;
    if (spinner_) spinner_->startAnimating();
    char buf[16];
    std::snprintf(buf, sizeof buf, " ch%02d]", channel + 1);
    if (titleLabel_) titleLabel_->setHidden(false);
    setTitle("[" + device->name.value() + buf + Localization::string("CONNECTING_STATUS"));
    scheduleStart(device);
}

void ChannelViewControllerHD::scheduleStart(const std::shared_ptr<Device>& device) {
    const uint64_t generation = ++generation_;
    std::weak_ptr<ChannelViewControllerHD> weak = weakSelf();
    DispatchQueue::main()->after(secondsDuration(kStartDelay), [weak, device, generation] {
        if (auto self = weak.lock()) self->startLiveDelay(device, generation);
    });
}

void ChannelViewControllerHD::startLiveDelay(const std::shared_ptr<Device>& device, uint64_t generation) {
    // A stop or another start within the delay: this start is void.
    if (generation != generation_ || state_.load() == 0) return;
    std::shared_ptr<DataController> session = dataController_;
    const int channel = channel_.load();
    // The session's start blocks while it connects: never on the main thread.
    DispatchQueue::global()->async([session, starter = sessionStarter_, device, channel] {
        if (starter) starter(device, channel);
        else session->startLive(device, channel);
    });
}

void ChannelViewControllerHD::stopLive() {
    view();
    if (testLabel_) {
        testLabel_->setText({});
        testLabel_->setHidden(true);
    }
    timerValid_ = false;
    // An idle tile has nothing to stop. A busy one is stopped through its own
    // session, also when its device has left the list meanwhile.
    failedDeviceId_ = -1;
    if (state_.load() == 0) return;
    stopSession(true);
    std::weak_ptr<ChannelViewControllerHD> weak = weakSelf();
    const uint64_t generation = generation_;
    DispatchQueue::main()->after(secondsDuration(kClearDelay), [weak, generation] {
        auto self = weak.lock();
        // Only while nothing started meanwhile.
        if (self && self->generation_ == generation && self->glView_) self->glView_->renderClear();
    });
}

void ChannelViewControllerHD::stopSession(bool tellDelegate) {
    dataController_->stopLive();
    ++generation_;
    isFirstgetFrame_ = false;
    reconnecting_ = false;
    stopRenderingFrame_ = true;
    deviceId_ = -1;
    state_ = 0;
    isStartAudio_ = false;
    isStartTalk_ = false;
    didStartTalk_ = false;
    shouldShan_ = false;
    timerValid_ = false;
    invalidateTalkTimers();
    if (spinner_) spinner_->stopAnimating();
    setTitle({});
    if (recLabel_) recLabel_->setHidden(true);
    if (recordIcon_) recordIcon_->setHidden(true);
    showIndicator(btnTalkStatus_, false);
    showIndicator(btnVoiceStatus_, false);
    if (tellDelegate)
        if (auto d = delegate_.lock()) d->channelViewControllerHDStop(this);
}

void ChannelViewControllerHD::renderClear() {
    if (glView_) glView_->renderClear();
}

// ---------------------------------------------------------------- session callbacks

void ChannelViewControllerHD::renderShow(const std::vector<uint8_t>& yuv, int width, int height) {
    // The session hands pictures over on the main queue.
    if (state_.load() == 0 || stopRenderingFrame_.load()) return;
    if (!isFirstgetFrame_.load()) {
        isFirstgetFrame_ = true;
        reconnecting_ = false;
        if (spinner_) spinner_->stopAnimating();
        if (auto device = QvDeviceManager::sharedInstance().deviceWithId(deviceId_.load())) {
            setTitle(deviceCaption());
            device->isOnLine = true;
        }
        if (auto d = delegate_.lock()) d->channelViewControllerHDShouldReloadButton(this);
    }
    if (titleLabel_ && titleLabel_->isHidden()) titleLabel_->setHidden(false);
    if (titleLabel_ && titleLabel_->text().empty()) setTitle(deviceCaption());
    if (!glView_) return;
    if (QvApplicationPreference::sharedInstance().isFullScreen()) glView_->renderOnFullScreen(yuv, width, height);
    else glView_->render(yuv, width, height);
}

void ChannelViewControllerHD::renderShowText(const std::string& text) {
    std::weak_ptr<ChannelViewControllerHD> weak = weakSelf();
    DispatchQueue::main()->async([weak, text] {
        if (auto self = weak.lock()) self->setTitle(text);
    });
}

void ChannelViewControllerHD::renderFailed(const std::string& text) {
    if (state_.load() == 0) return;
    std::weak_ptr<ChannelViewControllerHD> weak = weakSelf();
    DispatchQueue::main()->async([weak, text] {
        auto self = weak.lock();
        // Checked again here: a stop may have come first.
        if (!self || self->state_.load() == 0) return;
        const int device = self->deviceId_.load(), channel = self->channel_.load();
        self->stopSession(false);
        // Kept for a tap that starts the channel again.
        self->failedDeviceId_ = device;
        self->failedChannel_ = channel;
        if (self->glView_) self->glView_->renderClear();
        if (auto d = self->delegate_.lock()) d->ChannelViewControllerHDSessionFailedForDevice(self.get(), device, channel);
        const uint64_t generation = self->generation_;
        DispatchQueue::main()->after(secondsDuration(kFailureTextDelay), [weak, text, generation] {
            auto tile = weak.lock();
            if (tile && tile->generation_ == generation) tile->setTitle(text);
        });
    });
}

void ChannelViewControllerHD::renderReconnecting(const std::string& text) {
    std::weak_ptr<ChannelViewControllerHD> weak = weakSelf();
    DispatchQueue::main()->async([weak, text] {
        auto self = weak.lock();
        if (!self || self->state_.load() == 0) return;
        // The view stays up; the next picture puts the caption back.
        self->reconnecting_ = true;
        self->isFirstgetFrame_ = false;
        if (self->glView_) self->glView_->renderClear();
        if (self->spinner_) self->spinner_->startAnimating();
        if (self->titleLabel_) self->titleLabel_->setHidden(false);
        self->setTitle(text);
    });
}

bool ChannelViewControllerHD::retryNow() {
    if (reconnecting_ && state_.load() != 0) {
        setTitle(Localization::string("MSG_Con"));
        dataController_->retryNow();
        return true;
    }
    if (state_.load() != 0 || failedDeviceId_ == -1) return false;
    auto device = QvDeviceManager::sharedInstance().deviceWithId(failedDeviceId_);
    if (!device) return false;
    const int channel = failedChannel_;
    startLive(device, channel);
    if (auto d = delegate_.lock()) d->channelViewControllerHDShouldReloadButton(this);
    return true;
}

void ChannelViewControllerHD::reloadButton(bool) {
    std::weak_ptr<ChannelViewControllerHD> weak = weakSelf();
    DispatchQueue::main()->async([weak] {
        auto self = weak.lock();
        if (!self) return;
        if (auto d = self->delegate_.lock()) d->channelViewControllerHDShouldReloadButton(self.get());
    });
}

// ---------------------------------------------------------------- pan/tilt/zoom, recording, snapshots

void ChannelViewControllerHD::ptzControl(int command) {
    const int s = state_.load();
    if (s != 1 && s != 2) return;
    if (spinner_ && spinner_->isAnimating()) return;
    const char* key = nullptr;
    switch (command) {
    case 0: setTitle(deviceCaption()); break;
    case 5: key = "IDS_ZOOMIN"; break;
    case 6: key = "IDS_ZOOMOUT"; break;
    case 7: key = "IDS_FOCUSOUT"; break;
    case 8: key = "IDS_FOCUSIN"; break;
    case 9: key = "IDS_UP"; break;
    case 10: key = "IDS_DOWN"; break;
    case 11: key = "IDS_LEFT"; break;
    case 12: key = "IDS_RIGHT"; break;
    case 13: key = "IDS_OPTICALOUT"; break;
    case 14: key = "IDS_OPTICALIN"; break;
    default: break;
    }
    if (key) setTitle(Localization::string(key));
    dataController_->ptzControl(command);
}

void ChannelViewControllerHD::startRecord() {
    if (state_.load() != 1) return;
    dataController_->startRecord();
    if (recordIcon_) recordIcon_->setHidden(false);
    if (recLabel_) recLabel_->setHidden(false);
    state_ = 2;
    timerValid_ = true;
}

void ChannelViewControllerHD::stopRecord() {
    if (state_.load() != 2) return;
    dataController_->stopRecord();
    timerValid_ = false;
    if (recordIcon_) recordIcon_->setHidden(true);
    if (recLabel_) recLabel_->setHidden(true);
    state_ = 1;
}

void ChannelViewControllerHD::shiningRecordIcon() {
    if (!recordIcon_) return;
    if (timerValid_) recordIcon_->setHidden(!recordIcon_->isHidden());
    else recordIcon_->setHidden(true);
}

void ChannelViewControllerHD::snapshot() {
    const int s = state_.load();
    if (s != 1 && s != 2) return;
    auto device = QvDeviceManager::sharedInstance().deviceWithId(deviceId_.load());
    if (!device) return;
    // The store refuses a device name that is not a plain folder name ("/",
    // ".."): then no snapshot is taken rather than one outside its folders.
    auto folder = FileManager::sharedInstance().getPhotoPath(device->name.value(),
                                                             static_cast<uint32_t>(channel_.load() + 1), true);
    if (!folder) return;
    const std::string path = *folder + QvUtility::stringWithCurrentTime() + ".png";
    WeakView<GLVideoView> gl = glView_;
    UIViewAnimation::transitionWithView(view(), 0.5, UIViewAnimationOptionTransitionCurlUp,
                                        [gl, path] {
                                            if (gl) gl->takeSnapshot(path);
                                        },
                                        nullptr);
}

// ---------------------------------------------------------------- listening and talk

bool ChannelViewControllerHD::startAudio() {
    if (!dataController_->startAudio()) return false;
    showIndicator(btnVoiceStatus_, true);
    isStartAudio_ = true;
    return true;
}

void ChannelViewControllerHD::stopAudio() {
    showIndicator(btnVoiceStatus_, false);
    isStartAudio_ = false;
    dataController_->stopAudio();
}

void ChannelViewControllerHD::invalidateTalkTimers() {
    if (shanTimer_) shanTimer_->invalidate();
    shanTimer_.reset();
    if (talkCheckTimer_) talkCheckTimer_->invalidate();
    talkCheckTimer_.reset();
}

void ChannelViewControllerHD::startTalk() {
    const int s = state_.load();
    if (s != 1 && s != 2) return;
    dataController_->startTalk();
    isShan_ = true;
    didStartTalk_ = false;
    shouldShan_ = true;
    // A new request owns the blink and the 3.2 s check; older ones end here.
    invalidateTalkTimers();
    std::weak_ptr<ChannelViewControllerHD> weak = weakSelf();
    shanTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(kTalkBlinkInterval), true, [weak](RunLoopTimer&) {
        if (auto self = weak.lock()) self->shanyishan();
    });
    talkCheckTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(kTalkCheckDelay), false, [weak](RunLoopTimer&) {
        if (auto self = weak.lock()) self->closeshan();
    });
}

void ChannelViewControllerHD::shanyishan() {
    if (!shouldShan_) return;
    showIndicator(btnTalkStatus_, isShan_);
    isShan_ = !isShan_;
}

void ChannelViewControllerHD::closeshan() {
    talkCheckTimer_.reset();
    shouldShan_ = false;
    if (shanTimer_) shanTimer_->invalidate();
    shanTimer_.reset();
    if (!didStartTalk_) {
        showIndicator(btnTalkStatus_, false);
        if (auto d = delegate_.lock()) d->channelViewControllerHDDidFailedTalk(this, true);
    }
}

void ChannelViewControllerHD::renderTalkGetRsp(bool granted) {
    std::weak_ptr<ChannelViewControllerHD> weak = weakSelf();
    DispatchQueue::main()->async([weak, granted] {
        auto self = weak.lock();
        if (!self) return;
        // An answer with no request waiting (stopped meanwhile) changes nothing.
        if (!self->shouldShan_ && !self->talkCheckTimer_) return;
        self->shouldShan_ = false;
        if (self->shanTimer_) self->shanTimer_->invalidate();
        self->shanTimer_.reset();
        if (granted) {
            self->didStartTalk_ = true;
            self->isStartTalk_ = true;
            self->showIndicator(self->btnTalkStatus_, true);
            return;
        }
        self->didStartTalk_ = false;
        self->isStartTalk_ = false;
        self->showIndicator(self->btnTalkStatus_, false);
        if (auto d = self->delegate_.lock()) d->channelViewControllerHDDidFailedTalk(self.get(), true);
        if (!self->canalert_) {
            auto* alert = new UIAlertView("", Localization::string("NOTSUPPORTTALK"), self.get(),
                                          Localization::string("OK_BUTTON"), {});
            alert->show();
            self->canalert_ = true;
        }
    });
}

void ChannelViewControllerHD::alertViewClickedButtonAtIndex(UIAlertView*, int buttonIndex) {
    if (buttonIndex == 0) canalert_ = false;
}

void ChannelViewControllerHD::stopTalk() {
    isStartTalk_ = false;
    didStartTalk_ = false;
    shouldShan_ = false;
    if (shanTimer_) shanTimer_->invalidate();
    shanTimer_.reset();
    showIndicator(btnTalkStatus_, false);
    dataController_->stopTalk();
}

// ---------------------------------------------------------------- touches, gestures, zoom

void ChannelViewControllerHD::delegatetouchesBegin(const UITouchSet& touches, UIEvent* event) {
    touchDown_ = touches.size() == 1;
    if (touchDown_) touchStart_ = touches.front()->locationInView(nullptr);
    if (touchDelegate_) touchDelegate_->touchesBegan(touches, event);
}
void ChannelViewControllerHD::delegatetouchesMoved(const UITouchSet& touches, UIEvent* event) {
    if (touchDelegate_) touchDelegate_->touchesMoved(touches, event);
}
void ChannelViewControllerHD::delegatetouchesEnded(const UITouchSet& touches, UIEvent* event) {
    // A tap (not a drag) on a tile that lost its device tries again at once.
    bool tapped = false;
    if (touchDown_ && touches.size() == 1) {
        const CGPoint end = touches.front()->locationInView(nullptr);
        tapped = std::abs(end.x - touchStart_.x) < 10 && std::abs(end.y - touchStart_.y) < 10;
    }
    touchDown_ = false;
    if (touchDelegate_) touchDelegate_->touchesEnded(touches, event);
    if (tapped) retryNow();
}
void ChannelViewControllerHD::delegatetouchesCancelled(const UITouchSet& touches, UIEvent* event) {
    touchDown_ = false;
    if (touchDelegate_) touchDelegate_->touchesCancelled(touches, event);
}

void ChannelViewControllerHD::viewDoubleTapped(UIGestureRecognizer& recognizer) {
    if (recognizer.state() != UIGestureRecognizerState::Ended) return;
    if (gusdelegate_) gusdelegate_->ChannelViewControllerHDViewDoubleClicked(this, &recognizer);
}

UIView* ChannelViewControllerHD::viewForZoomingInScrollView(UIScrollView*) { return glView_.data(); }

void ChannelViewControllerHD::scrollViewDidEndZooming(UIScrollView* scrollView, UIView*, CGFloat scale) {
    if (glView_) {
        std::shared_ptr<QvGLView> gl = glView_->glView();
        auto hand = [gl, scale] { gl->setZoomScale(static_cast<float>(scale)); };
        if (renderQueue_->isCurrent()) hand();
        else renderQueue_->async(hand);
    }
    if (scrollView) scrollView->setScrollEnabled(scale > 1);
}

}  // namespace lumora
