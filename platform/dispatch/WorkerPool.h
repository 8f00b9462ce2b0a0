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
// - Invariant, kept under the lock: while a job is queued, at least one
//   worker is free. submit() starts a thread when it queues a job and no
//   worker is free; a worker that takes a job and leaves jobs behind with no
//   free worker starts one too. So the pool grows exactly when every worker
//   is busy, and a burst of short tasks needs only as many threads as run at
//   once (not one per queued task).
// - A free worker that has waited keepAlive() without work exits, as long as
//   more than minIdle() free workers remain (and only when no job is queued,
//   so the invariant holds).
//
// Why it cannot starve or dead-lock when many queues block at once: a serial
// queue occupies at most one worker at a time (it submits one drain job and
// submits the next only after that one ended), and a blocked task occupies
// exactly its own worker. Any queue with work has a job in the FIFO. By the
// invariant a free worker exists while that job waits, and a free worker
// takes the oldest job at once, without waiting for any running job to
// return; taking a job never blocks. So every queued job is taken after the
// jobs ahead of it were taken, whatever the running ones do: 64 queues
// blocked in a task hold 64 workers, and a 65th queue gets a 65th. The only
// bound is maxThreads() (far above what the system uses); at that bound jobs
// wait for a worker instead of failing, and the pool says so once on
// standard output. (tests/platform/dispatch/WorkerPoolTest.cpp:
// BlockedQueuesDoNotStarveOthers, BlockedGlobalTasksDoNotStarveSerialQueues.)
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
    void ensureFreeWorkerLocked();

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Job> jobs_;
    size_t threads_ = 0;
    size_t busy_ = 0;
    bool warnedCap_ = false;
    std::atomic<int64_t> keepAliveMs_{10000};
};

}  // namespace lumora
