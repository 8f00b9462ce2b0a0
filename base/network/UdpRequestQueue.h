#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "platform/runloop/RunLoop.h"

namespace lumora {

// One of AsyncUdpSocket's two queues (datagrams to send, receive requests):
// the requests waiting, the one being served and its time-out timer. A move
// to another run loop holds the timer's time left until the new loop sets it
// again. Served one at a time on the owner's run loop; nothing is locked.
template <typename Packet>
class UdpRequestQueue {
public:
    using PacketPtr = std::shared_ptr<Packet>;
    using Nanos = std::chrono::nanoseconds;

    // A request's time-out in seconds as a timer's delay.
    static Nanos fromSeconds(double seconds) {
        double ns = seconds * 1e9;
        if (ns >= 9.0e18) return Nanos(static_cast<int64_t>(9.0e18));
        if (!(ns > 0)) return Nanos(0);
        return Nanos(static_cast<int64_t>(ns));
    }

    void push(PacketPtr packet) { waiting_.push_back(std::move(packet)); }
    bool hasWaiting() const { return !waiting_.empty(); }
    // Nothing waiting and nothing being served.
    bool idle() const { return waiting_.empty() && !current_; }
    const PacketPtr& current() const { return current_; }
    // The first waiting request becomes the one served.
    const PacketPtr& takeNext() {
        current_ = waiting_.front();
        waiting_.pop_front();
        return current_;
    }
    void clearWaiting() { waiting_.clear(); }

    // onTimeout(packet) after `after` on the loop, unless the request ended
    // (and was freed) before.
    void startTimer(RunLoop& loop, Nanos after, std::function<void(const PacketPtr&)> onTimeout) {
        std::weak_ptr<Packet> packet = current_;
        timer_ = RunLoopTimer::scheduled(loop, after, false, [packet, onTimeout](RunLoopTimer&) {
            if (auto p = packet.lock()) onTimeout(p);
        });
    }
    bool hasTimer() const { return timer_ != nullptr; }
    // The request served is done: its timer goes with it.
    void endCurrent() {
        if (timer_) timer_->invalidate();
        timer_.reset();
        heldTimer_.reset();
        current_.reset();
    }

    // Off the old loop at a move: the timer keeps the time it had left. A
    // move before an earlier one was taken up carries that one's time on.
    void holdTimer(RunLoop::Clock::time_point now) {
        if (timer_ && timer_->isValid())
            heldTimer_ = std::max(Nanos(0), std::chrono::duration_cast<Nanos>(timer_->fireDate() - now));
        if (timer_) timer_->invalidate();
        timer_.reset();
    }
    std::optional<Nanos> takeHeldTimer() { return std::exchange(heldTimer_, std::nullopt); }

private:
    std::deque<PacketPtr> waiting_;
    PacketPtr current_;
    std::shared_ptr<RunLoopTimer> timer_;
    std::optional<Nanos> heldTimer_;
};

}  // namespace lumora
