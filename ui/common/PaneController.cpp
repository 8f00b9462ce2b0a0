#include "ui/common/PaneController.h"

#include <cmath>
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
#include "ui/kit/UIViewAnimation.h"

namespace lumora {

PaneController::PaneController(TalkCheck talkCheck)
    : dataController_(DataController::create()),
      renderQueue_(DispatchQueue::createSerial("RenderQueue")),
      talkCheck_(talkCheck) {}

PaneController::~PaneController() {
    invalidateTalkTimers();
    if (dataController_) dataController_->setDelegate(nullptr);
}

void PaneController::attachSession() {
    std::shared_ptr<PaneController> self = std::static_pointer_cast<PaneController>(shared_from_this());
    dataController_->setDelegate(std::static_pointer_cast<renderDelegate>(self));
}

std::weak_ptr<PaneController> PaneController::weakSelf() {
    return std::static_pointer_cast<PaneController>(shared_from_this());
}

// ---------------------------------------------------------------- state

bool PaneController::isLive() const {
    const PaneState s = paneState_.load();
    return s == PaneState::Connecting || s == PaneState::Playing || s == PaneState::Reconnecting;
}

int PaneController::state() const {
    if (!isLive()) return 0;
    return recording_.load() ? 2 : 1;
}

void PaneController::keepFailed(int deviceId, int channel) {
    failedDeviceId_ = deviceId;
    failedChannel_ = channel;
    paneState_ = deviceId == -1 ? PaneState::Idle : PaneState::Failed;
}

// ---------------------------------------------------------------- views

CGRect PaneController::insetRect(const CGRect& r, CGFloat d) {
    return CGRect{{r.origin.x + d, r.origin.y + d}, {r.size.width - 2 * d, r.size.height - 2 * d}};
}

UILabel* PaneController::makeRecLabel(const CGRect& frame) {
    auto* rec = new UILabel(frame);
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
    return rec;
}

void PaneController::addStatusIndicators(UIView* root) {
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
    // Kept out of sight until shown: parent them to the root, hidden.
    root->addSubview(voice);
    root->addSubview(talk);
    voice->setHidden(true);
    talk->setHidden(true);
}

void PaneController::addSpinner(UIView* root) {
    const CGRect b = root->bounds();
    auto* spin = new UIActivityIndicatorView(UIActivityIndicatorViewStyle::White);
    spin->setHidesWhenStopped(true);
    spin->setCenter(CGPoint{b.size.width / 2, b.size.height / 2});
    setViewName(spin, "spinner");
    spinner_ = spin;
    root->addSubview(spin);
}

void PaneController::setSelected(bool selected) {
    view();
    if (channelView_) channelView_->setSelected(selected);
}

bool PaneController::isSelected() const { return channelView_ && channelView_->selected(); }

void PaneController::showIndicator(UIButton* button, bool shown) {
    if (!button) return;
    button->setHidden(!shown);
    if (shown && button->superview()) button->superview()->bringSubviewToFront(button);
}

bool PaneController::isTalkIndicatorShown() const { return btnTalkStatus_ && !btnTalkStatus_->isHidden(); }
bool PaneController::isVoiceIndicatorShown() const { return btnVoiceStatus_ && !btnVoiceStatus_->isHidden(); }

void PaneController::setTitle(const std::string& text) {
    if (titleLabel_) titleLabel_->setText(text);
}

std::string PaneController::deviceCaption() const {
    auto device = QvDeviceManager::sharedInstance().deviceWithId(deviceId_.load());
    if (!device) return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, " ch%02d", channel_.load() + 1);
    return device->name.value() + buf;
}

// ---------------------------------------------------------------- start and stop

void PaneController::startLive(const std::shared_ptr<Device>& device, int channel) {
    if (!device) return;
    if (static_cast<unsigned>(channel) > 32) return;
    if (deviceId_.load() == device->deviceId && channel_.load() == channel) return;
    view();
    // A running view on another channel ends here; the pane starts afresh,
    // live again once the new view connects.
    prepareStart(device, channel);
    beginView(device->deviceId, channel);
    showConnecting(device, channel);
    scheduleStart(device);
}

void PaneController::beginView(int deviceId, int channel) {
    deviceId_ = deviceId;
    channel_ = channel;
    recording_ = false;
    paneState_ = PaneState::Connecting;
    if (spinner_) spinner_->startAnimating();
}

void PaneController::scheduleStart(const std::shared_ptr<Device>& device) {
    const uint64_t generation = ++generation_;
    std::weak_ptr<PaneController> weak = weakSelf();
    DispatchQueue::main()->after(secondsDuration(kStartDelay), [weak, device, generation] {
        if (auto self = weak.lock()) self->startLiveDelay(device, generation);
    });
}

