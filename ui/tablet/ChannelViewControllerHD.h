#pragma once

#include "ui/kit/WeakView.h"
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/link/renderDelegate.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/RunLoop.h"
#include "ui/common/GLVideoView.h"
#include "ui/common/QvScrollView.h"
#include "ui/kit/UIActivityIndicatorView.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIViewController.h"
#include "ui/tablet/ChannelViewControllerHDDelegate.h"
#include "ui/tablet/ChannelViewHD.h"

namespace lumora {

class DataController;
class Device;
class UIGestureRecognizer;

// One tile of the tablet live view: the live video of one device channel
// with a caption, a recording mark, a busy spinner and listening and talk
// indicators; the picture zooms while the tile fills the grid. The tile owns
// one DataController for its whole life and is that session's
// renderDelegate; pictures are drawn in its own GLVideoView.
//
// Threads: every operation runs on the main thread. The session's callbacks
// arrive on its queues; the tile moves their work to the main queue.
// `state`, `stopRenderingFrame` and `isFirstgetFrame` are written on the main
// thread only and are atomic for reads made elsewhere.
class ChannelViewControllerHD : public UIViewController,
                                public renderDelegate,
                                public touchProtocol,
                                public UIScrollViewDelegate,
                                public UIAlertViewDelegate {
public:
    static constexpr double kStartDelay = 0.1;
    static constexpr double kClearDelay = 0.3;
    static constexpr double kFailureTextDelay = 0.2;
    static constexpr double kRecordBlinkInterval = 0.7;
    static constexpr double kTalkBlinkInterval = 0.8;
    static constexpr double kTalkCheckDelay = 3.2;

    static std::shared_ptr<ChannelViewControllerHD> create();
    ~ChannelViewControllerHD() override;

    void loadView() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return o == UIInterfaceOrientation::Portrait;
    }

    // ---- queries
    int deviceId() const { return deviceId_.load(); }
    void setDeviceId(int id) { deviceId_ = id; }
    int channel() const { return channel_.load(); }
    void setChannel(int c) { channel_ = c; }
    // 0 idle, 1 live (connecting or showing), 2 recording.
    int state() const { return state_.load(); }
    bool isBusy() const { return state_.load() != 0; }
    bool isFirstgetFrame() const { return isFirstgetFrame_.load(); }
    bool stopRenderingFrame() const { return stopRenderingFrame_.load(); }
    bool isStartAudio() const { return isStartAudio_; }
    void setIsStartAudio(bool on) { isStartAudio_ = on; }
    bool isStartTalk() const { return isStartTalk_; }
    void setIsStartTalk(bool on) { isStartTalk_ = on; }
    bool renderSwitch() const { return renderSwitch_; }
    void setRenderSwitch(bool on) { renderSwitch_ = on; }
    bool timerValid() const { return timerValid_; }
    bool canalert() const { return canalert_; }
    bool isTalkBlinking() const { return shouldShan_; }
    bool isTalkIndicatorShown() const;
    bool isVoiceIndicatorShown() const;

    // ---- live view
    void startLive(const std::shared_ptr<Device>& device, int channel);
    void stopLive();
    void setSelected(bool selected);
    void renderClear();

    // ---- steering a running view
    void ptzControl(int command);
    void startRecord();
    void stopRecord();
    void snapshot();
    bool startAudio();
    void stopAudio();
    void startTalk();
    void stopTalk();

    // ---- re-layout after the grid moved or resized the tile
    void updateChannelViewContentFrame();
    void updateScroviewContentFrame(bool fullScreen);

    // ---- renderDelegate
    void renderShow(const std::vector<uint8_t>& yuv, int width, int height) override;
    void renderShowText(const std::string& text) override;
    void renderFailed(const std::string& text) override;
    void renderReconnecting(const std::string& text) override;
    void renderTalkGetRsp(bool granted) override;
    void reloadButton(bool reloadchannel) override;

    // ---- touchProtocol: on to the touch delegate
    void delegatetouchesBegin(const UITouchSet& touches, UIEvent* event) override;
    void delegatetouchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void delegatetouchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void delegatetouchesCancelled(const UITouchSet& touches, UIEvent* event) override;

