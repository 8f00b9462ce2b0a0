#pragma once

#include "ui/kit/WeakView.h"
#include <atomic>
#include <memory>
#include <string>

#include "base/link/DataController.h"
#include "base/link/renderDelegate.h"
#include "platform/dispatch/DispatchQueue.h"
#include "ui/common/RecordPane.h"

namespace lumora {

class UIImageView;
class UILabel;

// A plain recording pane: its session's pictures shown in a picture view
// (converted to RGBA on the main thread), the end or failure text in a
// caption over it. Starting and stopping run on the pane's own serial queue,
// so the main thread never waits for the link.
class PictureRecordPane : public RecordPane,
                          public renderDelegate,
                          public std::enable_shared_from_this<PictureRecordPane> {
public:
    static std::shared_ptr<PictureRecordPane> create();
    ~PictureRecordPane() override;

    UIView* view() override;
    void updateChannelViewFrame(const CGRect& frame) override;
    void startPlayRecordFile(const std::shared_ptr<Device>& device, const std::string& fileName,
                             const _OWSP_DateTime& startTime) override;
    void stopLive() override;
    std::string statusText() const override;
    long picturesShown() const override { return pictures_; }

    void renderShow(const std::vector<uint8_t>& yuv, int width, int height) override;
    void renderFailed(const std::string& text) override;
    void renderShowText(const std::string& text) override;

private:
    PictureRecordPane();
    void layout();

    std::shared_ptr<DataController> session_;
    DispatchQueuePtr queue_;
    WeakView<UIView> view_;
    WeakView<UIImageView> picture_;
    WeakView<UILabel> caption_;
    WeakView<UILabel> status_;
    std::atomic<long> pictures_{0};
    std::string statusText_;
};

}  // namespace lumora
