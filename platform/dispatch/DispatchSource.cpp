#include "platform/dispatch/DispatchSource.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstdio>
#include <exception>
#include <mutex>

#include "platform/dispatch/Reactor.h"
#include "platform/dispatch/TimerService.h"
#include "platform/Log.h"

namespace lumora {

namespace {

using Clock = TimerService::Clock;
constexpr auto kMinTimerInterval = std::chrono::microseconds(100);

Clock::time_point addSaturated(Clock::time_point t, std::chrono::nanoseconds d) {
    if (d.count() <= 0) return t;
    if (Clock::time_point::max() - t <= d) return Clock::time_point::max();
    return t + std::chrono::duration_cast<Clock::duration>(d);
}

unsigned long readEstimate(int fd) {
    int n = 0;
    if (::ioctl(fd, FIONREAD, &n) == 0 && n >= 0) return static_cast<unsigned long>(n);
    return 1;
}

unsigned long writeEstimate(int fd) {
    int size = 0;
    socklen_t len = sizeof size;
    int queued = 0;
    if (::getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, &len) == 0) {
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0) queued = 0;
    } else {
        size = ::fcntl(fd, F_GETPIPE_SZ);
        if (size <= 0 || ::ioctl(fd, FIONREAD, &queued) != 0) return 1;
    }
    return size > queued ? static_cast<unsigned long>(size - queued) : 1;
}

// One class for the three kinds: the event/cancel/suspend rules are shared,
// only where events come from differs.
//
// State (under mutex_):
//   signaled_      an event arrived that no handler has seen yet
//   eventPending_  a handler run is queued or running (events coalesce)
//   armed_         fd sources: the reactor will report the next readiness
class SourceImpl final : public DispatchSource, public ReactorSink {
public:
    SourceImpl(Type type, int fd, DispatchQueuePtr queue) : type_(type), fd_(fd), queue_(std::move(queue)) {
        if (!queue_) queue_ = DispatchQueue::global();
    }

    Type type() const override { return type_; }
    int fd() const override { return fd_; }

    void setEventHandler(DispatchTask handler) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cancelled_) return;
        handler_ = handler ? std::make_shared<DispatchTask>(std::move(handler)) : nullptr;
    }

    void setCancelHandler(DispatchTask handler) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cancelDispatched_) return;
        cancelHandler_ = std::move(handler);
    }

    void setTimer(std::chrono::nanoseconds start, std::chrono::nanoseconds interval,
                  std::chrono::nanoseconds leeway) override {
        if (type_ != Type::Timer) return;
        std::lock_guard<std::mutex> lock(mutex_);
        if (cancelled_) return;
        if (timerId_) TimerService::shared().cancel(timerId_);
        timerId_ = 0;
        ++timerGeneration_;
        // Fires of the old schedule that no handler has seen are dropped.
        pendingFires_ = 0;
        signaled_ = false;
        if (interval <= std::chrono::nanoseconds(0)) interval = kForever;
        if (interval != kForever && interval < kMinTimerInterval) interval = kMinTimerInterval;
        interval_ = interval;
        leeway_ = leeway < std::chrono::nanoseconds(0) ? std::chrono::nanoseconds(0) : leeway;
        if (start == kForever) return;  // never fires
        nextDeadline_ = addSaturated(Clock::now(), start);
        scheduleLocked();
    }

    unsigned long data() const override { return currentData_; }

    void suspend() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++suspendCount_;
    }

    void resume() override {
        bool dispatchEvent = false, dispatchCancel = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (suspendCount_ == 0) {
                Log::warn("DispatchSource", "resume() without suspend() ignored");
                return;
            }
            if (--suspendCount_ > 0) return;
            if (cancelled_) {
                dispatchCancel = takeCancelLocked();
            } else if (!eventPending_) {
                if (signaled_) {
                    eventPending_ = true;
                    dispatchEvent = true;
                } else if (type_ != Type::Timer && !armed_) {
                    dispatchEvent = armLocked();
                }
            }
        }
        if (dispatchEvent) dispatchEventRun();
        if (dispatchCancel) dispatchCancelRun();
    }

    void cancel() override {
        bool dispatchCancel = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (cancelled_) return;
            cancelled_ = true;
            ++timerGeneration_;
            if (timerId_) TimerService::shared().cancel(timerId_);
            timerId_ = 0;
            if (registered_) {
                // Out of epoll before the cancel handler (which may close
                // the descriptor) can be queued.
                Reactor::shared().remove(fd_, this);
                registered_ = false;
            }
            armed_ = false;
            handler_ = nullptr;
            dispatchCancel = takeCancelLocked();
        }
        if (dispatchCancel) dispatchCancelRun();
    }

    bool isCancelled() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return cancelled_;
    }

    // Reactor thread.
    void fdReady() override {
        bool dispatchEvent = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            armed_ = false;
            if (cancelled_) return;
            dispatchEvent = signalLocked();
        }
        if (dispatchEvent) dispatchEventRun();
    }

