#include "ui/tablet/ChannelViewControllerHD.h"

#include <cstdio>

#include "app/core/Device.h"
#include "base/link/DataController.h"
#include "platform/runloop/Seconds.h"
#include "platform/text/Localization.h"
#include "ui/kit/UITapGestureRecognizer.h"

namespace lumora {

std::shared_ptr<ChannelViewControllerHD> ChannelViewControllerHD::create() {
    return createPane<ChannelViewControllerHD>();
}

ChannelViewControllerHD::ChannelViewControllerHD(Private) : PaneController(TalkCheck::RunsToItsEnd) {}

ChannelViewControllerHD::~ChannelViewControllerHD() {
    if (shiningTimer_) shiningTimer_->invalidate();
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
    UILabel* rec = makeRecLabel(CGRect{{W - 40, 0}, {40, 20}});

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

    addStatusIndicators(root);
    addSpinner(root);

    timerValid_ = false;
    std::weak_ptr<ChannelViewControllerHD> weak = weakAs<ChannelViewControllerHD>();
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

// ---------------------------------------------------------------- start and stop

void ChannelViewControllerHD::prepareStart(const std::shared_ptr<Device>&, int) {
    if (testLabel_) testLabel_->setHidden(true);
    if (state() == 2) {
        if (recLabel_) recLabel_->setHidden(true);
        timerValid_ = false;
        if (recordIcon_) recordIcon_->setHidden(true);
    }
    if (isLive()) stopSession(true);
    stopRenderingFrame_ = false;
}

void ChannelViewControllerHD::showConnecting(const std::shared_ptr<Device>& device, int channel) {
    char buf[16];
    std::snprintf(buf, sizeof buf, " ch%02d]", channel + 1);
    if (titleLabel_) titleLabel_->setHidden(false);
    setTitle("[" + device->name.value() + buf + Localization::string("CONNECTING_STATUS"));
}

void ChannelViewControllerHD::stopLive() {
    view();
    if (testLabel_) {
        testLabel_->setText({});
        testLabel_->setHidden(true);
    }
    timerValid_ = false;
    // An idle tile has nothing to stop (and forgets a failed view). A busy
    // one is stopped through its own session, also when its device has
    // left the list meanwhile.
    if (!isLive()) {
        setPaneState(PaneState::Idle);
        return;
    }
    stopSession(true);
    std::weak_ptr<ChannelViewControllerHD> weak = weakAs<ChannelViewControllerHD>();
    const uint64_t generation = generation_;
    DispatchQueue::main()->after(secondsDuration(kClearDelay), [weak, generation] {
        auto self = weak.lock();
        // Only while nothing started meanwhile.
        if (self && self->generation_ == generation && self->glView_) self->glView_->renderClear();
    });
}

void ChannelViewControllerHD::stopSession(bool tellDelegate) {
    endView();
    timerValid_ = false;
    setTitle({});
    if (recordIcon_) recordIcon_->setHidden(true);
    if (tellDelegate)
        if (auto d = delegate_.lock()) d->channelViewControllerHDStop(this);
}

void ChannelViewControllerHD::renderClear() {
    if (glView_) glView_->renderClear();
}

// ---------------------------------------------------------------- session callbacks

void ChannelViewControllerHD::renderShow(const std::vector<uint8_t>& yuv, int width, int height) {
    // The session hands pictures over on the main queue.
    if (!isLive() || stopRenderingFrame_.load()) return;
    takeFirstPicture();
    if (titleLabel_ && titleLabel_->isHidden()) titleLabel_->setHidden(false);
    if (titleLabel_ && titleLabel_->text().empty()) setTitle(deviceCaption());
    drawPicture(yuv, width, height);
}

void ChannelViewControllerHD::endWithFailure() {
    const int device = deviceId_.load(), channel = channel_.load();
    stopSession(false);
    // Kept for a tap that starts the channel again.
    keepFailed(device, channel);
    if (glView_) glView_->renderClear();
    if (auto d = delegate_.lock()) d->ChannelViewControllerHDSessionFailedForDevice(this, device, channel);
}

void ChannelViewControllerHD::tellReloadButton(bool) {
    if (auto d = delegate_.lock()) d->channelViewControllerHDShouldReloadButton(this);
}

void ChannelViewControllerHD::tellTalkFailed(bool failed) {
    if (auto d = delegate_.lock()) d->channelViewControllerHDDidFailedTalk(this, failed);
}

void ChannelViewControllerHD::restartedAfterFailure() { tellReloadButton(false); }

// ---------------------------------------------------------------- recording

void ChannelViewControllerHD::startRecord() {
    if (state() != 1) return;
    dataController_->startRecord();
    if (recordIcon_) recordIcon_->setHidden(false);
    if (recLabel_) recLabel_->setHidden(false);
    setRecording(true);
    timerValid_ = true;
}

void ChannelViewControllerHD::stopRecord() {
    if (state() != 2) return;
    dataController_->stopRecord();
    timerValid_ = false;
    if (recordIcon_) recordIcon_->setHidden(true);
    if (recLabel_) recLabel_->setHidden(true);
    setRecording(false);
}

void ChannelViewControllerHD::shiningRecordIcon() {
    if (!recordIcon_) return;
    if (timerValid_) recordIcon_->setHidden(!recordIcon_->isHidden());
    else recordIcon_->setHidden(true);
}

// ---------------------------------------------------------------- gestures

void ChannelViewControllerHD::viewDoubleTapped(UIGestureRecognizer& recognizer) {
    if (recognizer.state() != UIGestureRecognizerState::Ended) return;
    if (gusdelegate_) gusdelegate_->ChannelViewControllerHDViewDoubleClicked(this, &recognizer);
}

}  // namespace lumora
