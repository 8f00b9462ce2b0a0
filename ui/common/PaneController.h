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
#include "ui/common/ChannelView.h"
#include "ui/common/GLVideoView.h"
#include "ui/common/QvScrollView.h"
#include "ui/kit/UIActivityIndicatorView.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

class DataController;
class Device;

// Where a pane's live view stands.
enum class PaneState {
    Idle,          // nothing shown
    Failed,        // nothing shown; the view that failed last is kept for a tap
    Connecting,    // started, waiting for its first picture
    Playing,       // pictures arrive
    Reconnecting,  // lost its device; the session keeps trying and says so
};

// What a phone video pane and a tablet video tile share: the live video of
// one device channel with a caption, a recording mark, a busy spinner and
// listening and talk indicators. The pane owns one DataController for its
// whole life and is that session's renderDelegate; pictures are drawn in its
// own GLVideoView.
//
// This class runs the session: the delayed start, the render callbacks,
// failure and reconnecting, tap-to-retry, pan/tilt captions, listening and
// talk, snapshots and the touches and zoom of the scroll view. Each family
// builds its own views and layout, and answers the hooks below (how it tells
// its delegate, how a failure ends the view).
//
// Threads: every operation runs on the main thread. The session's callbacks
// arrive on its queues; the pane moves their work to the main queue. The
// state, `stopRenderingFrame` and `isFirstgetFrame` are written on the main
// thread only and are atomic for the reads made elsewhere.
class PaneController : public UIViewController,
                       public renderDelegate,
                       public touchProtocol,
                       public UIScrollViewDelegate,
                       public UIAlertViewDelegate {
public:
    static constexpr double kStartDelay = 0.1;
    static constexpr double kFailureTextDelay = 0.2;
    static constexpr double kTalkBlinkInterval = 0.8;
    static constexpr double kTalkCheckDelay = 3.2;

    ~PaneController() override;

    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) override {
        return o == UIInterfaceOrientation::Portrait;
    }

    // ---- queries
    PaneState paneState() const { return paneState_.load(); }
    int deviceId() const { return deviceId_.load(); }
    int channel() const { return channel_.load(); }
    // 0 idle, 1 live (connecting or showing), 2 recording.
    int state() const;
    bool isBusy() const { return isLive(); }
    bool isFirstgetFrame() const { return paneState_.load() == PaneState::Playing; }
    bool stopRenderingFrame() const { return stopRenderingFrame_.load(); }
    bool isStartAudio() const { return isStartAudio_; }
    bool isStartTalk() const { return isStartTalk_; }
    bool canalert() const { return canalert_; }
    bool isTalkBlinking() const { return shouldShan_; }
    bool isTalkIndicatorShown() const;
    bool isVoiceIndicatorShown() const;
    // The view lost its device and keeps trying (its text is shown).
    bool isReconnecting() const { return paneState_.load() == PaneState::Reconnecting; }
    // The channel of the view that failed last, while the pane stays idle.
    int failedDeviceId() const { return paneState_.load() == PaneState::Failed ? failedDeviceId_ : -1; }

    // ---- steering a running view
    void startLive(const std::shared_ptr<Device>& device, int channel);
    void setSelected(bool selected);
    bool isSelected() const;
    void ptzControl(int code);
    void snapshot();
    bool startAudio();
    void stopAudio();
    void startTalk();
    void stopTalk();
    // A tap on the pane: a view that waits to reconnect tries at once, a
    // view that failed starts its channel again. False when neither.
    bool retryNow();

    // ---- renderDelegate
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
    UIResponder* touchDelegate() const { return touchDelegate_; }
    void setTouchDelegate(UIResponder* d) { touchDelegate_ = d; }
    const std::shared_ptr<DataController>& dataController() const { return dataController_; }
    // What runs the session's start (on the global queue, 0.1 s after the
    // request). Tests put a scripted session here; null: the DataController.
    using SessionStarter = std::function<void(const std::shared_ptr<Device>&, int channel)>;
    void setSessionStarter(SessionStarter starter) { sessionStarter_ = std::move(starter); }

    // ---- views (after the view loaded)
    QvScrollView* scrollView() const { return scrollView_.data(); }
    GLVideoView* glView() const { return glView_.data(); }
    UILabel* titleLabel() const { return titleLabel_.data(); }
    UILabel* recLabel() const { return recLabel_.data(); }
    UIActivityIndicatorView* spinner() const { return spinner_.data(); }
    UIButton* btnVoiceStatus() const { return btnVoiceStatus_.data(); }
    UIButton* btnTalkStatus() const { return btnTalkStatus_.data(); }
    const DispatchQueuePtr& renderQueue() const { return renderQueue_; }