private:
    // Timer service thread.
    void timerFired(uint64_t generation) {
        bool dispatchEvent = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (cancelled_ || generation != timerGeneration_) return;
            timerId_ = 0;
            unsigned long fires = 1;
            if (interval_ != kForever) {
                auto now = Clock::now();
                auto step = std::chrono::duration_cast<Clock::duration>(interval_);
                auto next = nextDeadline_ + step;
                if (next <= now) {
                    auto missed = (now - next) / step + 1;
                    fires += static_cast<unsigned long>(missed);
                    next += missed * step;
                }
                nextDeadline_ = next;
                scheduleLocked();
            }
            pendingFires_ += fires;
            dispatchEvent = signalLocked();
        }
        if (dispatchEvent) dispatchEventRun();
    }

    void scheduleLocked() {
        std::weak_ptr<SourceImpl> weak = self_;
        uint64_t gen = timerGeneration_;
        timerId_ = TimerService::shared().schedule(nextDeadline_, leeway_, [weak, gen] {
            if (auto s = weak.lock()) s->timerFired(gen);
        });
    }

    // Notes an event; answers whether a handler run must be queued.
    bool signalLocked() {
        signaled_ = true;
        if (eventPending_ || suspendCount_ > 0) return false;
        eventPending_ = true;
        return true;
    }

    // Arms the reactor; answers whether a handler run must be queued now
    // (a descriptor epoll cannot watch counts as always ready).
    bool armLocked() {
        auto self = self_.lock();
        if (!self) return false;
        Reactor::ArmResult r = Reactor::shared().arm(fd_, type_ == Type::Write, self);
        registered_ = true;
        switch (r) {
            case Reactor::ArmResult::Armed:
                armed_ = true;
                return false;
            case Reactor::ArmResult::AlwaysReady:
                return signalLocked();
            case Reactor::ArmResult::Failed:
                registered_ = false;
                Log::warn("DispatchSource", "descriptor %d cannot be watched; the source stays silent", fd_);
                return false;
        }
        return false;
    }

    // Answers whether the cancel handler must be queued now.
    bool takeCancelLocked() {
        if (cancelDispatched_ || eventPending_ || suspendCount_ > 0) return false;
        cancelDispatched_ = true;
        return true;
    }

    void dispatchEventRun() {
        auto self = self_.lock();
        if (!self) return;
        queue_->async([self] { self->runEvent(); });
    }

    void dispatchCancelRun() {
        auto self = self_.lock();
        if (!self) return;
        queue_->async([self] { self->runCancel(); });
    }

    // On the source's queue.
    void runEvent() {
        std::shared_ptr<DispatchTask> handler;
        unsigned long data = 0;
        bool runCancelNow = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (cancelled_) {
                eventPending_ = false;
                runCancelNow = takeCancelLocked();
            } else if (suspendCount_ > 0 || !signaled_) {
                // Suspended meanwhile (resume() queues it again), or a
                // re-armed timer dropped the fires this run was for.
                eventPending_ = false;
                return;
            }
            if (!runCancelNow) {
                signaled_ = false;
                if (type_ == Type::Timer) {
                    data = pendingFires_;
                    pendingFires_ = 0;
                }
                handler = handler_;
            }
        }
        if (runCancelNow) {
            runCancel();
            return;
        }
        if (type_ == Type::Read) data = readEstimate(fd_);
        if (type_ == Type::Write) data = writeEstimate(fd_);
        currentData_ = data;
        if (handler && *handler) {
            try {
                (*handler)();
            } catch (const std::exception& e) {
                Log::error("DispatchSource", "event handler ended by exception: %s", e.what());
            } catch (...) {
                Log::error("DispatchSource", "event handler ended by an unknown exception");
            }
        }
        bool again = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            eventPending_ = false;
            if (cancelled_) {
                runCancelNow = takeCancelLocked();
            } else if (suspendCount_ == 0) {
                if (signaled_) {
                    eventPending_ = true;
                    again = true;
                } else if (type_ != Type::Timer && !armed_) {
                    again = armLocked();
                }
            }
        }
        if (runCancelNow) {
            runCancel();
        } else if (again) {
            dispatchEventRun();
        }
    }

    void runCancel() {
        DispatchTask cancelHandler;
        std::shared_ptr<SourceImpl> keep;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            cancelHandler = std::move(cancelHandler_);
            cancelHandler_ = nullptr;
            handler_ = nullptr;
            keep = self_.lock();
        }
        if (cancelHandler) {
            try {
                cancelHandler();
            } catch (const std::exception& e) {
                Log::error("DispatchSource", "cancel handler ended by exception: %s", e.what());
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        strong_.reset();  // the source no longer keeps itself alive
    }

    const Type type_;
    const int fd_;
    DispatchQueuePtr queue_;

    mutable std::mutex mutex_;
    std::shared_ptr<DispatchTask> handler_;
    DispatchTask cancelHandler_;
    int suspendCount_ = 1;  // created suspended
    bool cancelled_ = false;
    bool cancelDispatched_ = false;
    bool eventPending_ = false;
    bool signaled_ = false;
    bool armed_ = false;
    bool registered_ = false;
    unsigned long currentData_ = 0;  // the queue's thread only

    // Timers.
    uint64_t timerId_ = 0;
    uint64_t timerGeneration_ = 0;
    unsigned long pendingFires_ = 0;
    Clock::time_point nextDeadline_{};
    std::chrono::nanoseconds interval_ = kForever;
    std::chrono::nanoseconds leeway_{0};

public:
    std::weak_ptr<SourceImpl> self_;
    std::shared_ptr<SourceImpl> strong_;  // until the cancel handler ran
};

DispatchSourcePtr makeSource(DispatchSource::Type type, int fd, DispatchQueuePtr queue) {
    auto s = std::make_shared<SourceImpl>(type, fd, std::move(queue));
    s->self_ = s;
    s->strong_ = s;
    if (type != DispatchSource::Type::Timer && fd < 0) {
        Log::warn("DispatchSource", "bad descriptor %d; the source stays silent", fd);
    }
    return s;
}

}  // namespace

DispatchSourcePtr DispatchSource::makeTimer(DispatchQueuePtr queue) {
    return makeSource(Type::Timer, -1, std::move(queue));
}

DispatchSourcePtr DispatchSource::makeRead(int fd, DispatchQueuePtr queue) {
    return makeSource(Type::Read, fd, std::move(queue));
}

DispatchSourcePtr DispatchSource::makeWrite(int fd, DispatchQueuePtr queue) {
    return makeSource(Type::Write, fd, std::move(queue));
}

}  // namespace lumora
