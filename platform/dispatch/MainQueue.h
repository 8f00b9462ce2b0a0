#pragma once

#include <deque>
#include <mutex>

#include "platform/dispatch/DispatchQueue.h"

namespace lumora {

// The main queue: its tasks run on the main run loop's thread, which drains
// them at every turn (RunLoop::main()). Tasks given before the main run loop
// exists wait for it.
class MainQueue final : public DispatchQueue {
public:
    MainQueue() : DispatchQueue("com.lumora.main-thread") {}

    void async(DispatchTask task) override;
    void sync(const DispatchTask& task) override;
    void suspend() override;
    void resume() override;
    void setTarget(DispatchQueuePtr) override {}
    DispatchQueuePtr target() const override { return nullptr; }

    // Main run loop only: runs at most `max` queued tasks; answers how many ran.
    size_t drain(size_t max);
    bool hasRunnableWork() const;
    size_t queuedCount() const;

private:
    mutable std::mutex mutex_;
    std::deque<DispatchTask> tasks_;
    int suspendCount_ = 0;
};

// The global concurrent queue: every task on its own pool worker; sync runs
// the task on the calling thread.
class GlobalQueue final : public DispatchQueue {
public:
    GlobalQueue() : DispatchQueue("com.lumora.global.default") {}

    void async(DispatchTask task) override;
    void sync(const DispatchTask& task) override;
    void suspend() override {}
    void resume() override {}
    void setTarget(DispatchQueuePtr) override {}
    DispatchQueuePtr target() const override { return nullptr; }
};

}  // namespace lumora
