#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/utilities/MoviePlayerEngine.h"
#include "base/utilities/QvGLView.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/RunLoop.h"

namespace lumora {

enum MPMoviePlaybackState {
    MPMoviePlaybackStateStopped = 0,
    MPMoviePlaybackStatePlaying = 1,
    MPMoviePlaybackStatePaused = 2,
    MPMoviePlaybackStateInterrupted = 3,
    MPMoviePlaybackStateSeekingForward = 4,
    MPMoviePlaybackStateSeekingBackward = 5,
};

// Bits.
enum MPMovieLoadState {
    MPMovieLoadStateUnknown = 0,
    MPMovieLoadStatePlayable = 1 << 0,
    MPMovieLoadStatePlaythroughOK = 1 << 1,
    MPMovieLoadStateStalled = 1 << 2,
};

enum MPMovieScalingMode {
    MPMovieScalingModeNone = 0,
    MPMovieScalingModeAspectFit = 1,
    MPMovieScalingModeAspectFill = 2,
    MPMovieScalingModeFill = 3,
};

enum MPMovieControlStyle {
    MPMovieControlStyleNone = 0,
    MPMovieControlStyleEmbedded = 1,
    MPMovieControlStyleFullscreen = 2,
    MPMovieControlStyleDefault = 3,
};

enum MPMovieFinishReason {
    MPMovieFinishReasonPlaybackEnded = 0,
    MPMovieFinishReasonPlaybackError = 1,
    MPMovieFinishReasonUserExited = 2,
};

// Notifications, posted on the default centre on the main thread with the
// player as object.
inline constexpr const char* MPMoviePlayerLoadStateDidChangeNotification =
    "MPMoviePlayerLoadStateDidChangeNotification";
inline constexpr const char* MPMoviePlayerPlaybackStateDidChangeNotification =
    "MPMoviePlayerPlaybackStateDidChangeNotification";
inline constexpr const char* MPMoviePlayerPlaybackDidFinishNotification = "MPMoviePlayerPlaybackDidFinishNotification";
inline constexpr const char* MPMovieDurationAvailableNotification = "MPMovieDurationAvailableNotification";
// In the did-finish notification's user info (a PropertyList dictionary):
// the reason (integer, MPMovieFinishReason) and, after a playback error, the
// error's description (string).
inline constexpr const char* MPMoviePlayerPlaybackDidFinishReasonUserInfoKey =
    "MPMoviePlayerPlaybackDidFinishReasonUserInfoKey";
inline constexpr const char* MPMoviePlayerPlaybackDidFinishErrorUserInfoKey = "error";

// The movie player: plays one movie at a time into its video view.
//
// Content: a URL. Only local files ("file://" URLs) play; the player opens
// them when asked to prepare or play, reads their duration and first
// picture, and reports the load state playable and play-through-OK. Any
// other URL is never loaded: its load state stays unknown (0), so a
// caller's network time-out can be seen.
//
// Pacing: a run-loop timer on the run loop the player was made on ticks
// once per picture interval of the movie (scaled by Config::timeScale). Each
// tick moves the playback time on by one interval times the rate and shows
// the picture for the new time. Pictures are decoded on the player's serial
// queue ("com.lumora.movieplayer"); while one is still being decoded the
// clock waits, so what is shown depends on the ticks alone, never on how
// fast the machine decodes: at rate 1 every picture of the movie is shown
// once, in order.
//
// Rate: play() plays at 1, pause() sets 0. Setting the rate plays at it:
// above 1 the state is seeking forward (4), below 0 seeking backward (5),
// otherwise playing (1); 0 pauses. Seeking backward that reaches the start
// plays on from there at rate 1.
//
// Order of events when a file is played: load state changed (3), duration
// available, playback state changed (1), then pictures; at the end playback
// state changed (0) and did finish with reason 0. A file that does not open
// or decode ends with did finish, reason 1, and the error's description.
//
// Threads: main thread only (the run loop it was made on); notifications
// come there.
class MPMoviePlayerController {
public:
    static constexpr const char* kQueueLabel = "com.lumora.movieplayer";

    // A player whose view has the frame, drawing on `renderThread` (null:
    // a shared render thread), with pictures from engines the factory makes
    // (empty: the FFmpeg engine).
    explicit MPMoviePlayerController(const Rect& frame = Rect{}, std::shared_ptr<RenderThread> renderThread = nullptr,
                                     MoviePlayerEngineFactory engines = {});
    virtual ~MPMoviePlayerController();
    MPMoviePlayerController(const MPMoviePlayerController&) = delete;
    MPMoviePlayerController& operator=(const MPMoviePlayerController&) = delete;

