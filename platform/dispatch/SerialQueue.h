#pragma once

#include <deque>
#include <mutex>

#include "platform/dispatch/DispatchQueue.h"

namespace lumora {

// A serial queue: one task at a time, in order, on a borrowed pool worker
// (or inside its target queue's serial context when it has a target).
//
// While the queue has runnable work exactly one "drain" job for it exists
// (scheduled_), either queued in the pool / target or running. A drain runs
// a bounded batch of tasks and then hands the rest to a fresh job, so queues
// sharing a target take turns.
class SerialQueue final : public DispatchQueue {
public:
    explicit SerialQueue(std::string label) : DispatchQueue(std::move(label)) {}

    void async(DispatchTask task) override;
    void sync(const DispatchTask& task) override;
    void suspend() override;
    void resume() override;
    void setTarget(DispatchQueuePtr target) override;
    DispatchQueuePtr target() const override;

private:
    static constexpr int kBatch = 64;
    void submitDrain(DispatchQueuePtr target);
    void drain();
    void finishInline();

    mutable std::mutex mutex_;
    std::deque<DispatchTask> tasks_;
    int suspendCount_ = 0;
    bool scheduled_ = false;
    DispatchQueuePtr target_;
};

// Runs the task on the queue from a thread that does not hold it, and waits:
// the queues the caller holds are lent to the task, so a sync() back onto
// one of them from inside runs inline instead of dead-locking. Exceptions
// of the task are rethrown to the caller.
void syncThroughAsync(DispatchQueue& queue, const DispatchTask& task);

// Runs a task and reports (instead of propagating) an exception: a task that
// throws must not wedge its queue.
void runTaskGuarded(const DispatchTask& task, const DispatchQueue& queue);

}  // namespace lumora
