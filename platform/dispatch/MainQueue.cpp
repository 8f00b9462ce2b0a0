#include "platform/dispatch/MainQueue.h"

#include <cstdio>

#include "platform/dispatch/QueueContext.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/ThreadRunLoop.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/dispatch/WorkerPool.h"
#include "platform/Log.h"

namespace lumora {

void MainQueue::async(DispatchTask task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    ThreadRunLoop::wakeMain();
}

void MainQueue::sync(const DispatchTask& task) {
    if (RunLoop::isMainThread() || QueueContext::holds(this)) {
        QueueContext::Frame frame(this);
        if (task) task();
        return;
    }
    syncThroughAsync(*this, task);
}

void MainQueue::suspend() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++suspendCount_;
}

void MainQueue::resume() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (suspendCount_ == 0) {
            Log::warn("DispatchQueue", "%s: resume() without suspend() ignored", label().c_str());
            return;
        }
        --suspendCount_;
    }
    ThreadRunLoop::wakeMain();
}

size_t MainQueue::drain(size_t max) {
    size_t ran = 0;
    QueueContext::Frame frame(this);
    while (ran < max) {
        DispatchTask task;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (suspendCount_ > 0 || tasks_.empty()) break;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        runTaskGuarded(task, *this);
        ++ran;
    }
    return ran;
}

bool MainQueue::hasRunnableWork() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return suspendCount_ == 0 && !tasks_.empty();
}

size_t MainQueue::queuedCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return tasks_.size();
}

void GlobalQueue::async(DispatchTask task) {
    auto self = shared_from_this();
    WorkerPool::shared().submit([self, task = std::move(task)] {
        QueueContext::Frame frame(self.get());
        runTaskGuarded(task, *self);
    });
}

void GlobalQueue::sync(const DispatchTask& task) {
    QueueContext::Frame frame(this);
    if (task) task();
}

}  // namespace lumora
