#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/RunLoop.h"
#include "support/WaitFor.h"

using namespace lumora;
using namespace std::chrono_literals;

TEST(RunLoop, MainRunLoopDrainsWorkPostedFromOtherThreads) {
    RunLoop& main = RunLoop::main();
    ASSERT_TRUE(RunLoop::isMainThread());
    EXPECT_EQ(&RunLoop::current(), &main);
    constexpr int kThreads = 6;
    constexpr int kPerThread = 200;
    std::vector<std::vector<int>> seen(kThreads);  // touched on the main thread only
    std::atomic<int> offMain{0};
    int total = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            EXPECT_FALSE(RunLoop::isMainThread());
            for (int i = 0; i < kPerThread; ++i) {
                auto task = [&, t, i] {
                    if (!RunLoop::isMainThread()) offMain++;
                    seen[t].push_back(i);
                    ++total;
                };
                // Alternate between the main queue and the loop's own list;
                // each keeps its order.
                if (t % 2) {
                    DispatchQueue::main()->async(task);
                } else {
                    RunLoop::main().perform(task);
                }
            }
        });
    }
    EXPECT_TRUE(main.runUntil([&] { return total == kThreads * kPerThread; }, 30s));
    for (auto& th : threads) th.join();
    EXPECT_EQ(offMain.load(), 0);
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<size_t>(kPerThread));
        for (int i = 0; i < kPerThread; ++i) ASSERT_EQ(seen[t][i], i);
    }
}

TEST(RunLoop, MainQueueSyncRunsInlineOnTheMainThreadAndWaitsElsewhere) {
    bool inline_ = false;
    DispatchQueue::main()->sync([&] { inline_ = DispatchQueue::main()->isCurrent(); });
    EXPECT_TRUE(inline_);
    EXPECT_EQ(DispatchQueue::current(), DispatchQueue::main().get());

    std::atomic<bool> ranOnMain{false};
    std::atomic<bool> returned{false};
    std::thread other([&] {
        DispatchQueue::main()->sync([&] { ranOnMain = RunLoop::isMainThread(); });
        returned = true;
    });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return returned.load(); }, 30s));
    other.join();
    EXPECT_TRUE(ranOnMain.load());
}

TEST(RunLoop, TimersRepeatOrFireOnceAndStopAfterInvalidate) {
    RunLoop& loop = RunLoop::main();
    int repeating = 0;
    int once = 0;
    int delayed = 0;
    auto rep = RunLoopTimer::scheduled(loop, 2ms, true, [&](RunLoopTimer& t) {
        if (++repeating == 5) t.invalidate();
    });
    auto one = RunLoopTimer::scheduled(loop, 1ms, false, [&](RunLoopTimer&) { ++once; });
    loop.performAfterDelay(3ms, [&] { ++delayed; });
    EXPECT_TRUE(loop.runUntil([&] { return repeating == 5 && once == 1 && delayed == 1; }, 30s));
    EXPECT_FALSE(rep->isValid());
    EXPECT_FALSE(one->isValid());
    loop.runFor(30ms);
    EXPECT_EQ(repeating, 5);
    EXPECT_EQ(once, 1);
    EXPECT_EQ(delayed, 1);

    // fire() outside the schedule; an invalidated timer never fires.
    int manual = 0;
    auto far = RunLoopTimer::scheduled(loop, std::chrono::hours(1), true, [&](RunLoopTimer&) { ++manual; });
    far->fire();
    EXPECT_EQ(manual, 1);
    EXPECT_TRUE(far->isValid());
    far->invalidate();
    far->fire();
    EXPECT_EQ(manual, 1);
}

TEST(RunLoop, StopReturnsFromRunAfterTheCurrentPieceOfWork) {
    RunLoop& loop = RunLoop::main();
    int after = 0;
    loop.perform([&] { loop.stop(); });
    loop.perform([&] { ++after; });
    loop.run();
    EXPECT_EQ(after, 0);
    EXPECT_EQ(loop.drainPending(), 1u);
    EXPECT_EQ(after, 1);
}

