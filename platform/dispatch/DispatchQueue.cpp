#include "platform/dispatch/DispatchQueue.h"

#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueContext.h"
#include "platform/runloop/RunLoop.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/dispatch/TimerService.h"

namespace lumora {

DispatchQueuePtr DispatchQueue::createSerial(std::string label) {
    return std::make_shared<SerialQueue>(std::move(label));
}

DispatchQueuePtr DispatchQueue::main() {
    // Never destroyed: tasks may still be posted while the process exits.
    static DispatchQueuePtr* queue = new DispatchQueuePtr(std::make_shared<MainQueue>());
    return *queue;
}

DispatchQueuePtr DispatchQueue::global() {
    static DispatchQueuePtr* queue = new DispatchQueuePtr(std::make_shared<GlobalQueue>());
    return *queue;
}

void DispatchQueue::after(std::chrono::nanoseconds delay, DispatchTask task) {
    auto self = shared_from_this();
    if (delay.count() <= 0) {
        async(std::move(task));
        return;
    }
    // The main queue's delayed work waits on the main run loop's clock, so a
    // GUI on a virtual clock sees it fire when the clock moves.
    if (this == DispatchQueue::main().get() && RunLoop::usesVirtualClock()) {
        RunLoop::main().performAfterDelay(delay, [self, task = std::move(task)]() mutable { self->async(std::move(task)); });
        return;
    }
    auto now = TimerService::Clock::now();
    auto deadline = TimerService::Clock::time_point::max() - now <= delay
                        ? TimerService::Clock::time_point::max()
                        : now + std::chrono::duration_cast<TimerService::Clock::duration>(delay);
    TimerService::shared().schedule(deadline, std::chrono::nanoseconds(0),
                                    [self, task = std::move(task)]() mutable { self->async(std::move(task)); });
}

bool DispatchQueue::isCurrent() const {
    if (QueueContext::holds(this)) return true;
    return this == main().get() && RunLoop::isMainThread();
}

DispatchQueue* DispatchQueue::current() {
    if (DispatchQueue* q = QueueContext::innermost()) return q;
    return RunLoop::isMainThread() ? main().get() : nullptr;
}

void DispatchQueue::setSpecific(const void* key, void* context) {
    std::lock_guard<std::mutex> lock(specificMutex_);
    if (context) {
        specifics_[key] = context;
    } else {
        specifics_.erase(key);
    }
}

void* DispatchQueue::specific(const void* key) const {
    std::lock_guard<std::mutex> lock(specificMutex_);
    auto it = specifics_.find(key);
    return it == specifics_.end() ? nullptr : it->second;
}

void* DispatchQueue::getSpecific(const void* key) {
    DispatchQueue* q = current();
    if (!q) return nullptr;
    if (void* v = q->specific(key)) return v;
    for (DispatchQueuePtr t = q->target(); t; t = t->target()) {
        if (void* v = t->specific(key)) return v;
    }
    return nullptr;
}

}  // namespace lumora
