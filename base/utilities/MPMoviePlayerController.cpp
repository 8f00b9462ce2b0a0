#include "base/utilities/MPMoviePlayerController.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "base/utilities/FFmpegMovieEngine.h"
#include "platform/Config.h"
#include "platform/Log.h"
#include "platform/dispatch/NotificationCenter.h"
#include "platform/storage/PropertyList.h"

namespace lumora {

namespace {

constexpr double kEpsilon = 1e-6;
constexpr auto kShortestTick = std::chrono::microseconds(100);

bool moving(int state) {
    return state == MPMoviePlaybackStatePlaying || state == MPMoviePlaybackStateSeekingForward ||
           state == MPMoviePlaybackStateSeekingBackward;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

struct MPMoviePlayerController::Engine {
    std::unique_ptr<MoviePlayerEngine> engine;
};

MPMoviePlayerController::MPMoviePlayerController(const Rect& frame, std::shared_ptr<RenderThread> renderThread,
                                                 MoviePlayerEngineFactory engines)
    : view_(std::make_unique<QvGLView>(frame, std::move(renderThread))),
      engines_(std::move(engines)),
      queue_(DispatchQueue::createSerial(kQueueLabel)),
      loop_(&RunLoop::current()) {
    if (!engines_) engines_ = [] { return std::make_unique<FFmpegMovieEngine>(); };
}

MPMoviePlayerController::~MPMoviePlayerController() {
    stopTimer();
    alive_.reset();
    if (engine_) onEngineQueue([e = std::move(engine_)] { e->engine->close(); });
}

// ---------------------------------------------------------------- URLs

std::string MPMoviePlayerController::fileURL(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::string_view("/-._~!$&'()*+,;=:@").find(static_cast<char>(c)) != std::string::npos) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

std::string MPMoviePlayerController::urlScheme(const std::string& url) {
    const size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0) return {};
    std::string scheme = url.substr(0, colon);
    for (char& c : scheme) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return {};
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return std::isalpha(static_cast<unsigned char>(scheme[0])) ? scheme : std::string();
}

std::string MPMoviePlayerController::filePath(const std::string& url) {
    if (urlScheme(url) != "file") return {};
    std::string rest = url.substr(5);  // after "file:"
    if (rest.rfind("//", 0) == 0) {
        rest = rest.substr(2);
        // An authority other than empty or "localhost" is not this machine.
        const size_t slash = rest.find('/');
        if (slash == std::string::npos) return {};
        const std::string host = rest.substr(0, slash);
        if (!host.empty() && host != "localhost") return {};
        rest = rest.substr(slash);
    }
    if (rest.empty() || rest[0] != '/') return {};
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && hexValue(rest[i + 1]) >= 0 && hexValue(rest[i + 2]) >= 0) {
            const char c = static_cast<char>(hexValue(rest[i + 1]) * 16 + hexValue(rest[i + 2]));
            if (c == '\0') return {};  // no path holds a NUL
            path += c;
            i += 2;
        } else {
            path += rest[i];
        }
    }
    return path;
}

// ---------------------------------------------------------------- state

void MPMoviePlayerController::setPlaybackState(int state) {
    if (state == playbackState_) return;
    playbackState_ = state;
    NotificationCenter::defaultCenter().post(MPMoviePlayerPlaybackStateDidChangeNotification, this);
}

void MPMoviePlayerController::setLoadState(int state) {
    if (state == loadState_) return;
    loadState_ = state;
    NotificationCenter::defaultCenter().post(MPMoviePlayerLoadStateDidChangeNotification, this);
}

int MPMoviePlayerController::stateForRate(double rate) const {
    if (rate > 1.0) return MPMoviePlaybackStateSeekingForward;
    if (rate < 0.0) return MPMoviePlaybackStateSeekingBackward;
    return MPMoviePlaybackStatePlaying;
}

void MPMoviePlayerController::setContentURL(const std::string& url) {
    stopTimer();
    ++generation_;
    inFlight_ = false;
    seekTime_.reset();
    loading_ = false;
    playRequested_ = false;
    if (engine_) onEngineQueue([e = std::move(engine_)] { e->engine->close(); });
    engine_.reset();
    contentURL_ = url;
    currentTime_ = 0;
    duration_ = 0;
    info_ = MovieInfo{};
    rate_ = 0;
    shown_.reset();
    view_->renderClear();
    setPlaybackState(MPMoviePlaybackStateStopped);
    setLoadState(MPMovieLoadStateUnknown);
}

