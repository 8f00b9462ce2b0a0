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

}  // namespace lumora
