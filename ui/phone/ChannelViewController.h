#pragma once

#include "ui/kit/WeakView.h"
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/link/OWSPRecords.h"
#include "base/link/renderDelegate.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/RunLoop.h"
#include "ui/common/ChannelView.h"
#include "ui/common/GLVideoView.h"
#include "ui/common/QvScrollView.h"
#include "ui/kit/UIActivityIndicatorView.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIViewController.h"
#include "ui/phone/ChannelViewControllerDelegate.h"

namespace lumora {

class DataController;
class Device;

// One phone video pane: the live video of one device channel (or one
// recording kept on a device) with a caption, a recording mark, a busy
// spinner and listening and talk indicators. It owns one DataController for
// its whole life and is that session's renderDelegate; pictures are drawn
// in its own GLVideoView.
//
// Threads: every operation runs on the main thread. The session's
// callbacks arrive on its queues; the pane moves their work to the main
// queue. `state`, `stopRenderingFrame` and `isFirstgetFrame` are written on
// the main thread only and are atomic for the reads made elsewhere.
class ChannelViewController : public UIViewController,
                              public renderDelegate,
                              public touchProtocol,
                              public UIScrollViewDelegate,
                              public UIAlertViewDelegate {
public:
    static constexpr double kStartDelay = 0.1;
    static constexpr double kTalkBlinkInterval = 0.8;
    static constexpr double kTalkCheckDelay = 3.2;
    static constexpr double kFailureTextDelay = 0.2;
    static constexpr double kSecondClearDelay = 0.3;
    static constexpr float kMaxZoomScale = 1.5f;

    // A pane with its session (the session's render delegate is the pane).
    static std::shared_ptr<ChannelViewController> create();
    ~ChannelViewController() override;

    void loadView() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return o == UIInterfaceOrientation::Portrait;
    }

    // ---- placement
    void updateChannelViewFrame(const CGRect& r);
    bool hasSmallView() const { return hasSmallView_; }
    void setHasSmallView(bool small);
    void setSelected(bool selected);
    bool isSelected() const;

    // ---- queries
    int deviceId() const { return deviceId_.load(); }
    int channel() const { return channel_.load(); }
    int state() const { return state_.load(); }
    bool isBusy() const { return state_.load() != 0; }
    bool isStartAudio() const { return isStartAudio_; }
    bool isStartTalk() const { return isStartTalk_; }
    bool stopRenderingFrame() const { return stopRenderingFrame_.load(); }
    void setStopRenderingFrame(bool stop) { stopRenderingFrame_ = stop; }
    bool isFirstgetFrame() const { return isFirstgetFrame_.load(); }
    bool canalert() const { return canalert_; }
    int connectionTag() const { return connectionTag_; }
    void setConnectionTag(int tag) { connectionTag_ = tag; }
    const std::string& strPlayFileName() const { return strPlayFileName_; }
    int channelConnectMode() const { return channelConnectMode_; }

    // ---- live view and playback
    void startLive(const std::shared_ptr<Device>& device, int channel);
    void stopLive();
    void stopwitherr();
    void stopwithotherStart();
    void startPlayRecordFile(const std::shared_ptr<Device>& device, const std::string& fileName,
                             const _OWSP_DateTime& startTime);
    void ptzControl(int code);
    void snapshot();
    void startRecord();
    void stopRecord();
    bool startAudio();
    void stopAudio();
    void startTalk();
    void stopTalk();
    void renderClear();

    // ---- renderDelegate
    void renderShow(const std::vector<uint8_t>& yuv, int width, int height) override;
    void renderShowText(const std::string& text) override;
    void renderFailed(const std::string& text) override;
    void renderReconnecting(const std::string& text) override;
    void renderTalkGetRsp(bool granted) override;
    void reloadButton(bool reloadchannel) override;

    // ---- touchProtocol (from the scroll view): on to the touch delegate
    void delegatetouchesCancelled(const UITouchSet& touches, UIEvent* event) override;
    void delegatetouchesBegin(const UITouchSet& touches, UIEvent* event) override;
    void delegatetouchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void delegatetouchesEnded(const UITouchSet& touches, UIEvent* event) override;

    // ---- zoom
    UIView* viewForZoomingInScrollView(UIScrollView*) override;
    void scrollViewDidEndZooming(UIScrollView* scrollView, UIView* view, CGFloat scale) override;

