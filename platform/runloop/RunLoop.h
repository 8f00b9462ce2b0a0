#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace lumora {

class RunLoopTimer;

// A thread's event loop: runs posted work, fires run-loop timers and calls
// descriptor watchers, all on its own thread. Every thread may have one
// (current()); the main run loop also drains the main dispatch queue.
//
// The main run loop belongs to the thread that first calls RunLoop::main()
// (the process entry does so first thing). A GUI toolkit can drive it
// instead of run(): install a wake-up hook, and call drainPending() from the
// toolkit's loop whenever the hook fired.
class RunLoop {
public:
    using Task = std::function<void()>;
    using Clock = std::chrono::steady_clock;

    virtual ~RunLoop() = default;

    static RunLoop& main();
    static RunLoop& current();
    // True on the main run loop's thread.
    static bool isMainThread();

    // Runs the task on this loop's thread at its next turn. Thread-safe.
    virtual void perform(Task task) = 0;
    // Runs the task once on this loop after the delay (performSelector:afterDelay:).
    virtual void performAfterDelay(std::chrono::nanoseconds delay, Task task) = 0;

    // Runs until stop(). Must be called on this loop's thread.
    virtual void run() = 0;
    // Runs until the time has passed or stop() was called.
    virtual void runFor(std::chrono::nanoseconds duration) = 0;
    // Runs until the predicate holds (checked after every piece of work, and
    // every few milliseconds while idle, so it may watch other threads) or
    // the time-out passed; answers the predicate's last value.
    virtual bool runUntil(const std::function<bool()>& predicate, std::chrono::nanoseconds timeout) = 0;
    // Makes run()/runFor()/runUntil() return after the current piece of work.
    virtual void stop() = 0;

    // Runs everything that is due now without waiting; answers how many
    // pieces of work ran. For a GUI event loop that drives this loop.
    virtual size_t drainPending() = 0;

    // Called from any thread whenever work is added to this loop while its
    // thread may be asleep. The default wakes the loop's own poll.
    virtual void setWakeupHook(std::function<void()> hook) = 0;

    // This loop's clock: what its timers are measured against. The main run
    // loop may run on a virtual clock (tests): it then stands still until
    // advanceVirtualClock() moves it, and only the main loop's timers follow it.
    virtual Clock::time_point now() const = 0;
    // The earliest fire date of this loop's valid timers (max(): none).
    virtual Clock::time_point nextTimerDate() = 0;

    // Puts the main run loop on a virtual clock that starts at the present
    // real time and stands still; false goes back to the real clock.
    static void setVirtualClock(bool enabled);
    static bool usesVirtualClock();
    // Moves the virtual clock forward (nothing on the real clock). Timers
    // that become due fire at the main loop's next turn.
    static void advanceVirtualClock(std::chrono::nanoseconds by);

    // Descriptor watchers (poll events POLLIN/POLLOUT...): the callback runs
    // on this loop with the returned events while the descriptor is ready.
    virtual uint64_t addWatcher(int fd, short events, std::function<void(short revents)> callback) = 0;
    virtual void removeWatcher(uint64_t id) = 0;

protected:
    friend class RunLoopTimer;
    virtual void addTimer(const std::shared_ptr<RunLoopTimer>& timer) = 0;
};

// A run-loop timer (NSTimer-like): fires on the run loop it was scheduled on,
// once or repeatedly, until invalidated. Invalidate it on its own loop's
// thread; after invalidate() it never fires again.
class RunLoopTimer : public std::enable_shared_from_this<RunLoopTimer> {
public:
    using Callback = std::function<void(RunLoopTimer&)>;

    static std::shared_ptr<RunLoopTimer> scheduled(RunLoop& loop, std::chrono::nanoseconds interval,
                                                   bool repeats, Callback callback);

    void invalidate();
    bool isValid() const;
    // Fires now, outside the schedule; a one-shot timer is invalidated by it.
    void fire();

    std::chrono::nanoseconds interval() const { return interval_; }
    bool repeats() const { return repeats_; }
    RunLoop::Clock::time_point fireDate() const { return fireDate_; }

    // Used by run loops.
    void setFireDate(RunLoop::Clock::time_point t) { fireDate_ = t; }
    void fireFromLoop();

private:
    RunLoopTimer(std::chrono::nanoseconds interval, bool repeats, Callback callback);
    std::chrono::nanoseconds interval_;
    bool repeats_;
    Callback callback_;
    RunLoop::Clock::time_point fireDate_{};
    std::atomic<bool> valid_{true};
};

}  // namespace lumora
