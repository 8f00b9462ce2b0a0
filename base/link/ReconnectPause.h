#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <random>

namespace lumora {

// The numbers of a reconnect pause series, in deployment time (scaled by
// Config timeScale when used).
struct ReconnectPolicy {
    std::chrono::milliseconds first{100};   // pause before the first repeat
    double growth = 2.0;                    // each further pause, times this
    std::chrono::milliseconds cap{5000};    // no pause is longer
    double jitter = 0.25;                   // each pause varies by up to this fraction either way
    std::chrono::milliseconds stableAfter{10000};  // a link up this long starts the series again
};

// Spaces repeated attempts on one link: the first repeat comes after a short
// pause, each one after that waits longer (with some randomness, so many
// clients that lost the same device do not come back in step), up to a cap.
// A link that stayed up for a while starts the series again, so a briefly
// absent device is back within moments while a failing one is not hammered.
// Thread-safe.
class ReconnectPause {
public:
    using Clock = std::chrono::steady_clock;

    explicit ReconnectPause(ReconnectPolicy policy = {}, std::function<Clock::time_point()> now = Clock::now);

    // A link stood up now.
    void linkUp();
    // The pause to wait before the next attempt (scaled); counts the attempt.
    std::chrono::nanoseconds next();
    // Starts the series again (a new view, a stop).
    void reset();
    // Attempts counted since the series started.
    int attempts() const;
    const ReconnectPolicy& policy() const { return policy_; }

private:
    const ReconnectPolicy policy_;
    const std::function<Clock::time_point()> now_;
    mutable std::mutex mutex_;
    int attempts_ = 0;
    std::optional<Clock::time_point> upSince_;
    std::mt19937 random_;
};

// The numbers of the attempts made for a view whose device stays away after
// the quick restarts were spent, in deployment time (scaled by Config
// timeScale when used).
struct KeepTryingPolicy {
    std::chrono::milliseconds first{1000};   // pause before the first attempt
    double growth = 2.0;                     // each further pause, times this
    std::chrono::milliseconds cap{6000};     // no pause of the first stretch is longer
    double jitter = 0.25;                    // each pause varies by up to this fraction either way
    std::chrono::milliseconds patientAfter{60000};  // away this long: the slow pace below
    std::chrono::milliseconds slowLeast{15000};     // the slow pace: a pause between these two
    std::chrono::milliseconds slowMost{30000};
};

// Paces the attempts to get a view back while its device stays away (a
// camera that reboots, a network that is down): 1, 2, 4 s, then every 6 s
// for the first minute, then every 15 to 30 s, each pause jittered so that
// the panes that lost the same device do not come back in step. A device
// back within the first minute is seen again within one short pause; one
// that stays away costs a handful of connection attempts a minute.
// Thread-safe.
class KeepTryingPause {
public:
    using Clock = std::chrono::steady_clock;

    explicit KeepTryingPause(KeepTryingPolicy policy = {}, std::function<Clock::time_point()> now = Clock::now);

    // The device went away now: the series starts.
    void begin();
    // The pause to wait before the next attempt (scaled); counts the attempt.
    std::chrono::nanoseconds next();
    void reset();
    int attempts() const;
    const KeepTryingPolicy& policy() const { return policy_; }

private:
    const KeepTryingPolicy policy_;
    const std::function<Clock::time_point()> now_;
    mutable std::mutex mutex_;
    int attempts_ = 0;
    Clock::time_point since_{};
    std::mt19937 random_;
};

}  // namespace lumora
