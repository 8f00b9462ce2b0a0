#include "base/decoder/LivePacing.h"

#include <algorithm>

namespace lumora {

void LivePacing::start(std::chrono::nanoseconds interval, std::chrono::nanoseconds catchUp, size_t maxBacklog) {
    interval_ = std::max(interval, std::chrono::nanoseconds(1));
    catchUp_ = std::max(catchUp, interval_);
    maxBacklog_ = maxBacklog;
    running_ = true;
    started_ = false;
    due_ = shown_ = Clock::time_point{};
}

bool LivePacing::decodeNow(Clock::time_point now, size_t waiting) {
    if (!running_ || !started_) return true;
    if (waiting > maxBacklog_) return true;
    if (now - due_ > catchUp_) due_ = now - std::chrono::duration_cast<Clock::duration>(catchUp_);
    if (now >= due_) return true;
    return now - shown_ >= interval_ / 2;
}

void LivePacing::decoded(Clock::time_point now) {
    if (!started_) {
        started_ = true;
        due_ = now;
    }
    due_ = std::min(due_ + interval_, now + interval_);
    shown_ = now;
}

LivePacing::Clock::time_point LivePacing::wakeAt(size_t waiting) const {
    if (!running_ || !started_ || waiting > maxBacklog_) return Clock::time_point{};
    return std::min(due_, shown_ + std::chrono::duration_cast<Clock::duration>(interval_ / 2));
}

}  // namespace lumora