void PaneController::startLiveDelay(const std::shared_ptr<Device>& device, uint64_t generation) {
    // A stop or another start within the delay: this start is void.
    if (generation != generation_ || !isLive()) return;
    std::shared_ptr<DataController> session = dataController_;
    const int channel = channel_.load();
    // The session's start blocks while it connects: never on the main thread.
    DispatchQueue::global()->async([session, starter = sessionStarter_, device, channel] {
        if (starter) starter(device, channel);
        else session->startLive(device, channel);
    });
}

void PaneController::endView() {
    dataController_->stopLive();
    ++generation_;
    stopRenderingFrame_ = true;
    paneState_ = PaneState::Idle;
    recording_ = false;
    deviceId_ = -1;
    isStartAudio_ = false;
    isStartTalk_ = false;
    didStartTalk_ = false;
    shouldShan_ = false;
    invalidateTalkTimers();
    if (spinner_) spinner_->stopAnimating();
    if (recLabel_) recLabel_->setHidden(true);
    showIndicator(btnTalkStatus_, false);
    showIndicator(btnVoiceStatus_, false);
}

// ---------------------------------------------------------------- session callbacks

bool PaneController::takeFirstPicture() {
    const PaneState s = paneState_.load();
    if (s != PaneState::Connecting && s != PaneState::Reconnecting) return false;
    paneState_ = PaneState::Playing;
    if (spinner_) spinner_->stopAnimating();
    if (auto device = QvDeviceManager::sharedInstance().deviceWithId(deviceId_.load())) {
        setTitle(deviceCaption());
        device->isOnLine = true;
    }
    tellReloadButton(false);
    return true;
}

void PaneController::drawPicture(const std::vector<uint8_t>& yuv, int width, int height) {
    if (!glView_) return;
    if (QvApplicationPreference::sharedInstance().isFullScreen()) glView_->renderOnFullScreen(yuv, width, height);
    else glView_->render(yuv, width, height);
}

void PaneController::renderShowText(const std::string& text) {
    std::weak_ptr<PaneController> weak = weakSelf();
    DispatchQueue::main()->async([weak, text] {
        if (auto self = weak.lock()) self->setTitle(text);
    });
}

void PaneController::renderFailed(const std::string& text) {
    if (!isLive()) return;
    std::weak_ptr<PaneController> weak = weakSelf();
    DispatchQueue::main()->async([weak, text] {
        auto self = weak.lock();
        // Checked again here: a stop may have come first.
        if (!self || !self->isLive()) return;
        self->endWithFailure();
        const uint64_t generation = self->generation_;
        DispatchQueue::main()->after(secondsDuration(kFailureTextDelay), [weak, text, generation] {
            auto pane = weak.lock();
            if (pane && pane->generation_ == generation) pane->setTitle(text);
        });
    });
}

void PaneController::renderReconnecting(const std::string& text) {
    std::weak_ptr<PaneController> weak = weakSelf();
    DispatchQueue::main()->async([weak, text] {
        auto self = weak.lock();
        if (!self || !self->isLive()) return;
        // The view stays up; the next picture puts the caption back.
        self->paneState_ = PaneState::Reconnecting;
        if (self->glView_) self->glView_->renderClear();
        if (self->spinner_) self->spinner_->startAnimating();
        if (self->titleLabel_) self->titleLabel_->setHidden(false);
        self->setTitle(text);
    });
}

bool PaneController::retryNow() {
    if (paneState_.load() == PaneState::Reconnecting) {
        setTitle(Localization::string("MSG_Con"));
        dataController_->retryNow();
        return true;
    }
    if (paneState_.load() != PaneState::Failed) return false;
    auto device = QvDeviceManager::sharedInstance().deviceWithId(failedDeviceId_);
    if (!device) return false;
    const int channel = failedChannel_;
    startLive(device, channel);
    restartedAfterFailure();
    return true;
}

void PaneController::reloadButton(bool reloadchannel) {
    std::weak_ptr<PaneController> weak = weakSelf();
    DispatchQueue::main()->async([weak, reloadchannel] {
        if (auto self = weak.lock()) self->tellReloadButton(reloadchannel);
    });
}

// ---------------------------------------------------------------- pan/tilt/zoom, snapshots

