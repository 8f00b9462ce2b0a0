#include "ui/kit/WeakView.h"
#include "ui/phone/ChannelViewController.h"

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
#include "ui/common/ChannelView.h"
#include "ui/common/GLVideoView.h"
#include "ui/kit/UIActivityIndicatorView.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIViewAnimation.h"

namespace lumora {

namespace {

CGRect insetRect(const CGRect& r, CGFloat d) {
    return CGRect{{r.origin.x + d, r.origin.y + d}, {r.size.width - 2 * d, r.size.height - 2 * d}};
}

}  // namespace

std::shared_ptr<ChannelViewController> ChannelViewController::create() {
    auto pane = std::make_shared<ChannelViewController>(Private{});
    pane->dataController_->setDelegate(std::static_pointer_cast<renderDelegate>(pane));
    return pane;
}

ChannelViewController::ChannelViewController(Private)
    : dataController_(DataController::create()), renderQueue_(DispatchQueue::createSerial("RenderQueue")) {}

ChannelViewController::~ChannelViewController() {
    invalidateTalkTimers();
    if (dataController_) dataController_->setDelegate(nullptr);
}

std::weak_ptr<ChannelViewController> ChannelViewController::weakSelf() {
    return std::static_pointer_cast<ChannelViewController>(shared_from_this());
}

// ---------------------------------------------------------------- views

void ChannelViewController::loadView() {
    auto* root = new ChannelView(CGRect{{0, 0}, {320, 260}});
    channelView_ = root;
    setView(root);
    const CGRect b = root->bounds();

    auto* gl = new GLVideoView(insetRect(b, 1));
    glView_ = gl;

    auto* rec = new UILabel(CGRect{{b.size.width - 40, 0}, {40, 20}});
    rec->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
    rec->setText("[REC]");
    // White on a deep red box: unmistakable and readable over any picture.
    rec->setTextColor(UIColor::whiteColor());
    rec->setTextBackingColor(UIColor::colorWithRed(0.7, 0, 0, 1));
    rec->setTextAlignment(UITextAlignment::Right);
    rec->setBackgroundColor(UIColor::clearColor());
    rec->setFont(UIFont::systemFontOfSize(12));
    rec->setHidden(true);
    setViewName(rec, "recLabel");
    recLabel_ = rec;

    auto* title = new UILabel(CGRect{{3, b.size.height - 20}, {b.size.width - 3, 20}});
    title->setAutoresizingMask(UIViewAutoresizingFlexibleRightMargin);
    title->setTextColor(UIColor::yellowColor());
    title->setTextBackingColor(UIColor::colorWithWhite(0, 0.75));  // readable over the picture
    title->setBackgroundColor(UIColor::clearColor());
    title->setFont(UIFont::systemFontOfSize(12));
    setViewName(title, "titleLabel");
    titleLabel_ = title;

    auto* scroll = new QvScrollView(insetRect(b, 1));
    scroll->delegate = this;
    scroll->setTouchDelegate(this);
    scroll->setMaximumZoomScale(10);
    scroll->addSubview(gl);
    gl->setFrame(CGRect{{0, 0}, scroll->bounds().size});
    setViewName(scroll, "scrollView");
    scrollView_ = scroll;

    root->addSubview(scroll);
    root->addSubview(rec);
    root->addSubview(title);

    auto voiceImg = UIImage::imageNamed("voicestatus.png");
    auto talkImg = UIImage::imageNamed("talkstatus.png");
    CGSize vs = voiceImg ? voiceImg->size() : CGSize{20, 20};
    CGSize ts = talkImg ? talkImg->size() : CGSize{20, 20};
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
    // Kept out of the tree until shown: parent them to the root, hidden.
    root->addSubview(voice);
    root->addSubview(talk);
    voice->setHidden(true);
    talk->setHidden(true);

    auto* spin = new UIActivityIndicatorView(UIActivityIndicatorViewStyle::White);
    spin->setHidesWhenStopped(true);
    spin->setCenter(CGPoint{b.size.width / 2, b.size.height / 2});
    setViewName(spin, "spinner");
    spinner_ = spin;
    root->addSubview(spin);
}

void ChannelViewController::showIndicator(UIButton* button, bool shown) {
    if (!button) return;
    button->setHidden(!shown);
    if (shown && button->superview()) button->superview()->bringSubviewToFront(button);
}

bool ChannelViewController::isTalkIndicatorShown() const { return btnTalkStatus_ && !btnTalkStatus_->isHidden(); }
bool ChannelViewController::isVoiceIndicatorShown() const {
    return btnVoiceStatus_ && !btnVoiceStatus_->isHidden();
}

void ChannelViewController::updateChannelViewFrame(const CGRect& r) {
    UIView* root = view();
    root->setFrame(r);
    const CGRect b = root->bounds();
    if (auto* s = scrollView_.data()) {
        s->setMaximumZoomScale(hasSmallView_ ? 1.0 : 10.0);
        s->setMinimumZoomScale(1.0);
        s->setScrollEnabled(false);
        s->setZoomScale(1.0, true);
        s->setContentOffset(CGPoint{0, 0});
        s->setFrame(insetRect(b, 2));
    }
    // The picture fills the scroll view it sits in.
    if (glView_) glView_->updateFrame(CGRect{{0, 0}, {r.size.width - 4, r.size.height - 4}});
    if (titleLabel_) titleLabel_->setFrame(CGRect{{3, r.size.height - 20}, {b.size.width - 3, 20}});
    if (recLabel_) recLabel_->setFrame(CGRect{{r.size.width - 40, 0}, {40, 20}});
    if (spinner_) spinner_->setCenter(CGPoint{r.size.width / 2, r.size.height / 2});
}

void ChannelViewController::setHasSmallView(bool small) {
    hasSmallView_ = small;
    view();
    UIFont f = UIFont::systemFontOfSize(small ? 10 : 12);
    if (titleLabel_) titleLabel_->setFont(f);
    if (recLabel_) recLabel_->setFont(f);
}

void ChannelViewController::setSelected(bool selected) {
    view();
    if (channelView_) channelView_->setSelected(selected);
}

bool ChannelViewController::isSelected() const { return channelView_ && channelView_->selected(); }

void ChannelViewController::setTitle(const std::string& text) {
    if (titleLabel_) titleLabel_->setText(text);
}

std::string ChannelViewController::deviceCaption() const {
    auto device = QvDeviceManager::sharedInstance().deviceWithId(deviceId_.load());
    if (!device) return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, " ch%02d", channel_.load() + 1);
    return device->name.value() + buf;
}