TEST(RunLoop, WakeupHookLetsAnotherLoopDriveIt) {
    RunLoop& loop = RunLoop::main();
    std::atomic<int> wakes{0};
    loop.setWakeupHook([&] { wakes++; });
    int ran = 0;
    std::thread([&] { DispatchQueue::main()->async([&] { ++ran; }); }).join();
    EXPECT_GE(wakes.load(), 1);
    EXPECT_EQ(ran, 0);  // nothing runs until the driver drains
    EXPECT_EQ(loop.drainPending(), 1u);
    EXPECT_EQ(ran, 1);
    loop.setWakeupHook(nullptr);
}

TEST(RunLoop, DescriptorWatcherCallsWhileReadyAndCanRemoveItself) {
    RunLoop& loop = RunLoop::main();
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    int calls = 0;
    uint64_t id = 0;
    id = loop.addWatcher(fds[0], POLLIN, [&](short revents) {
        EXPECT_TRUE(revents & POLLIN);
        char b;
        if (::read(fds[0], &b, 1) == 1) ++calls;
        if (calls == 3) loop.removeWatcher(id);
    });
    std::thread([&] { ASSERT_EQ(::write(fds[1], "abcd", 4), 4); }).join();
    EXPECT_TRUE(loop.runUntil([&] { return calls == 3; }, 30s));
    loop.runFor(20ms);
    EXPECT_EQ(calls, 3);  // the fourth byte stays: the watcher is gone
    ::close(fds[0]);
    ::close(fds[1]);
}

// Work that never runs out (a task that posts itself again) must not keep
// a ready descriptor from being served.
TEST(RunLoop, DescriptorWatcherIsServedWhileWorkKeepsComing) {
    RunLoop& loop = RunLoop::main();
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    bool served = false;
    uint64_t id = loop.addWatcher(fds[0], POLLIN, [&](short) {
        char b;
        if (::read(fds[0], &b, 1) == 1) served = true;
    });
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    std::function<void()> again = [&] {
        if (!served) loop.perform(again);
    };
    loop.perform(again);
    EXPECT_TRUE(loop.runUntil([&] { return served; }, 10s));
    loop.removeWatcher(id);
    served = true;  // the last posted task ends the chain
    loop.runFor(20ms);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(RunLoop, EveryThreadHasItsOwnLoop) {
    std::atomic<RunLoop*> loopOfThread{nullptr};
    std::atomic<int> ran{0};
    std::thread worker([&] {
        RunLoop& mine = RunLoop::current();
        EXPECT_NE(&mine, &RunLoop::main());
        loopOfThread = &mine;
        mine.runUntil([&] { return ran.load() == 2; }, 30s);
    });
    ASSERT_TRUE(test::waitFor([&] { return loopOfThread.load() != nullptr; }));
    loopOfThread.load()->perform([&] { ran++; });
    loopOfThread.load()->performAfterDelay(2ms, [&] { ran++; });
    worker.join();
    EXPECT_EQ(ran.load(), 2);
}

// The main thread waits in sync() for a busy queue whose task syncs back
// onto the main queue: the main thread is blocked, so that runs in place.
TEST(RunLoop, TaskSyncingBackOntoTheWaitingMainThreadDoesNotDeadlock) {
    auto q = DispatchQueue::createSerial("busy");
    std::atomic<bool> release{false};
    q->async([&] { test::waitFor([&] { return release.load(); }); });
    bool inner = false;
    std::thread releaser([&] {
        std::this_thread::sleep_for(10ms);
        release = true;
    });
    q->sync([&] { DispatchQueue::main()->sync([&] { inner = DispatchQueue::main()->isCurrent(); }); });
    releaser.join();
    EXPECT_TRUE(inner);
}
