#pragma once

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/runloop/RunLoop.h"

namespace lumora {

class MainQueue;

// The run loop of one thread: posted tasks, run-loop timers and descriptor
// watchers, woken through an eventfd (and the wake-up hook, when one is set).
// The main run loop also drains the main dispatch queue at every turn.
class ThreadRunLoop final : public RunLoop {
public:
    ThreadRunLoop();
    ~ThreadRunLoop() override;

    // Wakes the main run loop when it exists (the main queue got work).
    static void wakeMain();
    static ThreadRunLoop* mainIfBound();

    void perform(Task task) override;
    void performAfterDelay(std::chrono::nanoseconds delay, Task task) override;
    void run() override;
    void runFor(std::chrono::nanoseconds duration) override;
    bool runUntil(const std::function<bool()>& predicate, std::chrono::nanoseconds timeout) override;
    void stop() override;
    size_t drainPending() override;
    void setWakeupHook(std::function<void()> hook) override;
    uint64_t addWatcher(int fd, short events, std::function<void(short revents)> callback) override;
    void removeWatcher(uint64_t id) override;
    Clock::time_point now() const override;
    Clock::time_point nextTimerDate() override;

    void wake();
    bool isOwnThread() const { return std::this_thread::get_id() == thread_; }
    void bindAsMain() { isMain_ = true; }

protected:
    void addTimer(const std::shared_ptr<RunLoopTimer>& timer) override;

private:
    struct Watcher {
        int fd;
        short events;
        std::shared_ptr<std::function<void(short)>> callback;
    };

    // One pass over due work; answers how many pieces ran. Stops early when
    // the predicate holds or stop() was called.
    size_t turn(const std::function<bool()>* predicate, bool* satisfied);
    // Runs until the deadline, the predicate or stop().
    bool runInternal(Clock::time_point deadline, const std::function<bool()>* predicate);
    // Waits in poll() for the wake-up descriptor, the watchers or the next timer.
    size_t waitAndDispatch(int64_t timeoutNs);  // -1: no limit

    std::thread::id thread_;
    bool isMain_ = false;
    int wakeFd_ = -1;
    std::atomic<bool> stopRequested_{false};

    std::mutex mutex_;
    std::deque<Task> posted_;
    std::vector<std::shared_ptr<RunLoopTimer>> timers_;  // guarded by mutex_
    std::map<uint64_t, Watcher> watchers_;
    uint64_t nextWatcherId_ = 1;
    std::shared_ptr<std::function<void()>> hook_;
};

}  // namespace lumora
