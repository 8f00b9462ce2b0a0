#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/utilities/MPMoviePlayerController.h"
#include "platform/dispatch/NotificationCenter.h"
#include "ui/kit/UIGeometry.h"
#include "ui/kit/UIImageView.h"
#include "ui/kit/UIInterfaceOrientation.h"

namespace lumora {

class ALMoviePlayerControls;
class RunLoopTimer;

// Posted (object nil) whenever the player takes a new content URL.
inline constexpr const char* ALMoviePlayerContentURLDidChangeNotification =
    "ALMoviePlayerContentURLDidChangeNotification";
// The player's own full-screen transitions (object nil).
inline constexpr const char* MPMoviePlayerWillEnterFullscreenNotification =
    "MPMoviePlayerWillEnterFullscreenNotification";
inline constexpr const char* MPMoviePlayerDidEnterFullscreenNotification =
    "MPMoviePlayerDidEnterFullscreenNotification";
inline constexpr const char* MPMoviePlayerWillExitFullscreenNotification =
    "MPMoviePlayerWillExitFullscreenNotification";
inline constexpr const char* MPMoviePlayerDidExitFullscreenNotification = "MPMoviePlayerDidExitFullscreenNotification";

// A programming error in using the player (content before controls,
// content given at creation).
class ALMoviePlayerControllerException : public std::logic_error {
public:
    static constexpr const char* kName = "ALMoviePlayerController Exception";
    explicit ALMoviePlayerControllerException(const std::string& reason) : std::logic_error(reason) {}
    const char* name() const { return kName; }
};

class ALMoviePlayerControllerDelegate {
public:
    virtual ~ALMoviePlayerControllerDelegate() = default;
    // Leaving full screen: the player's view has faded out of the window;
    // put it back where it lives when not full screen.
    virtual void moviePlayerWillMoveFromWindow() = 0;
    // A network movie did not become playable within 20 s of play().
    virtual void movieTimedOut() {}
};

// The movie player with its own controls (ALMoviePlayerControls) instead of
// the engine's, a load time-out for network addresses and its own
// full-screen mode: the player's view is lifted into the key window over a
// black backdrop that follows the status bar's orientation.
//
// The toolkit turns the interface by resizing the window rather than
// rotating views: the backdrop keeps the rotation it would have as a number
// (movieBackgroundRotation) and takes the frame that rotated backdrop covers
// in the window's own coordinates.
//
// Main thread only.
class ALMoviePlayerController : public MPMoviePlayerController {
public:
    static constexpr double kLoadTimeout = 20.0;
    static constexpr double kFullscreenAnimation = 0.3;
    static constexpr CGFloat kBackdropOverhang = 20;

    explicit ALMoviePlayerController(const CGRect& frame = CGRectZero, MoviePlayerEngineFactory engines = {});
    ~ALMoviePlayerController() override;

    // Creation with a content URL is not supported: always throws.
    [[noreturn]] static void initWithContentURL(const std::string& url);

    // The player's view on screen (the decoded pictures, the controls over them).
    UIImageView* view() const { return view_.data(); }
    UIView* movieBackgroundView() const { return background_.data(); }
    // Radians the backdrop is turned by for the status bar's orientation.
    double movieBackgroundRotation() const { return backgroundRotation_; }

    ALMoviePlayerControllerDelegate* delegate() const { return delegate_; }
    void setDelegate(ALMoviePlayerControllerDelegate* delegate) { delegate_ = delegate; }

    ALMoviePlayerControls* controls() const;
    // Takes the controls over the whole view; the same controls again change nothing.
    void setControls(ALMoviePlayerControls* controls);

    // Needs controls: throws ALMoviePlayerControllerException without them.
    // Posts ALMoviePlayerContentURLDidChangeNotification, then plays.
    void setContentURL(const std::string& url);
    // Plays and, for a network movie whose load state is still unknown, arms
    // the 20 s load time-out.
    void play();
    void setFrame(const CGRect& frame);

    bool isFullscreen() const { return movieFullscreen_; }
    bool movieFullscreen() const { return movieFullscreen_; }
    void setFullscreen(bool fullscreen) { setFullscreen(fullscreen, false); }
    void setFullscreen(bool fullscreen, bool animated);

    CGFloat statusBarHeightInOrientation(UIInterfaceOrientation orientation) const;
    void rotateMoviePlayerForOrientation(UIInterfaceOrientation orientation, bool animated,
                                         std::function<void()> completion);

    // Notification handlers and the time-out (public for tests).
    void videoLoadStateChanged();
    void statusBarOrientationWillChange(const Notification& notification);
    void movieTimedOut();
    bool timeoutPending() const;

private:
    void observeLoadState(bool on);
    void observeOrientation(bool on);
    void cancelTimeout();

    QPointer<UIImageView> view_;
    QPointer<UIView> background_;
    QPointer<UIView> controls_;  // an ALMoviePlayerControls
    ALMoviePlayerControllerDelegate* delegate_ = nullptr;  // not owned
    bool movieFullscreen_ = false;
    double backgroundRotation_ = 0;
    std::shared_ptr<RunLoopTimer> timeout_;
    NotificationCenter::ObserverId loadObserver_ = 0;
    NotificationCenter::ObserverId orientationObserver_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace lumora