protected:
    // How a family's talk check runs: the phone pane ends its 3.2 s check
    // with the device's answer and with a stop of talk; the tablet tile lets
    // it run to its end (a talk that was not granted by then is reported).
    enum class TalkCheck { EndsWithAnswer, RunsToItsEnd };
    explicit PaneController(TalkCheck talkCheck);

    // A new pane of the family T with its session (the session's render
    // delegate is the pane).
    template <class T>
    static std::shared_ptr<T> createPane() {
        auto pane = std::make_shared<T>(typename T::Private{});
        pane->attachSession();
        return pane;
    }

    // ---- hooks: what each family answers
    // The family's part of a start, before the view is marked connecting:
    // a running view is stopped here (as a restart on another channel).
    virtual void prepareStart(const std::shared_ptr<Device>& device, int channel) = 0;
    // The caption while connecting (after the view is marked connecting).
    virtual void showConnecting(const std::shared_ptr<Device>& device, int channel) = 0;
    // A failure text arrived for a live view: the family ends the view and
    // tells its delegate (the text itself is shown later by this class).
    virtual void endWithFailure() = 0;
    // The delegate's button reload (reloadchannel: the session's flag).
    virtual void tellReloadButton(bool reloadchannel) = 0;
    // Talk was refused or not granted within the check (failed true).
    virtual void tellTalkFailed(bool failed) = 0;
    // Talk was granted.
    virtual void tellTalkGranted() {}
    // A tap started a failed channel again.
    virtual void restartedAfterFailure() {}

    // ---- for the families
    bool isLive() const;
    void setPaneState(PaneState s) { paneState_ = s; }
    // Marks a live view as recording (or not): state() 2 or 1.
    void setRecording(bool on) { recording_ = on; }
    // Connecting on the device and channel: the ids, the state, the spinner.
    void beginView(int deviceId, int channel);
    // The device's channel is shown again after a start delay (the
    // session's start then runs on the global queue).
    void scheduleStart(const std::shared_ptr<Device>& device);
    // Ends the session's view and puts the pane to idle: the flags, the
    // talk timers, the spinner, the recording mark and the indicators. The
    // family adds its caption, its delegate call and its own marks.
    void endView();
    // Keeps the view that failed for a tap (idle otherwise).
    void keepFailed(int deviceId, int channel);
    // The first picture of a view (or after reconnecting): the caption, the
    // device online, the spinner stopped and the delegate told. True when
    // this was that first picture.
    bool takeFirstPicture();
    void drawPicture(const std::vector<uint8_t>& yuv, int width, int height);
    void setTitle(const std::string& text);
    std::string deviceCaption() const;
    void showIndicator(UIButton* button, bool shown);
    void invalidateTalkTimers();
    std::weak_ptr<PaneController> weakSelf();
    // This pane as its family's class, for delayed work that must not keep it.
    template <class T>
    std::weak_ptr<T> weakAs() {
        return std::static_pointer_cast<T>(shared_from_this());
    }
    // The views every pane has, for the family's loadView.
    static CGRect insetRect(const CGRect& r, CGFloat d);
    UILabel* makeRecLabel(const CGRect& frame);
    void addStatusIndicators(UIView* root);
    void addSpinner(UIView* root);

    std::shared_ptr<DataController> dataController_;
    SessionStarter sessionStarter_;
    UIResponder* touchDelegate_ = nullptr;  // not owned (the grid)
    DispatchQueuePtr renderQueue_;

    std::atomic<int> deviceId_{-1};
    std::atomic<int> channel_{-1};
    std::atomic<bool> stopRenderingFrame_{false};
    // Advanced by every start and stop: delayed work of an older view ends quietly.
    uint64_t generation_ = 0;
    bool isStartAudio_ = false;
    bool isStartTalk_ = false;
    bool didStartTalk_ = false;
    bool shouldShan_ = false;
    bool isShan_ = false;
    bool canalert_ = false;
    std::shared_ptr<RunLoopTimer> shanTimer_;
    std::shared_ptr<RunLoopTimer> talkCheckTimer_;

    WeakView<ChannelView> channelView_;
    WeakView<QvScrollView> scrollView_;
    WeakView<GLVideoView> glView_;
    WeakView<UILabel> titleLabel_, recLabel_;
    WeakView<UIActivityIndicatorView> spinner_;
    WeakView<UIButton> btnVoiceStatus_, btnTalkStatus_;

private:
    void attachSession();
    void startLiveDelay(const std::shared_ptr<Device>& device, uint64_t generation);
    void shanyishan();
    void closeshan();
    void stopBlink();
    // An answer to a talk request, or a stop of talk: the blink ends, and
    // the check too where the family's check ends with the answer.
    void endTalkWait();

    const TalkCheck talkCheck_;
    std::atomic<PaneState> paneState_{PaneState::Idle};
    std::atomic<bool> recording_{false};
    int failedDeviceId_ = -1, failedChannel_ = -1;  // main thread
    CGPoint touchStart_{0, 0};
    bool touchDown_ = false;
};

}  // namespace lumora
