#include "ui/phone/ChannelRecordPane.h"

#include "ui/common/GLVideoView.h"
#include "ui/kit/UILabel.h"
#include "ui/phone/ChannelViewController.h"

namespace lumora {

ChannelRecordPane::ChannelRecordPane() : pane_(ChannelViewController::create()) {}

ChannelRecordPane::~ChannelRecordPane() {
    if (pane_ && pane_->isBusy()) pane_->stopLive();
}

UIView* ChannelRecordPane::view() { return pane_->view(); }

void ChannelRecordPane::updateChannelViewFrame(const CGRect& frame) { pane_->updateChannelViewFrame(frame); }

void ChannelRecordPane::startPlayRecordFile(const std::shared_ptr<Device>& device, const std::string& fileName,
                                            const _OWSP_DateTime& startTime) {
    pane_->view();
    presentedAtStart_ = pane_->glView() ? pane_->glView()->presentedCount() : 0;
    pane_->startPlayRecordFile(device, fileName, startTime);
}

void ChannelRecordPane::stopLive() {
    if (pane_->isBusy()) pane_->stopLive();
}

std::string ChannelRecordPane::statusText() const {
    if (pane_->isBusy() || !pane_->titleLabel()) return {};
    return pane_->titleLabel()->text();
}

long ChannelRecordPane::picturesShown() const {
    if (!pane_->glView()) return 0;
    return static_cast<long>(pane_->glView()->presentedCount() - presentedAtStart_);
}

}  // namespace lumora
