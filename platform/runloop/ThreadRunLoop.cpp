#include "platform/runloop/ThreadRunLoop.h"

#include <poll.h>
#include <time.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include "platform/dispatch/MainQueue.h"
#include "platform/Log.h"

namespace lumora {

namespace {

std::atomic<ThreadRunLoop*> gMainLoop{nullptr};

// Owns the thread's run loop; the main run loop is never destroyed, because
// other threads may still post to the main queue while the process exits.
struct LoopHolder {
    ThreadRunLoop* loop = nullptr;
    ~LoopHolder() {
        if (loop && loop != gMainLoop.load()) delete loop;
    }
};
thread_local LoopHolder tLoop;

ThreadRunLoop& currentLoop() {
    if (!tLoop.loop) tLoop.loop = new ThreadRunLoop;
    return *tLoop.loop;
}

MainQueue& mainQueue() { return static_cast<MainQueue&>(*DispatchQueue::main()); }

void runGuarded(const std::function<void()>& f, const char* what) {
    try {
        f();
    } catch (const std::exception& e) {
        Log::error("RunLoop", "%s ended by exception: %s", what, e.what());
    } catch (...) {
        Log::error("RunLoop", "%s ended by an unknown exception", what);
    }
}

// The main loop's virtual clock: nanoseconds since the steady clock's epoch
// while enabled.
std::atomic<bool> gVirtualClock{false};
std::atomic<int64_t> gVirtualNs{0};

constexpr auto kMinTimerInterval = std::chrono::microseconds(100);

}  // namespace

// ---- RunLoop statics -------------------------------------------------------

RunLoop& RunLoop::main() {
    static std::once_flag once;
    std::call_once(once, [] {
        ThreadRunLoop& loop = currentLoop();
        loop.bindAsMain();
        gMainLoop.store(&loop);
        loop.wake();  // main-queue work given before the binding
    });
    return *gMainLoop.load();
}

RunLoop& RunLoop::current() { return currentLoop(); }

void RunLoop::setVirtualClock(bool enabled) {
    if (enabled && !gVirtualClock.load()) {
        gVirtualNs.store(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
    }
    gVirtualClock.store(enabled);
    ThreadRunLoop::wakeMain();
}

bool RunLoop::usesVirtualClock() { return gVirtualClock.load(); }

void RunLoop::advanceVirtualClock(std::chrono::nanoseconds by) {
    if (!gVirtualClock.load() || by.count() <= 0) return;
    gVirtualNs.fetch_add(by.count());
    ThreadRunLoop::wakeMain();
}

bool RunLoop::isMainThread() {
    ThreadRunLoop* m = gMainLoop.load();
    return m && m->isOwnThread();
}

// ---- RunLoopTimer ----------------------------------------------------------

RunLoopTimer::RunLoopTimer(std::chrono::nanoseconds interval, bool repeats, Callback callback)
    : interval_(interval), repeats_(repeats), callback_(std::move(callback)) {}

std::shared_ptr<RunLoopTimer> RunLoopTimer::scheduled(RunLoop& loop, std::chrono::nanoseconds interval, bool repeats,
                                                      Callback callback) {
    if (interval < kMinTimerInterval) interval = repeats ? kMinTimerInterval : std::chrono::nanoseconds(0);
    std::shared_ptr<RunLoopTimer> timer(new RunLoopTimer(interval, repeats, std::move(callback)));
    timer->fireDate_ = loop.now() + std::chrono::duration_cast<RunLoop::Clock::duration>(interval);
    loop.addTimer(timer);
    return timer;
}

void RunLoopTimer::invalidate() { valid_.store(false); }

bool RunLoopTimer::isValid() const { return valid_.load(); }

void RunLoopTimer::fire() {
    if (!valid_.load()) return;
    auto keep = shared_from_this();
    if (callback_) callback_(*this);
    if (!repeats_) invalidate();
}

void RunLoopTimer::fireFromLoop() { fire(); }

// ---- ThreadRunLoop ---------------------------------------------------------

ThreadRunLoop::ThreadRunLoop() : thread_(std::this_thread::get_id()) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) Log::warn("RunLoop", "eventfd failed: %s", std::strerror(errno));
}

ThreadRunLoop::~ThreadRunLoop() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

ThreadRunLoop* ThreadRunLoop::mainIfBound() { return gMainLoop.load(); }

void ThreadRunLoop::wakeMain() {
    if (ThreadRunLoop* m = gMainLoop.load()) m->wake();
}

