#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace lumora {

// The threads every dispatch queue borrows: serial queues hand it "drain me"
// jobs, the global queue hands it each task.
//
// Design
// - One FIFO of jobs, one lock, one condition variable. A worker is either
//   busy (running a job) or free (waiting for, or about to take, a job).
// - Invariant, kept by submit() under the lock: free workers >= queued jobs.
//   submit() starts a new thread whenever the job it adds would break it, so
//   a queued job always has a free worker that will take it; it never waits
//   for a busy worker to come back.
// - A free worker that has waited keepAlive() without work exits, as long as
//   more than minIdle() free workers remain (only when no job is queued, so
//   the invariant holds).
//
// Why it cannot starve or dead-lock when many queues block at once: a serial
// queue occupies at most one worker at a time (it submits one drain job and
// submits the next only after that one ended), and a blocked task occupies
// exactly its own worker. Every other queue with work has a job in the FIFO,
// and by the invariant a free worker for it. So the progress of a queue never
// depends on another queue's task returning: 64 queues blocked in a task use
// 64 workers, and a 65th queue gets a 65th. The only bound is maxThreads()
// (far above what the system uses); at that bound jobs wait for a worker
// instead of failing, and the pool says so once on standard output.
// (tests/platform/WorkerPoolTest.cpp: BlockedQueuesDoNotStarveOthers.)
class WorkerPool {
public:
    using Job = std::function<void()>;

    static WorkerPool& shared();

    // Queues the job; it runs on some worker soon. Never blocks for long.
    void submit(Job job);

    // Figures for tests and benchmarks.
    size_t threadCount() const;
    size_t busyCount() const;

    static constexpr size_t minIdle() { return 4; }
    static constexpr size_t maxThreads() { return 4096; }
    std::chrono::milliseconds keepAlive() const { return std::chrono::milliseconds(keepAliveMs_.load()); }
    // How long a free worker waits for work before it may exit (10 s).
    void setKeepAlive(std::chrono::milliseconds d) { keepAliveMs_.store(d.count()); }

    WorkerPool() = default;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

private:
    void workerLoop();
    bool startThreadLocked();

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Job> jobs_;
    size_t threads_ = 0;
    size_t busy_ = 0;
    bool warnedCap_ = false;
    std::atomic<int64_t> keepAliveMs_{10000};
};

}  // namespace lumora