// ---------------------------------------------------------------- loading

void MPMoviePlayerController::prepareToPlay() { load(); }

void MPMoviePlayerController::onEngineQueue(std::function<void()> work) {
    if (engineOnMain_)
        work();
    else
        queue_->async(std::move(work));
}

void MPMoviePlayerController::load() {
    if (loading_ || isPreparedToPlay()) return;
    const std::string path = filePath(contentURL_);
    if (path.empty()) return;  // not a local file: never loads
    loading_ = true;
    engine_ = std::make_shared<Engine>(Engine{engines_()});
    std::weak_ptr<bool> alive = alive_;
    onEngineQueue([this, alive, e = engine_, gen = generation_, path] {
        MovieInfo info;
        std::string error;
        const bool ok = e->engine && e->engine->open(path, info, error);
        if (!e->engine) error = "no movie engine";
        DispatchQueue::main()->async([this, alive, gen, ok, info, error] {
            if (alive.lock()) loaded(gen, ok, info, error);
        });
    });
}

void MPMoviePlayerController::loaded(uint64_t generation, bool ok, MovieInfo info, std::string error) {
    if (generation != generation_) return;
    loading_ = false;
    if (!ok || !(info.duration > 0) || !(info.frameDuration > 0)) {
        finish(MPMovieFinishReasonPlaybackError, ok ? "the movie has no length" : error);
        return;
    }
    info_ = info;
    duration_ = info.duration;
    currentTime_ = std::clamp(currentTime_, 0.0, duration_);
    setLoadState(MPMovieLoadStatePlayable | MPMovieLoadStatePlaythroughOK);
    NotificationCenter::defaultCenter().post(MPMovieDurationAvailableNotification, this);
    if (generation != generation_) return;  // an observer changed the content
    if (playRequested_)
        beginPlaying();
    else if (!inFlight_)
        request(currentTime_);  // a prepared player shows its first picture
}

// ---------------------------------------------------------------- playing

void MPMoviePlayerController::play() {
    if (contentURL_.empty()) return;
    playRequested_ = true;
    rate_ = 1.0;
    if (!isPreparedToPlay()) {
        load();
        return;
    }
    beginPlaying();
}

void MPMoviePlayerController::beginPlaying() {
    if (currentTime_ >= duration_ - kEpsilon) currentTime_ = 0;
    if (rate_ == 0) rate_ = 1.0;
    setPlaybackState(stateForRate(rate_));
    if (!moving(playbackState_)) return;  // an observer paused or stopped it
    startTimer();
    if (!inFlight_ && (!shown_ || std::fabs(shownFor_ - currentTime_) > kEpsilon)) request(currentTime_);
}

void MPMoviePlayerController::pause() {
    playRequested_ = false;
    if (!moving(playbackState_)) return;
    stopTimer();
    rate_ = 0;
    setPlaybackState(MPMoviePlaybackStatePaused);
}

void MPMoviePlayerController::stop() {
    playRequested_ = false;
    stopTimer();
    rate_ = 0;
    // A picture being decoded now is not shown.
    if (inFlight_) discardUpTo_ = sequence_;
    seekTime_.reset();
    currentTime_ = 0;
    setPlaybackState(MPMoviePlaybackStateStopped);
}

void MPMoviePlayerController::setCurrentPlaybackRate(double rate) {
    if (!std::isfinite(rate)) return;
    if (rate == 0) {
        pause();
        return;
    }
    rate_ = rate;
    if (!isPreparedToPlay()) {
        if (!contentURL_.empty()) {
            playRequested_ = true;
            load();
        }
        return;
    }
    if (moving(playbackState_))
        setPlaybackState(stateForRate(rate));
    else
        beginPlaying();
}

void MPMoviePlayerController::setCurrentPlaybackTime(double seconds) {
    if (!std::isfinite(seconds)) return;
    currentTime_ = std::max(0.0, seconds);
    if (!isPreparedToPlay()) return;  // taken as the start when the movie loads
    currentTime_ = std::min(currentTime_, duration_);
    if (inFlight_) {
        discardUpTo_ = sequence_;
        seekTime_ = currentTime_;
        return;
    }
    request(currentTime_);
}

