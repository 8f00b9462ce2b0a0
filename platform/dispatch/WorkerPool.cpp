#include "platform/dispatch/WorkerPool.h"
#include "platform/Log.h"

#include <cstdio>
#include <exception>
#include <system_error>
#include <thread>

namespace lumora {

WorkerPool& WorkerPool::shared() {
    // Never destroyed: workers may still run while the process exits.
    static WorkerPool* pool = new WorkerPool;
    return *pool;
}

void WorkerPool::submit(Job job) {
    std::unique_lock<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(job));
    ensureFreeWorkerLocked();
    lock.unlock();
    cv_.notify_one();
}

void WorkerPool::ensureFreeWorkerLocked() {
    if (jobs_.empty() || threads_ > busy_) return;
    if (!startThreadLocked() && !warnedCap_) {
        warnedCap_ = true;
        Log::warn("WorkerPool", "cannot start another worker (%zu running); jobs wait", threads_);
    }
}

bool WorkerPool::startThreadLocked() {
    if (threads_ >= maxThreads()) return false;
    try {
        std::thread(&WorkerPool::workerLoop, this).detach();
    } catch (const std::system_error&) {
        return false;
    }
    ++threads_;
    return true;
}

size_t WorkerPool::threadCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return threads_;
}

size_t WorkerPool::busyCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return busy_;
}

void WorkerPool::workerLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (jobs_.empty()) {
            bool woke = cv_.wait_for(lock, keepAlive(), [this] { return !jobs_.empty(); });
            if (!woke) {
                if (threads_ - busy_ > minIdle()) {
                    --threads_;
                    return;
                }
                continue;
            }
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        ++busy_;
        bool more = !jobs_.empty();
        if (more) ensureFreeWorkerLocked();
        lock.unlock();
        if (more) cv_.notify_one();
        try {
            job();
        } catch (const std::exception& e) {
            Log::error("WorkerPool", "task ended by exception: %s", e.what());
        } catch (...) {
            Log::error("WorkerPool", "task ended by an unknown exception");
        }
        job = nullptr;  // release captures outside the lock
        lock.lock();
        --busy_;
    }
}

}  // namespace lumora
