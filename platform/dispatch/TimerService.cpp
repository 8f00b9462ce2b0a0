#include "platform/dispatch/TimerService.h"
#include "platform/Log.h"

#include <cstdio>
#include <exception>
#include <thread>
#include <vector>

namespace lumora {

TimerService& TimerService::shared() {
    // Never destroyed: its thread runs until the process exits.
    static TimerService* service = new TimerService;
    return *service;
}

TimerService::TimerService() {
    std::thread(&TimerService::threadLoop, this).detach();
}

namespace {
TimerService::Clock::time_point addSaturated(TimerService::Clock::time_point t, std::chrono::nanoseconds d) {
    if (d.count() <= 0) return t;
    if (TimerService::Clock::time_point::max() - t < d) return TimerService::Clock::time_point::max();
    return t + std::chrono::duration_cast<TimerService::Clock::duration>(d);
}
}  // namespace

uint64_t TimerService::schedule(Clock::time_point deadline, std::chrono::nanoseconds leeway, Callback callback) {
    uint64_t id;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        id = nextId_++;
        entries_.emplace(id, Entry{deadline, addSaturated(deadline, leeway), std::move(callback)});
    }
    cv_.notify_one();
    return id;
}

bool TimerService::cancel(uint64_t id) {
    Callback dropped;
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(id);
    if (it == entries_.end()) return false;
    dropped = std::move(it->second.callback);
    entries_.erase(it);
    // The callback's captures are released after the lock (declared first).
    return true;
}

void TimerService::threadLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    std::vector<Callback> due;
    for (;;) {
        Clock::time_point wake = Clock::time_point::max();
        for (const auto& [id, e] : entries_) {
            if (e.latest < wake) wake = e.latest;
        }
        Clock::time_point now = Clock::now();
        if (wake > now) {
            if (wake == Clock::time_point::max()) {
                cv_.wait(lock);
            } else {
                cv_.wait_until(lock, wake);
            }
            continue;  // entries may have changed
        }
        // Fire everything whose deadline has passed, in id order (which is
        // the order they were scheduled in).
        for (auto it = entries_.begin(); it != entries_.end();) {
            if (it->second.deadline <= now) {
                due.push_back(std::move(it->second.callback));
                it = entries_.erase(it);
            } else {
                ++it;
            }
        }
        lock.unlock();
        for (auto& cb : due) {
            try {
                cb();
            } catch (const std::exception& e) {
                Log::error("TimerService", "callback ended by exception: %s", e.what());
            }
        }
        due.clear();
        lock.lock();
    }
}

}  // namespace lumora