void MPMoviePlayerController::setScalingMode(int mode) {
    if (mode == scalingMode_) return;
    scalingMode_ = mode;
    if (shown_) draw(*shown_);
}

// ---------------------------------------------------------------- the clock

void MPMoviePlayerController::startTimer() {
    if (timer_ && timer_->isValid()) return;
    const auto interval = std::max<std::chrono::nanoseconds>(
        Config::shared().scaled(std::chrono::duration<double>(info_.frameDuration)), kShortestTick);
    std::weak_ptr<bool> alive = alive_;
    timer_ = RunLoopTimer::scheduled(*loop_, interval, true, [this, alive](RunLoopTimer&) {
        if (alive.lock()) tick();
    });
}

void MPMoviePlayerController::stopTimer() {
    if (timer_) timer_->invalidate();
    timer_.reset();
}

void MPMoviePlayerController::tick() {
    // The clock waits while a picture is being decoded.
    if (!moving(playbackState_) || inFlight_) return;
    double next = currentTime_ + info_.frameDuration * rate_;
    if (rate_ > 0 && next >= duration_ - kEpsilon) {
        finish(MPMovieFinishReasonPlaybackEnded, {});
        return;
    }
    if (rate_ < 0 && next < 0) next = 0;
    request(next);
}

void MPMoviePlayerController::request(double time) {
    if (!engine_) return;
    inFlight_ = true;
    const uint64_t sequence = ++sequence_;
    std::weak_ptr<bool> alive = alive_;
    onEngineQueue([this, alive, e = engine_, gen = generation_, sequence, time] {
        MoviePicture picture;
        std::string error;
        const bool ok = e->engine->pictureAt(time, picture, error);
        DispatchQueue::main()->async(
            [this, alive, gen, sequence, time, ok, picture = std::move(picture), error]() mutable {
                if (alive.lock()) pictureArrived(gen, sequence, time, ok, std::move(picture), error);
            });
    });
}

void MPMoviePlayerController::pictureArrived(uint64_t generation, uint64_t sequence, double time, bool ok,
                                             MoviePicture picture, std::string error) {
    if (generation != generation_) return;
    inFlight_ = false;
    if (sequence <= discardUpTo_) {
        // Asked for before a seek or a stop: the seek's picture comes instead.
        if (seekTime_) {
            const double t = *seekTime_;
            seekTime_.reset();
            request(t);
        }
        return;
    }
    if (!ok) {
        finish(MPMovieFinishReasonPlaybackError, error);
        return;
    }
    currentTime_ = time;
    show(std::move(picture), time);
    if (playbackState_ == MPMoviePlaybackStateSeekingBackward && time <= 0) {
        // Back at the start: play on from there.
        rate_ = 1.0;
        setPlaybackState(MPMoviePlaybackStatePlaying);
    }
}

void MPMoviePlayerController::show(MoviePicture picture, double requestedFor) {
    shown_ = std::move(picture);
    shownFor_ = requestedFor;
    draw(*shown_);
    if (pictureHandler_) pictureHandler_(*shown_);
}

void MPMoviePlayerController::draw(const MoviePicture& p) {
    switch (scalingMode_) {
        case MPMovieScalingModeAspectFill:
            view_->renderAspectFill(p.yuv, p.width, p.height);
            break;
        case MPMovieScalingModeFill:
            view_->renderOnFullScreen(p.yuv, p.width, p.height);
            break;
        default:  // aspect fit; "none" too, as the picture's natural size is not kept by the view
            view_->render(p.yuv, p.width, p.height);
            break;
    }
}

void MPMoviePlayerController::finish(int reason, const std::string& error) {
    stopTimer();
    playRequested_ = false;
    rate_ = 0;
    if (reason == MPMovieFinishReasonPlaybackEnded) currentTime_ = duration_;
    if (!error.empty()) Log::warn("MPMoviePlayerController", "%s", error.c_str());
    setPlaybackState(MPMoviePlaybackStateStopped);
    PropertyList info = PropertyList::makeDictionary();
    info.set(MPMoviePlayerPlaybackDidFinishReasonUserInfoKey, PropertyList::makeInteger(reason));
    if (!error.empty()) info.set(MPMoviePlayerPlaybackDidFinishErrorUserInfoKey, PropertyList::makeString(error));
    NotificationCenter::defaultCenter().post(Notification{MPMoviePlayerPlaybackDidFinishNotification, this, info});
}

}  // namespace lumora
