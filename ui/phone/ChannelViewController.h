#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/link/OWSPRecords.h"
#include "ui/common/ChannelView.h"
#include "ui/common/PaneController.h"
#include "ui/phone/ChannelViewControllerDelegate.h"

namespace lumora {

// One phone video pane: the live video of one device channel (or one
// recording kept on a device) with a caption, a recording mark, a busy
// spinner and listening and talk indicators. The session, its callbacks,
// talk and the touches are the PaneController's; the pane lays out its
// views, knows the three kinds of stop and tells its delegate.
class ChannelViewController : public PaneController {
public:
    // A pane with its session (the session's render delegate is the pane).
    static std::shared_ptr<ChannelViewController> create();
    // For create() only: the session's delegate is set there.
    struct Private {};
    explicit ChannelViewController(Private);

    void loadView() override;

    // ---- placement
    static constexpr float kMaxZoomScale = 1.5f;
    void updateChannelViewFrame(const CGRect& r);
    bool hasSmallView() const { return hasSmallView_; }
    void setHasSmallView(bool small);

    // ---- queries
    void setStopRenderingFrame(bool stop) { stopRenderingFrame_ = stop; }
    int connectionTag() const { return connectionTag_; }
    void setConnectionTag(int tag) { connectionTag_ = tag; }
    const std::string& strPlayFileName() const { return strPlayFileName_; }
    int channelConnectMode() const { return channelConnectMode_; }

    // ---- live view and playback
    // A plain stop clears the picture and the caption again after this long.
    static constexpr double kSecondClearDelay = 0.3;
    void stopLive();
    void stopwitherr();
    void stopwithotherStart();
    void startPlayRecordFile(const std::shared_ptr<Device>& device, const std::string& fileName,
                             const _OWSP_DateTime& startTime);
    void startRecord();
    void stopRecord();
    void renderClear();

    // ---- renderDelegate
    void renderShow(const std::vector<uint8_t>& yuv, int width, int height) override;

    // ---- links
    std::shared_ptr<ChannelViewControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<ChannelViewControllerDelegate>& d) { delegate_ = d; }

    // ---- views (after the view loaded)
    ChannelView* channelView() const { return channelView_.data(); }

private:
    // Start: rendering on again; a running view stops as for another start.
    void prepareStart(const std::shared_ptr<Device>& device, int channel) override;
    void showConnecting(const std::shared_ptr<Device>& device, int channel) override;
    // The three kinds of stop; a failure text ends the view with an error stop.
    enum class StopKind { Live, Error, OtherStart };
    void stopWith(StopKind kind);
    void endWithFailure() override;
    // What the delegate is told; a grant is told as a talk that did not fail.
    void tellReloadButton(bool reloadchannel) override;
    void tellTalkFailed(bool failed) override;
    void tellTalkGranted() override;

    std::weak_ptr<ChannelViewControllerDelegate> delegate_;
    bool hasSmallView_ = false;
    int connectionTag_ = -1;
    std::string strPlayFileName_;
    _OWSP_DateTime startTime_;
    int channelConnectMode_ = 0;
};

}  // namespace lumora
