#pragma once

#include <chrono>
#include <cstddef>

namespace lumora {

// When the waiting frames of a live view are decoded: as they arrive, while
// keeping pictures at least half a frame interval apart when frames come
// early, in a burst, and never letting lateness build up.
//
// The first waiting frame is decoded now when
// - it is the first frame of the stream;
// - more than maxBacklog frames wait (the backlog never grows beyond it);
// - its deadline has passed: frame n is due one interval after frame n - 1
//   was due, or after it was shown when that was earlier; deadlines missed
//   by more than the catch-up allowance are forgiven, so after a stall of
//   the device the frames due meanwhile follow at once, and a longer stall
//   does not leave a run of frames decoded back to back for ever;
// - or the picture before it was shown at least half an interval ago. So a
//   frame is never held up to the phase of the first frame (or of a timer):
//   a stream whose frames reach us a little earlier than the deadline
//   counted from its first frame is decoded as it arrives, and the deadline
//   moves to its frames. Frames that come closer together (a burst) are
//   still spread out, half an interval apart at least, and their deadlines
//   take over as soon as they are due.
//
// The decoder asks decodeNow() before each decode, tells decoded() after
// it, and looks again at wakeAt() while frames wait. Time comes from the
// caller, so the rule runs as well on a test's clock.
class LivePacing {
public:
    using Clock = std::chrono::steady_clock;

    // Starts a new stream: the next frame is decoded as it comes.
    void start(std::chrono::nanoseconds interval, std::chrono::nanoseconds catchUp, size_t maxBacklog);
    // No stream: decodeNow() answers true (nothing paces).
    void stop() { started_ = false; running_ = false; }
    bool running() const { return running_; }

    // Whether the first of `waiting` frames (at least 1) is decoded at `now`.
    bool decodeNow(Clock::time_point now, size_t waiting);
    // A frame was decoded at `now`.
    void decoded(Clock::time_point now);
    // When to look again while `waiting` frames (at least 1) wait.
    Clock::time_point wakeAt(size_t waiting) const;

    Clock::time_point nextDue() const { return due_; }
    std::chrono::nanoseconds interval() const { return interval_; }

private:
    std::chrono::nanoseconds interval_{0};
    std::chrono::nanoseconds catchUp_{0};
    size_t maxBacklog_ = 0;
    bool running_ = false;
    bool started_ = false;  // the stream's first frame was decoded
    Clock::time_point due_{};
    Clock::time_point shown_{};
};

}  // namespace lumora
