#include "ui/phone/PlayRemoteRecordController.h"

#include "ui/kit/UIApplication.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/UIViewAnimation.h"
#include "ui/phone/ChannelRecordPane.h"

namespace lumora {

namespace {

bool isLandscape(UIInterfaceOrientation o) {
    return o == UIInterfaceOrientation::LandscapeLeft || o == UIInterfaceOrientation::LandscapeRight;
}

bool isPad() {
    return UIScreen::mainScreen().idiom() == UserInterfaceIdiom::Pad;
}

}  // namespace

std::function<std::shared_ptr<RecordPane>()>& PlayRemoteRecordController::paneFactory() {
    static std::function<std::shared_ptr<RecordPane>()> factory = [] { return std::make_shared<ChannelRecordPane>(); };
    return factory;
}

PlayRemoteRecordController::PlayRemoteRecordController() {
    _channelViewController = paneFactory() ? paneFactory()() : nullptr;
}

PlayRemoteRecordController::~PlayRemoteRecordController() {
    if (_channelViewController) _channelViewController->stopLive();
}

void PlayRemoteRecordController::loadView() {
    CGRect screen = UIScreen::mainScreen().bounds();
    auto* root = new UIView(screen);
    root->setBackgroundColor(UIColor::whiteColor());
    CGRect displayFrame = CGRectMake(0, 59, screen.size.width, screen.size.height - 172);
    if (isPad()) displayFrame = CGRectMake(0, 0, screen.size.height, screen.size.width - 85);
    display_ = new UIView(displayFrame);
    setViewName(display_, "m_pDisplayView");
    root->addSubview(display_);
    if (_channelViewController && _channelViewController->view()) {
        _channelViewController->updateChannelViewFrame(display_->bounds());
        display_->addSubview(_channelViewController->view());
    }
    setView(root);
}

void PlayRemoteRecordController::PlayRemoteRecord(const std::shared_ptr<Device>& device, unsigned,
                                                  const std::string& fileName) {
    view()->setBackgroundColor(UIColor::blackColor());
    if (display_) display_->setBackgroundColor(UIColor::blackColor());
    if (_channelViewController) _channelViewController->startPlayRecordFile(device, fileName, _OWSP_DateTime{});
}

void PlayRemoteRecordController::placeDisplay(bool landscape) {
    auto* nav = navigationController();
    if (landscape) {
        if (nav) nav->setNavigationBarHidden(true, true);
        if (display_) display_->setFrame(view()->bounds());
    } else {
        if (nav) nav->setNavigationBarHidden(false, true);
        CGRect b = view()->bounds();
        if (display_) display_->setFrame(CGRectMake(0, 59, b.size.width, b.size.height - 172));
    }
    if (_channelViewController && display_) _channelViewController->updateChannelViewFrame(display_->bounds());
}

void PlayRemoteRecordController::viewWillAppear(bool) {
    auto orientation = interfaceOrientation();
    auto* nav = navigationController();
    if (!isLandscape(orientation) || isPad()) {
        if (nav) nav->setNavigationBarHidden(false, true);
    } else {
        if (nav) nav->setNavigationBarHidden(true, true);
        if (display_) display_->setFrame(view()->bounds());
        if (_channelViewController && display_) _channelViewController->updateChannelViewFrame(display_->bounds());
    }
}

void PlayRemoteRecordController::didRotateFromInterfaceOrientation(UIInterfaceOrientation from) {
    const bool now = isLandscape(interfaceOrientation());
    if (now == isLandscape(from)) return;
    UIViewAnimation::animateWithDuration(0.3, [this, now] { placeDisplay(now); });
}

void PlayRemoteRecordController::viewDidDisappear(bool) {
    if (_channelViewController) _channelViewController->stopLive();
}

}  // namespace lumora
