#include "platform/dispatch/SerialQueue.h"

#include <condition_variable>
#include <cstdio>
#include <exception>

#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueContext.h"
#include "platform/runloop/RunLoop.h"
#include "platform/dispatch/WorkerPool.h"
#include "platform/Log.h"

namespace lumora {

void runTaskGuarded(const DispatchTask& task, const DispatchQueue& queue) {
    try {
        if (task) task();
    } catch (const std::exception& e) {
        Log::error("DispatchQueue", "%s: task ended by exception: %s", queue.label().c_str(), e.what());
    } catch (...) {
        Log::error("DispatchQueue", "%s: task ended by an unknown exception", queue.label().c_str());
    }
}

void syncThroughAsync(DispatchQueue& queue, const DispatchTask& task) {
    struct State {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        std::exception_ptr error;
    };
    auto state = std::make_shared<State>();
    std::vector<DispatchQueue*> lent = QueueContext::snapshot();
    // The main thread outside main-queue tasks counts as the main queue: a
    // task that syncs back onto it must not wait for the blocked main thread.
    if (RunLoop::isMainThread()) lent.push_back(DispatchQueue::main().get());
    const DispatchTask* taskPtr = &task;  // the caller waits, so it outlives the run
    queue.async([state, taskPtr, lent = std::move(lent)]() mutable {
        {
            QueueContext::Lent l(std::move(lent));
            try {
                if (*taskPtr) (*taskPtr)();
            } catch (...) {
                state->error = std::current_exception();
            }
        }
        std::lock_guard<std::mutex> lock(state->mutex);
        state->done = true;
        state->cv.notify_all();
    });
    std::unique_lock<std::mutex> lock(state->mutex);
    state->cv.wait(lock, [&] { return state->done; });
    if (state->error) std::rethrow_exception(state->error);
}

void SerialQueue::async(DispatchTask task) {
    std::unique_lock<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
    if (!scheduled_ && suspendCount_ == 0) {
        scheduled_ = true;
        DispatchQueuePtr target = target_;
        lock.unlock();
        submitDrain(std::move(target));
    }
}

void SerialQueue::submitDrain(DispatchQueuePtr target) {
    // Called without the lock (a target's async may wake a run loop and call
    // its hook); scheduled_ is set, so nobody else submits meanwhile.
    auto self = std::static_pointer_cast<SerialQueue>(shared_from_this());
    if (target) {
        target->async([self] { self->drain(); });
    } else {
        WorkerPool::shared().submit([self] { self->drain(); });
    }
}

void SerialQueue::drain() {
    QueueContext::Frame frame(this);
    for (int n = 0; n < kBatch; ++n) {
        DispatchTask task;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (suspendCount_ > 0 || tasks_.empty()) {
                scheduled_ = false;
                return;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        runTaskGuarded(task, *this);
    }
    finishInline();
}

void SerialQueue::finishInline() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (suspendCount_ == 0 && !tasks_.empty()) {
        DispatchQueuePtr target = target_;  // scheduled_ stays true
        lock.unlock();
        submitDrain(std::move(target));
    } else {
        scheduled_ = false;
    }
}

void SerialQueue::sync(const DispatchTask& task) {
    if (QueueContext::holds(this)) {
        QueueContext::Frame frame(this);
        if (task) task();
        return;
    }
    bool direct = false;
    bool runBacklog = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // The caller already holds the target's serial context (it runs on
        // the target, or on a queue targeting it): this queue's pending
        // drain sits behind the caller and cannot run before it returns.
        bool targetHeld = target_ && target_->isCurrent();
        // Only a serial target keeps this queue's drain from running elsewhere.
        bool targetSerial = dynamic_cast<SerialQueue*>(target_.get()) || dynamic_cast<MainQueue*>(target_.get());
        if (!scheduled_ && suspendCount_ == 0 && tasks_.empty() && (!target_ || targetHeld)) {
            // Idle: take the queue's serial context on the calling thread
            // instead of bothering a worker.
            scheduled_ = true;
            direct = true;
        } else if (targetHeld && targetSerial) {
            // Busy, but its drain waits for us: run its backlog and then the
            // task here, in order (waiting would dead-lock). The queued drain
            // later finds nothing to do.
            runBacklog = true;
        }
    }
    if (direct) {
        struct Release {
            SerialQueue* q;
            ~Release() { q->finishInline(); }
        } release{this};
        QueueContext::Frame frame(this);
        if (task) task();
        return;
    }
    if (runBacklog) {
        QueueContext::Frame frame(this);
        for (;;) {
            DispatchTask pending;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                // A suspended queue's backlog stays; only the caller's task
                // runs (the alternative is a dead-lock).
                if (suspendCount_ > 0 || tasks_.empty()) break;
                pending = std::move(tasks_.front());
                tasks_.pop_front();
            }
            runTaskGuarded(pending, *this);
        }
        if (task) task();
        return;
    }
    syncThroughAsync(*this, task);
}

void SerialQueue::suspend() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++suspendCount_;
}

void SerialQueue::resume() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (suspendCount_ == 0) {
        Log::warn("DispatchQueue", "%s: resume() without suspend() ignored", label().c_str());
        return;
    }
    if (--suspendCount_ == 0 && !scheduled_ && !tasks_.empty()) {
        scheduled_ = true;
        DispatchQueuePtr target = target_;
        lock.unlock();
        submitDrain(std::move(target));
    }
}

void SerialQueue::setTarget(DispatchQueuePtr target) {
    // A chain that leads back here would never run.
    for (DispatchQueuePtr q = target; q; q = q->target()) {
        if (q.get() == this) {
            Log::warn("DispatchQueue", "%s: target would form a cycle; ignored", label().c_str());
            return;
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    target_ = std::move(target);
}

DispatchQueuePtr SerialQueue::target() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return target_;
}

}  // namespace lumora
