#include "ui/phone/ChannelViewController.h"

#include "app/core/ConnectModes.h"
#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "base/link/DataController.h"
#include "platform/runloop/Seconds.h"
#include "platform/text/Localization.h"

namespace lumora {

std::shared_ptr<ChannelViewController> ChannelViewController::create() {
    return createPane<ChannelViewController>();
}

ChannelViewController::ChannelViewController(Private) : PaneController(TalkCheck::EndsWithAnswer) {}

// ---------------------------------------------------------------- views

void ChannelViewController::loadView() {
    auto* root = new ChannelView(CGRect{{0, 0}, {320, 260}});
    channelView_ = root;
    setView(root);
    const CGRect b = root->bounds();

    auto* gl = new GLVideoView(insetRect(b, 1));
    glView_ = gl;

    UILabel* rec = makeRecLabel(CGRect{{b.size.width - 40, 0}, {40, 20}});

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
    addStatusIndicators(root);
    addSpinner(root);
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

// ---------------------------------------------------------------- start and stop

void ChannelViewController::prepareStart(const std::shared_ptr<Device>&, int) {
    stopRenderingFrame_ = false;
    if (isLive()) stopwithotherStart();
}

void ChannelViewController::showConnecting(const std::shared_ptr<Device>&, int) {
    if (titleLabel_) {
        titleLabel_->setHidden(false);
        setTitle(Localization::string("MSG_Con"));
    }
}

void ChannelViewController::startPlayRecordFile(const std::shared_ptr<Device>& device, const std::string& fileName,
                                                const _OWSP_DateTime& startTime) {
    if (!device) return;
    if (device->deviceId == deviceId_.load() && fileName.empty()) return;
    view();
    strPlayFileName_ = fileName;
    channelConnectMode_ = channelmode::kPlayback;
    channel_ = 1;
    startTime_ = startTime;
    if (isLive()) return;
    stopRenderingFrame_ = false;
    beginView(device->deviceId, 1);
    ++generation_;
    dataController_->setChannelConnectMode(channelmode::kPlayback);
    dataController_->setTimeAndName(startTime_, strPlayFileName_);
    std::shared_ptr<DataController> session = dataController_;
    DispatchQueue::global()->async([session, device] { session->startLive(device, 1); });
}

void ChannelViewController::stopLive() { stopWith(StopKind::Live); }
void ChannelViewController::stopwitherr() { stopWith(StopKind::Error); }
void ChannelViewController::stopwithotherStart() { stopWith(StopKind::OtherStart); }

void ChannelViewController::stopWith(StopKind kind) {
    view();
    const int device = deviceId_.load(), channel = channel_.load();
    endView();
    // An error stop keeps its channel for a tap; the other stops forget it.
    if (kind == StopKind::Error) keepFailed(device, channel);
    if (glView_) glView_->renderClear();
    setTitle(kind == StopKind::OtherStart ? Localization::string("MSG_Con") : std::string());
    if (auto d = delegate_.lock()) d->channelViewControllerDidStop(this, true);
    if (kind == StopKind::Live) {
        std::weak_ptr<ChannelViewController> weak = weakAs<ChannelViewController>();
        DispatchQueue::main()->after(secondsDuration(kSecondClearDelay), [weak] {
            auto self = weak.lock();
            // Only while nothing started meanwhile.
            if (self && self->state() == 0) self->renderClear();
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
    takeFirstPicture();
    if (stopRenderingFrame_.load()) return;
    if (titleLabel_ && titleLabel_->isHidden()) titleLabel_->setHidden(false);
    if (spinner_ && spinner_->isAnimating()) spinner_->stopAnimating();
    if (titleLabel_ && titleLabel_->text().empty()) {
        if (auto device = QvDeviceManager::sharedInstance().deviceWithId(deviceId_.load())) {
            if (!device->name.value().empty()) setTitle(deviceCaption());
            device->isOnLine = true;
        }
    }
    drawPicture(yuv, width, height);
}

void ChannelViewController::endWithFailure() {
    if (spinner_) spinner_->stopAnimating();
    if (auto d = delegate_.lock()) d->channelViewControllerSessionFailedForDevice(this, deviceId_.load(), channel_.load());
    stopwitherr();
}

void ChannelViewController::tellReloadButton(bool reloadchannel) {
    if (auto d = delegate_.lock()) d->channelViewControllerShouldReloadButton(this, reloadchannel);
}

void ChannelViewController::tellTalkFailed(bool failed) {
    if (auto d = delegate_.lock()) d->channelViewControllerDidFailedTalk(this, failed);
}

void ChannelViewController::tellTalkGranted() { tellTalkFailed(false); }

// ---------------------------------------------------------------- recording

void ChannelViewController::startRecord() {
    if (recLabel_) recLabel_->setHidden(false);
    setRecording(true);
    dataController_->startRecord();
}

void ChannelViewController::stopRecord() {
    if (recLabel_) recLabel_->setHidden(true);
    setRecording(false);
    dataController_->stopRecord();
}

}  // namespace lumora
