#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/common/PaneController.h"
#include "ui/kit/UIImageView.h"
#include "ui/tablet/ChannelViewControllerHDDelegate.h"
#include "ui/tablet/ChannelViewHD.h"

namespace lumora {

class UIGestureRecognizer;

// One tile of the tablet live view: the live video of one device channel
// with a caption, a recording mark and a blinking recording icon, a busy
// spinner and listening and talk indicators; the picture zooms while the
// tile fills the grid. The session, its callbacks, talk and the touches are
// the PaneController's; the tile lays out its views, reports its double tap
// to the grid and tells its delegate.
class ChannelViewControllerHD : public PaneController {
public:
    static std::shared_ptr<ChannelViewControllerHD> create();
    // For create() only: the session's delegate is set there.
    struct Private {};
    explicit ChannelViewControllerHD(Private);
    ~ChannelViewControllerHD() override;

    void loadView() override;

    // ---- queries
    void setDeviceId(int id) { deviceId_ = id; }
    void setChannel(int c) { channel_ = c; }
    void setIsStartAudio(bool on) { isStartAudio_ = on; }
    void setIsStartTalk(bool on) { isStartTalk_ = on; }
    bool renderSwitch() const { return renderSwitch_; }
    void setRenderSwitch(bool on) { renderSwitch_ = on; }
    bool timerValid() const { return timerValid_; }

    // ---- live view
    // A stop clears the picture again after this long.
    static constexpr double kClearDelay = 0.3;
    void stopLive();
    void renderClear();

    // ---- recording: a steady label and an icon blinking at this pace
    static constexpr double kRecordBlinkInterval = 0.7;
    void startRecord();
    void stopRecord();

    // ---- re-layout after the grid moved or resized the tile
    void updateChannelViewContentFrame();
    void updateScroviewContentFrame(bool fullScreen);

    // ---- renderDelegate
    void renderShow(const std::vector<uint8_t>& yuv, int width, int height) override;

    // ---- links
    std::shared_ptr<ChannelViewControllerHDDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<ChannelViewControllerHDDelegate>& d) { delegate_ = d; }
    ChannelViewControllerHDGuestureDelegate* gusdelegate() const { return gusdelegate_; }
    void setGusdelegate(ChannelViewControllerHDGuestureDelegate* d) { gusdelegate_ = d; }

    // ---- views
    ChannelViewHD* channelView() { view(); return static_cast<ChannelViewHD*>(channelView_.data()); }
    UILabel* testLabel() const { return testLabel_.data(); }
    UIImageView* recordIcon() const { return recordIcon_.data(); }

private:
    // Start: the test label and a recording end, a running view stops.
    void prepareStart(const std::shared_ptr<Device>& device, int channel) override;
    void showConnecting(const std::shared_ptr<Device>& device, int channel) override;
    // Stop: tellDelegate false where a failure ends the view.
    void stopSession(bool tellDelegate);
    void endWithFailure() override;
    void restartedAfterFailure() override;
    // What the delegate is told.
    void tellReloadButton(bool reloadchannel) override;
    void tellTalkFailed(bool failed) override;
    void shiningRecordIcon();
    void viewDoubleTapped(UIGestureRecognizer& recognizer);

    std::weak_ptr<ChannelViewControllerHDDelegate> delegate_;
    ChannelViewControllerHDGuestureDelegate* gusdelegate_ = nullptr;  // the grid, which outlives its tiles
    bool renderSwitch_ = true;
    bool timerValid_ = false;
    std::shared_ptr<RunLoopTimer> shiningTimer_;

    WeakView<UILabel> testLabel_;
    WeakView<UIImageView> recordIcon_;
};

}  // namespace lumora