// ---------------------------------------------------------------- start and stop

void ChannelViewController::startLive(const std::shared_ptr<Device>& device, int channel) {
    if (!device) return;
    if (static_cast<unsigned>(channel) > 32) return;
    if (deviceId_.load() == device->deviceId && channel_.load() == channel) return;
    view();
    stopRenderingFrame_ = false;
    if (state_.load() == 1 || state_.load() == 2) stopwithotherStart();
    failedDeviceId_ = -1;
    reconnecting_ = false;
    deviceId_ = device->deviceId;
    channel_ = channel;
    state_ = 1;
    const uint64_t generation = ++generation_;
    if (spinner_) spinner_->startAnimating();
    if (titleLabel_) {
        titleLabel_->setHidden(false);
        setTitle(Localization::string("MSG_Con"));
    }
    std::weak_ptr<ChannelViewController> weak = weakSelf();
    DispatchQueue::main()->after(secondsDuration(kStartDelay), [weak, device, generation] {
        if (auto self = weak.lock()) self->startLiveDelay(device, generation);
    });
}

void ChannelViewController::startLiveDelay(const std::shared_ptr<Device>& device, uint64_t generation) {
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

void ChannelViewController::startPlayRecordFile(const std::shared_ptr<Device>& device, const std::string& fileName,
                                                const _OWSP_DateTime& startTime) {
    if (!device) return;
    if (device->deviceId == deviceId_.load() && fileName.empty()) return;
    view();
    strPlayFileName_ = fileName;
    channelConnectMode_ = 1;
    channel_ = 1;
    startTime_ = startTime;
    if (state_.load() != 0) return;
    deviceId_ = device->deviceId;
    state_ = 1;
    stopRenderingFrame_ = false;
    ++generation_;
    if (spinner_) spinner_->startAnimating();
    dataController_->setChannelConnectMode(1);
    dataController_->setTimeAndName(startTime_, strPlayFileName_);
    std::shared_ptr<DataController> session = dataController_;
    DispatchQueue::global()->async([session, device] { session->startLive(device, 1); });
}

void ChannelViewController::stopLive() { stopWith(StopKind::Live); }
void ChannelViewController::stopwitherr() { stopWith(StopKind::Error); }
void ChannelViewController::stopwithotherStart() { stopWith(StopKind::OtherStart); }

void ChannelViewController::stopWith(StopKind kind) {
    view();
    dataController_->stopLive();
    ++generation_;
    stopRenderingFrame_ = true;
    isFirstgetFrame_ = false;
    reconnecting_ = false;
    if (kind == StopKind::Error) {
        failedDeviceId_ = deviceId_.load();
        failedChannel_ = channel_.load();
    } else {
        failedDeviceId_ = -1;
    }
    deviceId_ = -1;
    state_ = 0;
    if (glView_) glView_->renderClear();
    isStartAudio_ = false;
    isStartTalk_ = false;
    didStartTalk_ = false;
    shouldShan_ = false;
    invalidateTalkTimers();

    if (spinner_) spinner_->stopAnimating();
    setTitle(kind == StopKind::OtherStart ? Localization::string("MSG_Con") : std::string());
    if (recLabel_) recLabel_->setHidden(true);
    showIndicator(btnTalkStatus_, false);
    showIndicator(btnVoiceStatus_, false);
    if (auto d = delegate_.lock()) d->channelViewControllerDidStop(this, true);
    if (kind == StopKind::Live) {
        std::weak_ptr<ChannelViewController> weak = weakSelf();
        DispatchQueue::main()->after(secondsDuration(kSecondClearDelay), [weak] {
            auto self = weak.lock();
            // Only while nothing started meanwhile.
            if (self && self->state_.load() == 0) self->renderClear();
        });
    }
}

void ChannelViewController::renderClear() {
    if (glView_) glView_->renderClear();
    setTitle({});
}

// ---------------------------------------------------------------- session callbacks

void ChannelViewController::renderShow(const std::vector<uint8_t>& yuv, int width, int height) {
    // The session hands pictures over on the main queue.
    if (!isFirstgetFrame_.load()) {
        isFirstgetFrame_ = true;
        reconnecting_ = false;
        if (spinner_) spinner_->stopAnimating();
        if (auto device = QvDeviceManager::sharedInstance().deviceWithId(deviceId_.load())) {
            setTitle(deviceCaption());
            device->isOnLine = true;
        }
        if (auto d = delegate_.lock()) d->channelViewControllerShouldReloadButton(this, false);
    }
    if (stopRenderingFrame_.load()) return;
    if (titleLabel_ && titleLabel_->isHidden()) titleLabel_->setHidden(false);
    if (spinner_ && spinner_->isAnimating()) spinner_->stopAnimating();
    if (titleLabel_ && titleLabel_->text().empty()) {
        if (auto device = QvDeviceManager::sharedInstance().deviceWithId(deviceId_.load())) {
            if (!device->name.value().empty()) setTitle(deviceCaption());
            device->isOnLine = true;
        }
    }
    if (!glView_) return;
    videoWidth_ = width;
    videoHeight_ = height;
    if (QvApplicationPreference::sharedInstance().isFullScreen()) glView_->renderOnFullScreen(yuv, width, height);
    else glView_->render(yuv, width, height);
}

void ChannelViewController::renderShowText(const std::string& text) {
    std::weak_ptr<ChannelViewController> weak = weakSelf();
    DispatchQueue::main()->async([weak, text] {
        if (auto self = weak.lock()) self->setTitle(text);
    });
}

void ChannelViewController::renderFailed(const std::string& text) {
    if (state_.load() == 0) return;
    std::weak_ptr<ChannelViewController> weak = weakSelf();
    DispatchQueue::main()->async([weak, text] {
        auto self = weak.lock();
        // Checked again here: a stop may have come first.
        if (!self || self->state_.load() == 0) return;
        if (self->spinner_) self->spinner_->stopAnimating();
        if (auto d = self->delegate_.lock())
            d->channelViewControllerSessionFailedForDevice(self.get(), self->deviceId_.load(), self->channel_.load());
        self->stopwitherr();
        const uint64_t generation = self->generation_;
        DispatchQueue::main()->after(secondsDuration(kFailureTextDelay), [weak, text, generation] {
            auto pane = weak.lock();
            if (pane && pane->generation_ == generation) pane->setTitle(text);
        });
    });
}

void ChannelViewController::renderReconnecting(const std::string& text) {
    std::weak_ptr<ChannelViewController> weak = weakSelf();
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

bool ChannelViewController::retryNow() {
    if (reconnecting_ && state_.load() != 0) {
        setTitle(Localization::string("MSG_Con"));
        dataController_->retryNow();
        return true;
    }
    if (state_.load() != 0 || failedDeviceId_ == -1) return false;
    auto device = QvDeviceManager::sharedInstance().deviceWithId(failedDeviceId_);
    if (!device) return false;
    startLive(device, failedChannel_);
    return true;
}

void ChannelViewController::reloadButton(bool reloadchannel) {
    std::weak_ptr<ChannelViewController> weak = weakSelf();
    DispatchQueue::main()->async([weak, reloadchannel] {
        auto self = weak.lock();
        if (!self) return;
        if (auto d = self->delegate_.lock()) d->channelViewControllerShouldReloadButton(self.get(), reloadchannel);
    });
}

// ---------------------------------------------------------------- pan/tilt/zoom, recording, snapshots

void ChannelViewController::ptzControl(int code) {
    const int s = state_.load();
    if (s != 1 && s != 2) return;
    if (spinner_ && spinner_->isAnimating()) return;
    const char* key = nullptr;
    switch (code) {
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
    dataController_->ptzControl(code);
}

void ChannelViewController::startRecord() {
    if (recLabel_) recLabel_->setHidden(false);
    state_ = 2;
    dataController_->startRecord();
}

void ChannelViewController::stopRecord() {
    if (recLabel_) recLabel_->setHidden(true);
    state_ = 1;
    dataController_->stopRecord();
}

void ChannelViewController::snapshot() {
    const int s = state_.load();
    if (s != 1 && s != 2) return;
    auto device = QvDeviceManager::sharedInstance().deviceWithId(deviceId_.load());
    if (!device) return;
    // The store refuses a device name that is not a plain folder name ("/",
    // ".."): then no snapshot is taken rather than one outside its folders.
    auto folder = FileManager::sharedInstance().getPhotoPath(device->name.value(),
                                                             static_cast<uint32_t>(channel_.load() + 1), true);
    if (!folder) return;
    std::string path = *folder + QvUtility::stringWithCurrentTime() + ".png";
    WeakView<GLVideoView> gl = glView_;
    UIViewAnimation::transitionWithView(view(), 0.5, UIViewAnimationOptionTransitionCurlUp,
                                        [gl, path] {
                                            if (gl) gl->takeSnapshot(path);
                                        },
                                        nullptr);
}

// ---------------------------------------------------------------- listening and talk

bool ChannelViewController::startAudio() {
    if (!dataController_->startAudio()) return false;
    showIndicator(btnVoiceStatus_, true);
    isStartAudio_ = true;
    return true;
}

void ChannelViewController::stopAudio() {
    showIndicator(btnVoiceStatus_, false);
    isStartAudio_ = false;
    dataController_->stopAudio();
}

void ChannelViewController::invalidateTalkTimers() {
    if (shanTimer_) shanTimer_->invalidate();
    shanTimer_.reset();
    if (talkCheckTimer_) talkCheckTimer_->invalidate();
    talkCheckTimer_.reset();
}

void ChannelViewController::startTalk() {
    const int s = state_.load();
    if (s != 1 && s != 2) return;
    dataController_->startTalk();
    isShan_ = true;
    didStartTalk_ = false;
    shouldShan_ = true;
    // A new request owns the blink and the 3.2 s check; older ones end here.
    invalidateTalkTimers();
    std::weak_ptr<ChannelViewController> weak = weakSelf();
    shanTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(kTalkBlinkInterval), true, [weak](RunLoopTimer&) {
        if (auto self = weak.lock()) self->shanyishan();
    });
    talkCheckTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(kTalkCheckDelay), false, [weak](RunLoopTimer&) {
        if (auto self = weak.lock()) self->closeshan();
    });
}

void ChannelViewController::shanyishan() {
    if (!shouldShan_) return;
    if (isShan_) {
        showIndicator(btnTalkStatus_, true);
        isShan_ = false;
    } else {
        showIndicator(btnTalkStatus_, false);
        isShan_ = true;
    }
}

void ChannelViewController::closeshan() {
    talkCheckTimer_.reset();
    shouldShan_ = false;
    if (shanTimer_) shanTimer_->invalidate();
    shanTimer_.reset();
    if (!didStartTalk_) {
        showIndicator(btnTalkStatus_, false);
        if (auto d = delegate_.lock()) d->channelViewControllerDidFailedTalk(this, true);
    }
}

void ChannelViewController::renderTalkGetRsp(bool granted) {
    std::weak_ptr<ChannelViewController> weak = weakSelf();
    DispatchQueue::main()->async([weak, granted] {
        auto self = weak.lock();
        if (!self) return;
        // An answer with no request waiting (stopped meanwhile) changes nothing.
        if (!self->shouldShan_ && !self->talkCheckTimer_) return;
        self->invalidateTalkTimers();
        self->shouldShan_ = false;
        if (granted) {
            self->didStartTalk_ = true;
            self->isStartTalk_ = true;
            self->showIndicator(self->btnTalkStatus_, true);
            if (auto d = self->delegate_.lock()) d->channelViewControllerDidFailedTalk(self.get(), false);
            return;
        }
        self->didStartTalk_ = false;
        self->isStartTalk_ = false;
        self->showIndicator(self->btnTalkStatus_, false);
        if (auto d = self->delegate_.lock()) d->channelViewControllerDidFailedTalk(self.get(), true);
        if (!self->canalert_) {
            self->canalert_ = true;
            auto* alert = new UIAlertView("", Localization::string("NOTSUPPORTTALK"), self.get(),
                                          Localization::string("OK_BUTTON"), {});
            alert->show();
        }
    });
}

void ChannelViewController::alertViewClickedButtonAtIndex(UIAlertView*, int buttonIndex) {
    if (buttonIndex == 0) canalert_ = false;
}

void ChannelViewController::stopTalk() {
    isStartTalk_ = false;
    didStartTalk_ = false;
    shouldShan_ = false;
    invalidateTalkTimers();
    showIndicator(btnTalkStatus_, false);
    dataController_->stopTalk();
}

// ---------------------------------------------------------------- touches and zoom

void ChannelViewController::delegatetouchesBegin(const UITouchSet& touches, UIEvent* event) {
    touchDown_ = touches.size() == 1;
    if (touchDown_) touchStart_ = touches.front()->locationInView(nullptr);
    if (touchDelegate_) touchDelegate_->touchesBegan(touches, event);
}
void ChannelViewController::delegatetouchesMoved(const UITouchSet& touches, UIEvent* event) {
    if (touchDelegate_) touchDelegate_->touchesMoved(touches, event);
}
void ChannelViewController::delegatetouchesEnded(const UITouchSet& touches, UIEvent* event) {
    // A tap (not a drag) on a pane that lost its device tries again at once.
    bool tapped = false;
    if (touchDown_ && touches.size() == 1) {
        const CGPoint end = touches.front()->locationInView(nullptr);
        tapped = std::abs(end.x - touchStart_.x) < 10 && std::abs(end.y - touchStart_.y) < 10;
    }
    touchDown_ = false;
    if (touchDelegate_) touchDelegate_->touchesEnded(touches, event);
    if (tapped) retryNow();
}
void ChannelViewController::delegatetouchesCancelled(const UITouchSet& touches, UIEvent* event) {
    touchDown_ = false;
    if (touchDelegate_) touchDelegate_->touchesCancelled(touches, event);
}

UIView* ChannelViewController::viewForZoomingInScrollView(UIScrollView*) { return glView_.data(); }

void ChannelViewController::scrollViewDidEndZooming(UIScrollView*, UIView*, CGFloat scale) {
    if (!glView_) return;
    std::shared_ptr<QvGLView> gl = glView_->glView();
    auto hand = [gl, scale] { gl->setZoomScale(static_cast<float>(scale)); };
    if (renderQueue_->isCurrent()) hand();
    else renderQueue_->async(hand);
    if (scrollView_) scrollView_->setScrollEnabled(scale > 1);
}

}  // namespace lumora