    // ---- the talk alert
    void alertViewClickedButtonAtIndex(UIAlertView*, int buttonIndex) override;

    // ---- links
    std::shared_ptr<ChannelViewControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<ChannelViewControllerDelegate>& d) { delegate_ = d; }
    UIResponder* touchDelegate() const { return touchDelegate_; }
    void setTouchDelegate(UIResponder* d) { touchDelegate_ = d; }
    const std::shared_ptr<DataController>& dataController() const { return dataController_; }
    // What runs the session's start (on the global queue, 0.1 s after the
    // request). Tests put a scripted session here; null: the DataController.
    using SessionStarter = std::function<void(const std::shared_ptr<Device>&, int channel)>;
    void setSessionStarter(SessionStarter starter) { sessionStarter_ = std::move(starter); }
    // A tap on the pane: a view that waits to reconnect tries at once, a
    // view that failed starts its channel again. False when neither.
    bool retryNow();
    // The view lost its device and keeps trying (its text is shown).
    bool isReconnecting() const { return reconnecting_; }
    // The channel of the view that failed last, while the pane stays idle.
    int failedDeviceId() const { return failedDeviceId_; }

    // ---- views (after the view loaded)
    ChannelView* channelView() const { return channelView_.data(); }
    QvScrollView* scrollView() const { return scrollView_.data(); }
    GLVideoView* glView() const { return glView_.data(); }
    UILabel* titleLabel() const { return titleLabel_.data(); }
    UILabel* recLabel() const { return recLabel_.data(); }
    UIActivityIndicatorView* spinner() const { return spinner_.data(); }
    UIButton* btnVoiceStatus() const { return btnVoiceStatus_.data(); }
    UIButton* btnTalkStatus() const { return btnTalkStatus_.data(); }
    bool isTalkIndicatorShown() const;
    bool isVoiceIndicatorShown() const;
    bool isTalkBlinking() const { return shouldShan_; }
    const DispatchQueuePtr& renderQueue() const { return renderQueue_; }

    struct Private {};
    explicit ChannelViewController(Private);

private:
    enum class StopKind { Live, Error, OtherStart };
    void stopWith(StopKind kind);
    void startLiveDelay(const std::shared_ptr<Device>& device, uint64_t generation);
    void setTitle(const std::string& text);
    std::string deviceCaption() const;
    void invalidateTalkTimers();
    void shanyishan();
    void closeshan();
    void showIndicator(UIButton* button, bool shown);
    std::weak_ptr<ChannelViewController> weakSelf();

    std::shared_ptr<DataController> dataController_;
    std::weak_ptr<ChannelViewControllerDelegate> delegate_;
    SessionStarter sessionStarter_;
    UIResponder* touchDelegate_ = nullptr;  // not owned (the grid)
    DispatchQueuePtr renderQueue_;

    std::atomic<int> deviceId_{-1};
    std::atomic<int> channel_{-1};
    std::atomic<int> state_{0};
    std::atomic<bool> stopRenderingFrame_{false};
    std::atomic<bool> isFirstgetFrame_{false};
    bool reconnecting_ = false;  // main thread
    int failedDeviceId_ = -1, failedChannel_ = -1;  // main thread
    CGPoint touchStart_{0, 0};
    bool touchDown_ = false;
    // Advanced by every start and stop: delayed work of an older view ends quietly.
    uint64_t generation_ = 0;
    bool hasSmallView_ = false;
    bool isStartAudio_ = false;
    bool isStartTalk_ = false;
    bool didStartTalk_ = false;
    bool shouldShan_ = false;
    bool isShan_ = false;
    bool canalert_ = false;
    int connectionTag_ = -1;
    std::string strPlayFileName_;
    _OWSP_DateTime startTime_;
    int channelConnectMode_ = 0;
    int videoWidth_ = 0, videoHeight_ = 0;
    std::shared_ptr<RunLoopTimer> shanTimer_;
    std::shared_ptr<RunLoopTimer> talkCheckTimer_;

    WeakView<ChannelView> channelView_;
    WeakView<QvScrollView> scrollView_;
    WeakView<GLVideoView> glView_;
    WeakView<UILabel> titleLabel_, recLabel_;
    WeakView<UIActivityIndicatorView> spinner_;
    WeakView<UIButton> btnVoiceStatus_, btnTalkStatus_;
};

}  // namespace lumora