void ThreadRunLoop::wake() {
    if (wakeFd_ >= 0) {
        uint64_t one = 1;
        ssize_t n = ::write(wakeFd_, &one, sizeof one);
        (void)n;  // EAGAIN: the counter is saturated, the loop is awake anyway
    }
    std::shared_ptr<std::function<void()>> hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hook = hook_;
    }
    if (hook && *hook) runGuarded(*hook, "wake-up hook");
}

void ThreadRunLoop::perform(Task task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        posted_.push_back(std::move(task));
    }
    // Also from the loop's own thread: a GUI loop that drives this one
    // through drainPending() must hear of work added from its own handlers.
    wake();
}

void ThreadRunLoop::performAfterDelay(std::chrono::nanoseconds delay, Task task) {
    RunLoopTimer::scheduled(*this, delay, false, [task = std::move(task)](RunLoopTimer&) {
        if (task) task();
    });
}

void ThreadRunLoop::addTimer(const std::shared_ptr<RunLoopTimer>& timer) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        timers_.push_back(timer);
    }
    wake();
}

void ThreadRunLoop::setWakeupHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = hook ? std::make_shared<std::function<void()>>(std::move(hook)) : nullptr;
}

uint64_t ThreadRunLoop::addWatcher(int fd, short events, std::function<void(short)> callback) {
    uint64_t id;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        id = nextWatcherId_++;
        watchers_[id] = Watcher{fd, events, std::make_shared<std::function<void(short)>>(std::move(callback))};
    }
    if (!isOwnThread()) wake();
    return id;
}

void ThreadRunLoop::removeWatcher(uint64_t id) {
    std::shared_ptr<std::function<void(short)>> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = watchers_.find(id);
        if (it == watchers_.end()) return;
        dropped = std::move(it->second.callback);
        watchers_.erase(it);
    }
    if (!isOwnThread()) wake();
}

void ThreadRunLoop::stop() {
    stopRequested_.store(true);
    if (!isOwnThread()) wake();
}

void ThreadRunLoop::run() { runInternal(Clock::time_point::max(), nullptr); }

void ThreadRunLoop::runFor(std::chrono::nanoseconds duration) {
    auto now = Clock::now();
    auto deadline = Clock::time_point::max() - now <= duration
                        ? Clock::time_point::max()
                        : now + std::chrono::duration_cast<Clock::duration>(duration);
    runInternal(deadline, nullptr);
}

bool ThreadRunLoop::runUntil(const std::function<bool()>& predicate, std::chrono::nanoseconds timeout) {
    auto now = Clock::now();
    auto deadline = Clock::time_point::max() - now <= timeout
                        ? Clock::time_point::max()
                        : now + std::chrono::duration_cast<Clock::duration>(timeout);
    return runInternal(deadline, &predicate);
}

size_t ThreadRunLoop::drainPending() {
    if (!isOwnThread()) {
        Log::warn("RunLoop", "drainPending called from a thread that does not own the loop; ignored");
        return 0;
    }
    size_t n = turn(nullptr, nullptr);
    n += waitAndDispatch(0);
    return n;
}

RunLoop::Clock::time_point ThreadRunLoop::now() const {
    if (isMain_ && gVirtualClock.load())
        return Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(gVirtualNs.load())));
    return Clock::now();
}

RunLoop::Clock::time_point ThreadRunLoop::nextTimerDate() {
    std::lock_guard<std::mutex> lock(mutex_);
    Clock::time_point next = Clock::time_point::max();
    for (const auto& t : timers_) {
        if (t->isValid() && t->fireDate() < next) next = t->fireDate();
    }
    return next;
}

size_t ThreadRunLoop::turn(const std::function<bool()>* predicate, bool* satisfied) {
    size_t ran = 0;
    auto done = [&]() {
        if (stopRequested_.load()) return true;
        if (predicate && (*predicate)()) {
            if (satisfied) *satisfied = true;
            return true;
        }
        return false;
    };

    // Posted tasks, as many as were there when the turn began.
    std::deque<Task> batch;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        batch.swap(posted_);
    }
    while (!batch.empty()) {
        Task task = std::move(batch.front());
        batch.pop_front();
        runGuarded(task, "posted task");
        ++ran;
        if (done()) {
            std::lock_guard<std::mutex> lock(mutex_);
            posted_.insert(posted_.begin(), std::make_move_iterator(batch.begin()),
                           std::make_move_iterator(batch.end()));
            return ran;
        }
    }

    // Main queue, as many tasks as were queued when this step began.
    if (isMain_) {
        size_t budget = mainQueue().queuedCount();
        while (budget-- > 0) {
            if (mainQueue().drain(1) == 0) break;
            ++ran;
            if (done()) return ran;
        }
    }

    // Due timers, earliest first.
    auto now = this->now();
    std::vector<std::shared_ptr<RunLoopTimer>> due;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                                     [](const std::shared_ptr<RunLoopTimer>& t) { return !t->isValid(); }),
                      timers_.end());
        for (const auto& t : timers_) {
            if (t->fireDate() <= now) due.push_back(t);
        }
    }
    std::sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a->fireDate() < b->fireDate(); });
    for (const auto& t : due) {
        if (!t->isValid()) continue;
        runGuarded([&] { t->fireFromLoop(); }, "timer");
        ++ran;
        if (t->isValid() && t->repeats()) {
            // The next date on the timer's grid after now; missed fires are
            // skipped, not run in a burst.
            auto interval = std::chrono::duration_cast<Clock::duration>(t->interval());
            auto next = t->fireDate() + interval;
            auto after = this->now();
            if (next <= after) next += ((after - next) / interval + 1) * interval;
            t->setFireDate(next);
        }
        if (done()) return ran;
    }
    return ran;
}

