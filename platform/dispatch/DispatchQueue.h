#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace lumora {

class DispatchQueue;
using DispatchQueuePtr = std::shared_ptr<DispatchQueue>;
using DispatchTask = std::function<void()>;

// Dispatch queues: the system's only way of running work off the calling
// thread.
//
// - Serial queues run one task at a time, in submission order. They own no
//   thread: when a serial queue has work it borrows a worker of the shared
//   pool (see WorkerPool.h), which grows whenever every worker is busy, so a
//   task that blocks for a long time (a UDT receive loop, a blocking connect,
//   a LAN search) never starves other queues.
// - The global queue is concurrent: every task it is given may run at once
//   on its own pool worker.
// - The main queue's tasks run on the main run loop (RunLoop::main()).
//
// A queue stays alive while tasks for it are pending, even when its creator
// has dropped it.
class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
public:
    virtual ~DispatchQueue() = default;

    // A new serial queue. The label is for diagnostics ("com.lumora.socket").
    static DispatchQueuePtr createSerial(std::string label);
    // The process's main queue, drained by RunLoop::main().
    static DispatchQueuePtr main();
    // The global default-priority concurrent queue.
    static DispatchQueuePtr global();

    const std::string& label() const { return label_; }

    // Runs the task later on this queue. Never blocks.
    virtual void async(DispatchTask task) = 0;

    // Runs the task on this queue and waits for it. When the caller already
    // runs on this queue (or on a queue that targets it) the task runs inline
    // at once instead of dead-locking.
    virtual void sync(const DispatchTask& task) = 0;

    // Runs the task on this queue once the delay has passed.
    void after(std::chrono::nanoseconds delay, DispatchTask task);

    // Counted suspension: tasks are not started while the count is above 0.
    // A task that already runs finishes. Not for the main or global queue.
    virtual void suspend() = 0;
    virtual void resume() = 0;

    // Serial queues only, before the first task is submitted: tasks of this
    // queue then run inside the target's serial context, so isCurrent() and
    // getSpecific() see both queues.
    virtual void setTarget(DispatchQueuePtr target) = 0;
    virtual DispatchQueuePtr target() const = 0;

    // True when the calling code runs on this queue, or on a queue whose
    // target chain leads to this queue.
    bool isCurrent() const;

    // The innermost queue the calling thread runs a task of; nullptr on a
    // thread that runs none (the main thread outside main-queue tasks counts
    // as the main queue).
    static DispatchQueue* current();

    // Queue-specific values, as keyed by the address of any static object.
    // The context is not owned.
    void setSpecific(const void* key, void* context);
    void* specific(const void* key) const;
    // Looks the key up on the current queue, then along its target chain.
    // nullptr when no queue in the chain has the key.
    static void* getSpecific(const void* key);

protected:
    explicit DispatchQueue(std::string label) : label_(std::move(label)) {}

private:
    std::string label_;
    mutable std::mutex specificMutex_;
    std::map<const void*, void*> specifics_;
};

}  // namespace lumora
