#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "platform/dispatch/NotificationCenter.h"
#include "ui/common/ALAirplayView.h"
#include "ui/common/ALButton.h"
#include "ui/common/ALMoviePlayerControlsBar.h"
#include "ui/kit/UIActivityIndicatorView.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UISlider.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIView.h"

namespace lumora {

class ALMoviePlayerController;
class RunLoopTimer;

enum ALMoviePlayerControlsStyle {
    ALMoviePlayerControlsStyleEmbedded = 0,
    ALMoviePlayerControlsStyleFullscreen = 1,
    ALMoviePlayerControlsStyleDefault = 2,  // follows the player's full-screen state
    ALMoviePlayerControlsStyleNone = 3,
};

enum ALMoviePlayerControlsState {
    ALMoviePlayerControlsStateIdle = 0,
    ALMoviePlayerControlsStateLoading = 1,
    ALMoviePlayerControlsStateReady = 2,
};

// The player's on-screen controls over its whole view: two bars with
// play/pause, fast seeking, the position slider with elapsed and remaining
// time, full-screen and scaling buttons, a volume slider and the route
// button, and a loading indicator. They show on a tap or when the movie
// becomes playable and hide after fadeDelay seconds without interaction.
//
// The route button opens nothing on this system (there are no other outputs
// to pick), so nothing waits for a route picker to close: its press only
// cancels and re-arms the hide like any other button.
//
// Main thread only.
class ALMoviePlayerControls : public UIView, public ALButtonDelegate, public ALAirplayViewDelegate {
public:
    static constexpr double kShowHideDuration = 0.3;
    static constexpr double kRebuildDelay = 0.2;
    static constexpr double kIndicatorFade = 0.2;

    ALMoviePlayerControls(ALMoviePlayerController* moviePlayer, int style);
    ~ALMoviePlayerControls() override;

    ALMoviePlayerController* moviePlayer() const { return moviePlayer_; }
    // The player lets go of its controls when it goes (they may outlive it in the view tree).
    void setMoviePlayer(ALMoviePlayerController* player) { moviePlayer_ = player; }
    int style() const { return style_; }
    void setStyle(int style);
    int state() const { return state_; }
    void setState(int state);
    const UIColor& barColor() const { return barColor_; }
    void setBarColor(const UIColor& color);
    CGFloat barHeight() const { return barHeight_; }
    double fadeDelay() const { return fadeDelay_; }
    void setFadeDelay(double seconds) { fadeDelay_ = seconds; }
    float seekRate() const { return seekRate_; }
    void setSeekRate(float rate) { seekRate_ = rate; }
    bool timeRemainingDecrements() const { return timeRemainingDecrements_; }
    void setTimeRemainingDecrements(bool on) { timeRemainingDecrements_ = on; }
    bool isShowing() const { return showing_; }

    void setup();
    void resetViews();
    void nilDelegates();
    void showControls(std::function<void()> completion);
    void hideControls(std::function<void()> completion);
    void startDurationTimer();
    void stopDurationTimer();
    bool durationTimerRunning() const;
    void monitorMoviePlayback();
    void setDurationSliderMaxMinValues();
    void setTimeLabelValues(double current, double total);
    bool hidePending() const;

    // Actions.
    void playPausePressed();
    void fullscreenPressed();
    void scalePressed();
    void seekForwardPressed();
    void seekBackwardPressed();
    void durationSliderTouchBegan();
    void durationSliderTouchEnded();
    void durationSliderValueChanged();

    // The player's notifications.
    void moviePlaybackStateDidChange();
    void movieLoadStateDidChange();
    void movieFinished();
    void movieDurationAvailable();
    void movieContentURLDidChange();

    // Button phases.
    void buttonTouchedDown(ALButton*) override;
    void buttonTouchedUpOutside(ALButton*) override;
    void buttonTouchCancelled(ALButton*) override;
    void airplayButtonTouchedDown() override;
    void airplayButtonTouchedUpInside() override;
    void airplayButtonTouchedUpOutside() override;
    void airplayButtonTouchFailed() override;

    void layoutSubviews() override;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;

    // The subviews of the current layout (null when the layout has none).
    ALMoviePlayerControlsBar* topBar() const { return topBar_.data(); }
    ALMoviePlayerControlsBar* bottomBar() const { return bottomBar_.data(); }
    UISlider* durationSlider() const { return durationSlider_.data(); }
    UILabel* timeElapsedLabel() const { return timeElapsedLabel_.data(); }
    UILabel* timeRemainingLabel() const { return timeRemainingLabel_.data(); }
    ALButton* playPauseButton() const { return playPauseButton_.data(); }
    ALButton* fullscreenButton() const { return fullscreenButton_.data(); }
    ALButton* seekForwardButton() const { return seekForwardButton_.data(); }
    ALButton* seekBackwardButton() const { return seekBackwardButton_.data(); }
    ALButton* scaleButton() const { return scaleButton_.data(); }
    UISlider* volumeView() const { return volumeView_.data(); }
    ALAirplayView* airplayView() const { return airplayView_.data(); }
    UIView* activityBackgroundView() const { return activityBackgroundView_.data(); }
    UIActivityIndicatorView* activityIndicator() const { return activityIndicator_.data(); }

private:
    bool fullscreenLayout() const;
    bool isFileContent() const;
    void scheduleHide();
    void cancelHide();
    void addNotifications();
    void showLoadingIndicators();
    void hideLoadingIndicators();
    ALButton* makeButton(const char* name, const char* image, const char* selectedImage);
    UILabel* makeTimeLabel(const char* name, bool rightAligned);
    void layoutFullscreen(CGFloat w, CGFloat h, CGFloat b, CGFloat p, CGFloat l, CGFloat k);
    void layoutEmbedded(CGFloat w, CGFloat h, CGFloat b, CGFloat p, CGFloat l);

    ALMoviePlayerController* moviePlayer_;  // not owned
    int style_;
    int state_ = ALMoviePlayerControlsStateIdle;
    UIColor barColor_;
    CGFloat barHeight_;
    double fadeDelay_ = 5.0;
    float seekRate_ = 3.0f;
    bool timeRemainingDecrements_ = false;
    bool showing_ = false;

    QPointer<ALMoviePlayerControlsBar> topBar_, bottomBar_;
    QPointer<UISlider> durationSlider_;
    QPointer<UILabel> timeElapsedLabel_, timeRemainingLabel_;
    QPointer<ALButton> playPauseButton_, fullscreenButton_, seekForwardButton_, seekBackwardButton_, scaleButton_;
    QPointer<UISlider> volumeView_;
    QPointer<ALAirplayView> airplayView_;
    QPointer<UIView> activityBackgroundView_;
    QPointer<UIActivityIndicatorView> activityIndicator_;

    std::shared_ptr<RunLoopTimer> hideTimer_;
    std::shared_ptr<RunLoopTimer> durationTimer_;
    std::vector<NotificationCenter::ObserverId> observers_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace lumora