void PaneController::ptzControl(int code) {
    if (!isLive()) return;
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

void PaneController::snapshot() {
    if (!isLive()) return;
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

bool PaneController::startAudio() {
    if (!dataController_->startAudio()) return false;
    showIndicator(btnVoiceStatus_, true);
    isStartAudio_ = true;
    return true;
}

void PaneController::stopAudio() {
    showIndicator(btnVoiceStatus_, false);
    isStartAudio_ = false;
    dataController_->stopAudio();
}

void PaneController::invalidateTalkTimers() {
    stopBlink();
    if (talkCheckTimer_) talkCheckTimer_->invalidate();
    talkCheckTimer_.reset();
}

void PaneController::stopBlink() {
    if (shanTimer_) shanTimer_->invalidate();
    shanTimer_.reset();
}

void PaneController::endTalkWait() {
    if (talkCheck_ == TalkCheck::EndsWithAnswer) invalidateTalkTimers();
    else stopBlink();
}

void PaneController::startTalk() {
    if (!isLive()) return;
    dataController_->startTalk();
    isShan_ = true;
    didStartTalk_ = false;
    shouldShan_ = true;
    // A new request owns the blink and the 3.2 s check; older ones end here.
    invalidateTalkTimers();
    std::weak_ptr<PaneController> weak = weakSelf();
    shanTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(kTalkBlinkInterval), true, [weak](RunLoopTimer&) {
        if (auto self = weak.lock()) self->shanyishan();
    });
    talkCheckTimer_ = RunLoopTimer::scheduled(RunLoop::main(), secondsDuration(kTalkCheckDelay), false, [weak](RunLoopTimer&) {
        if (auto self = weak.lock()) self->closeshan();
    });
}

void PaneController::shanyishan() {
    if (!shouldShan_) return;
    showIndicator(btnTalkStatus_, isShan_);
    isShan_ = !isShan_;
}

void PaneController::closeshan() {
    talkCheckTimer_.reset();
    shouldShan_ = false;
    stopBlink();
    if (!didStartTalk_) {
        showIndicator(btnTalkStatus_, false);
        tellTalkFailed(true);
    }
}

void PaneController::renderTalkGetRsp(bool granted) {
    std::weak_ptr<PaneController> weak = weakSelf();
    DispatchQueue::main()->async([weak, granted] {
        auto self = weak.lock();
        if (!self) return;
        // An answer with no request waiting (stopped meanwhile) changes nothing.
        if (!self->shouldShan_ && !self->talkCheckTimer_) return;
        self->endTalkWait();
        self->shouldShan_ = false;
        if (granted) {
            self->didStartTalk_ = true;
            self->isStartTalk_ = true;
            self->showIndicator(self->btnTalkStatus_, true);
            self->tellTalkGranted();
            return;
        }
        self->didStartTalk_ = false;
        self->isStartTalk_ = false;
        self->showIndicator(self->btnTalkStatus_, false);
        self->tellTalkFailed(true);
        if (!self->canalert_) {
            self->canalert_ = true;
            auto* alert = new UIAlertView("", Localization::string("NOTSUPPORTTALK"), self.get(),
                                          Localization::string("OK_BUTTON"), {});
            alert->show();
        }
    });
}

void PaneController::alertViewClickedButtonAtIndex(UIAlertView*, int buttonIndex) {
    if (buttonIndex == 0) canalert_ = false;
}

void PaneController::stopTalk() {
    isStartTalk_ = false;
    didStartTalk_ = false;
    shouldShan_ = false;
    endTalkWait();
    showIndicator(btnTalkStatus_, false);
    dataController_->stopTalk();
}

// ---------------------------------------------------------------- touches and zoom

void PaneController::delegatetouchesBegin(const UITouchSet& touches, UIEvent* event) {
    touchDown_ = touches.size() == 1;
    if (touchDown_) touchStart_ = touches.front()->locationInView(nullptr);
    if (touchDelegate_) touchDelegate_->touchesBegan(touches, event);
}

void PaneController::delegatetouchesMoved(const UITouchSet& touches, UIEvent* event) {
    if (touchDelegate_) touchDelegate_->touchesMoved(touches, event);
}

void PaneController::delegatetouchesEnded(const UITouchSet& touches, UIEvent* event) {
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

void PaneController::delegatetouchesCancelled(const UITouchSet& touches, UIEvent* event) {
    touchDown_ = false;
    if (touchDelegate_) touchDelegate_->touchesCancelled(touches, event);
}

UIView* PaneController::viewForZoomingInScrollView(UIScrollView*) { return glView_.data(); }

void PaneController::scrollViewDidEndZooming(UIScrollView* scrollView, UIView*, CGFloat scale) {
    if (!glView_) return;
    std::shared_ptr<QvGLView> gl = glView_->glView();
    auto hand = [gl, scale] { gl->setZoomScale(static_cast<float>(scale)); };
    if (renderQueue_->isCurrent()) hand();
    else renderQueue_->async(hand);
    if (scrollView) scrollView->setScrollEnabled(scale > 1);
}

}  // namespace lumora