    // ---- zoom
    UIView* viewForZoomingInScrollView(UIScrollView*) override;
    void scrollViewDidEndZooming(UIScrollView* scrollView, UIView* view, CGFloat scale) override;

    // ---- the talk alert
    void alertViewClickedButtonAtIndex(UIAlertView*, int buttonIndex) override;

    // ---- links
    std::shared_ptr<ChannelViewControllerHDDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<ChannelViewControllerHDDelegate>& d) { delegate_ = d; }
    ChannelViewControllerHDGuestureDelegate* gusdelegate() const { return gusdelegate_; }
    void setGusdelegate(ChannelViewControllerHDGuestureDelegate* d) { gusdelegate_ = d; }
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

    // ---- views
    ChannelViewHD* channelView() { view(); return channelView_.data(); }
    QvScrollView* scrollView() const { return scrollView_.data(); }
    GLVideoView* glView() const { return glView_.data(); }
    UILabel* titleLabel() const { return titleLabel_.data(); }
    UILabel* recLabel() const { return recLabel_.data(); }
    UILabel* testLabel() const { return testLabel_.data(); }
    UIImageView* recordIcon() const { return recordIcon_.data(); }
    UIActivityIndicatorView* spinner() const { return spinner_.data(); }
    const DispatchQueuePtr& renderQueue() const { return renderQueue_; }

    struct Private {};
    explicit ChannelViewControllerHD(Private);

private:
    void stopSession(bool tellDelegate);
    void scheduleStart(const std::shared_ptr<Device>& device);
    void startLiveDelay(const std::shared_ptr<Device>& device, uint64_t generation);
    void setTitle(const std::string& text);
    std::string deviceCaption() const;
    void invalidateTalkTimers();
    void shiningRecordIcon();
    void shanyishan();
    void closeshan();
    void showIndicator(UIButton* button, bool shown);
    void viewDoubleTapped(UIGestureRecognizer& recognizer);
    std::weak_ptr<ChannelViewControllerHD> weakSelf();

    std::shared_ptr<DataController> dataController_;
    std::weak_ptr<ChannelViewControllerHDDelegate> delegate_;
    ChannelViewControllerHDGuestureDelegate* gusdelegate_ = nullptr;  // the grid, which outlives its tiles
    UIResponder* touchDelegate_ = nullptr;                             // likewise
    SessionStarter sessionStarter_;
    DispatchQueuePtr renderQueue_;

    std::atomic<int> deviceId_{-1};
    std::atomic<int> channel_{-1};
    std::atomic<int> state_{0};
    std::atomic<bool> isFirstgetFrame_{false};
    bool reconnecting_ = false;  // main thread
    int failedDeviceId_ = -1, failedChannel_ = -1;  // main thread
    CGPoint touchStart_{0, 0};
    bool touchDown_ = false;
    std::atomic<bool> stopRenderingFrame_{false};
    // Advanced by every start and stop: delayed work of an older view ends quietly.
    uint64_t generation_ = 0;
    bool renderSwitch_ = true;
    bool isStartAudio_ = false;
    bool isStartTalk_ = false;
    bool timerValid_ = false;
    bool isShan_ = false;
    bool shouldShan_ = false;
    bool didStartTalk_ = false;
    bool canalert_ = false;
    std::shared_ptr<RunLoopTimer> shiningTimer_;
    std::shared_ptr<RunLoopTimer> shanTimer_;
    std::shared_ptr<RunLoopTimer> talkCheckTimer_;

    WeakView<ChannelViewHD> channelView_;
    WeakView<QvScrollView> scrollView_;
    WeakView<GLVideoView> glView_;
    WeakView<UILabel> titleLabel_, recLabel_, testLabel_;
    WeakView<UIImageView> recordIcon_;
    WeakView<UIActivityIndicatorView> spinner_;
    WeakView<UIButton> btnVoiceStatus_, btnTalkStatus_;
};

}  // namespace lumora
