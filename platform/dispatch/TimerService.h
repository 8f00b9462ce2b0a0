#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace lumora {

// One thread that fires deadlines for the whole process: dispatch timer
// sources and DispatchQueue::after(). A fire callback runs on the service's
// thread and must only hand work on (queue an event, async a task); it must
// not block.
//
// Leeway: the service wakes at the earliest (deadline + leeway) of all
// entries and fires every entry whose deadline has passed by then, so timers
// with leeway share wake-ups, yet none fires before its deadline or after
// its deadline + leeway (scheduling delays of the machine aside).
class TimerService {
public:
    using Clock = std::chrono::steady_clock;
    using Callback = std::function<void()>;

    static TimerService& shared();

    // Answers an id for cancel(); never 0.
    uint64_t schedule(Clock::time_point deadline, std::chrono::nanoseconds leeway, Callback callback);
    // Drops the entry when it has not fired yet. Answers whether it dropped it.
    // A callback that already runs is not waited for.
    bool cancel(uint64_t id);

    TimerService();
    TimerService(const TimerService&) = delete;
    TimerService& operator=(const TimerService&) = delete;

private:
    struct Entry {
        Clock::time_point deadline;
        Clock::time_point latest;
        Callback callback;
    };
    void threadLoop();

    std::mutex mutex_;
    std::condition_variable cv_;
    // Ordered by id; the set is small (one entry per live timer), so the
    // wake-up time is found by a scan.
    std::map<uint64_t, Entry> entries_;
    uint64_t nextId_ = 1;
};

}  // namespace lumora