size_t ThreadRunLoop::waitAndDispatch(int64_t timeoutNs) {
    struct Entry {
        uint64_t id;
        std::shared_ptr<std::function<void(short)>> callback;
    };
    std::vector<pollfd> fds;
    std::vector<Entry> entries;
    fds.push_back(pollfd{wakeFd_, POLLIN, 0});
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [id, w] : watchers_) {
            fds.push_back(pollfd{w.fd, w.events, 0});
            entries.push_back(Entry{id, w.callback});
        }
    }
    timespec ts{};
    if (timeoutNs > 0) {
        ts.tv_sec = static_cast<time_t>(timeoutNs / 1000000000);
        ts.tv_nsec = static_cast<long>(timeoutNs % 1000000000);
    }
    int rc = ::ppoll(fds.data(), fds.size(), timeoutNs < 0 ? nullptr : &ts, nullptr);
    if (rc <= 0) return 0;
    if (fds[0].revents & POLLIN) {
        uint64_t value;
        ssize_t n = ::read(wakeFd_, &value, sizeof value);
        (void)n;
    }
    size_t ran = 0;
    for (size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].revents == 0) continue;
        {
            // Removed by an earlier callback of this round: not called again.
            std::lock_guard<std::mutex> lock(mutex_);
            if (!watchers_.count(entries[i - 1].id)) continue;
        }
        short revents = fds[i].revents;
        auto& cb = *entries[i - 1].callback;
        runGuarded([&] { cb(revents); }, "descriptor watcher");
        ++ran;
        if (stopRequested_.load()) break;
    }
    return ran;
}

bool ThreadRunLoop::runInternal(Clock::time_point deadline, const std::function<bool()>* predicate) {
    if (!isOwnThread()) {
        Log::warn("RunLoop", "run called from a thread that does not own the loop; ignored");
        return predicate && (*predicate)();
    }
    stopRequested_.store(false);
    bool satisfied = false;
    for (;;) {
        if (predicate && (*predicate)()) {
            satisfied = true;
            break;
        }
        size_t ran = turn(predicate, &satisfied);
        if (satisfied || stopRequested_.load()) break;
        auto now = Clock::now();
        if (now >= deadline) break;
        // Work that ran may have queued more; the descriptors are still
        // looked at (without waiting), so steady work cannot starve them.
        bool pending = ran > 0;
        if (!pending) {
            std::lock_guard<std::mutex> lock(mutex_);
            pending = !posted_.empty();
        }
        if (!pending && isMain_) pending = mainQueue().hasRunnableWork();
        int64_t timeoutNs = 0;
        if (!pending) {
            // On the virtual clock, timers wait for the clock to move, which wakes us.
            auto nextTimer = isMain_ && gVirtualClock.load() ? Clock::time_point::max() : nextTimerDate();
            auto until = std::min(deadline, nextTimer);
            if (until == Clock::time_point::max()) {
                timeoutNs = -1;
            } else {
                timeoutNs = std::max<int64_t>(
                    1, std::chrono::duration_cast<std::chrono::nanoseconds>(until - now).count());
            }
        }
        // A predicate may depend on other threads, which do not wake us:
        // look at it again every few milliseconds.
        constexpr int64_t kPredicatePollNs = 5000000;
        if (predicate && (timeoutNs < 0 || timeoutNs > kPredicatePollNs)) timeoutNs = kPredicatePollNs;
        waitAndDispatch(timeoutNs);
        if (stopRequested_.load()) break;
        if (predicate && (*predicate)()) {
            satisfied = true;
            break;
        }
    }
    stopRequested_.store(false);
    return satisfied || (predicate && (*predicate)());
}

}  // namespace lumora
