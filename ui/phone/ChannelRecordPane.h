#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ui/common/RecordPane.h"

namespace lumora {

class ChannelViewController;

// The recording player's pane on the phone: a phone video pane playing one
// recording kept on a device. The end or failure text is the caption the
// pane leaves once its session stopped.
class ChannelRecordPane : public RecordPane {
public:
    ChannelRecordPane();
    ~ChannelRecordPane() override;

    UIView* view() override;
    void updateChannelViewFrame(const CGRect& frame) override;
    void startPlayRecordFile(const std::shared_ptr<Device>& device, const std::string& fileName,
                             const _OWSP_DateTime& startTime) override;
    void stopLive() override;
    std::string statusText() const override;
    long picturesShown() const override;

    ChannelViewController* channelViewController() const { return pane_.get(); }

private:
    std::shared_ptr<ChannelViewController> pane_;
    uint64_t presentedAtStart_ = 0;
};

}  // namespace lumora