    QvGLView& view() { return *view_; }

    // "file://" followed by the path, with characters outside the URL's
    // plain set percent-encoded.
    static std::string fileURL(const std::string& path);
    // The scheme of a URL in lower case ("file", "http"); empty without one.
    static std::string urlScheme(const std::string& url);
    // The local path of a "file://" URL; empty for any other URL.
    static std::string filePath(const std::string& url);

    const std::string& contentURL() const { return contentURL_; }
    // Stops what played and forgets it (load state 0, duration 0).
    void setContentURL(const std::string& url);

    void prepareToPlay();
    bool isPreparedToPlay() const { return (loadState_ & MPMovieLoadStatePlayable) != 0; }
    void play();
    void pause();
    void stop();

    int playbackState() const { return playbackState_; }
    int loadState() const { return loadState_; }
    // Seconds; 0 until known.
    double duration() const { return duration_; }
    // Picture size; 0 x 0 until known.
    int naturalWidth() const { return info_.width; }
    int naturalHeight() const { return info_.height; }

    double currentPlaybackTime() const { return currentTime_; }
    // Moves to the time (kept within 0 and the duration) and shows its
    // picture, playing or not.
    void setCurrentPlaybackTime(double seconds);
    double currentPlaybackRate() const { return rate_; }
    void setCurrentPlaybackRate(double rate);

    int scalingMode() const { return scalingMode_; }
    // Redraws the shown picture in the new mode.
    void setScalingMode(int mode);
    int controlStyle() const { return controlStyle_; }
    void setControlStyle(int style) { controlStyle_ = style; }

    // Screen tests with a fake engine: the engine is called on the main
    // thread itself instead of the player's queue (its answers still come
    // as main-queue tasks), so driving the run loop alone plays the movie.
    void setEngineRunsOnMainThread(bool onMain) { engineOnMain_ = onMain; }

    // Called on the main thread with every picture handed to the view.
    void setPictureHandler(std::function<void(const MoviePicture&)> handler) { pictureHandler_ = std::move(handler); }
    // The picture shown last (none before the first).
    const std::optional<MoviePicture>& shownPicture() const { return shown_; }

private:
    struct Engine;

    void onEngineQueue(std::function<void()> work);
    void load();
    void loaded(uint64_t generation, bool ok, MovieInfo info, std::string error);
    void beginPlaying();
    void setPlaybackState(int state);
    void setLoadState(int state);
    void startTimer();
    void stopTimer();
    void tick();
    void request(double time);
    void pictureArrived(uint64_t generation, uint64_t sequence, double time, bool ok, MoviePicture picture,
                        std::string error);
    void show(MoviePicture picture, double requestedFor);
    void draw(const MoviePicture& picture);
    void finish(int reason, const std::string& error);
    int stateForRate(double rate) const;

    std::unique_ptr<QvGLView> view_;
    MoviePlayerEngineFactory engines_;
    DispatchQueuePtr queue_;
    bool engineOnMain_ = false;
    std::shared_ptr<Engine> engine_;  // made when a file loads
    RunLoop* loop_;
    std::shared_ptr<RunLoopTimer> timer_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    std::string contentURL_;
    uint64_t generation_ = 0;  // advanced by every new content and stop
    bool loading_ = false;
    bool playRequested_ = false;
    int playbackState_ = MPMoviePlaybackStateStopped;
    int loadState_ = MPMovieLoadStateUnknown;
    double duration_ = 0;
    MovieInfo info_;
    double currentTime_ = 0;
    double rate_ = 0;
    int scalingMode_ = MPMovieScalingModeAspectFit;
    int controlStyle_ = MPMovieControlStyleDefault;

    bool inFlight_ = false;
    uint64_t sequence_ = 0;           // of the last request
    uint64_t discardUpTo_ = 0;        // results of requests up to this one are not shown (seek, stop)
    std::optional<double> seekTime_;  // a seek waiting for the request in flight
    std::optional<MoviePicture> shown_;
    double shownFor_ = 0;             // the playback time the shown picture was asked for
    std::function<void(const MoviePicture&)> pictureHandler_;
};

}  // namespace lumora
