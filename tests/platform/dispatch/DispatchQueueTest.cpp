#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/RunLoop.h"
#include "support/WaitFor.h"

using namespace lumora;
using namespace std::chrono_literals;
using lumora::test::waitFor;

TEST(DispatchQueue, SerialOrderUnderContentionFromManyThreads) {
    auto q = DispatchQueue::createSerial("order");
    constexpr int kThreads = 8;
    constexpr int kPerThread = 2000;
    std::vector<std::vector<int>> seen(kThreads);  // touched only on q
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                q->async([&, t, i] {
                    if (inside.fetch_add(1) != 0) overlaps++;
                    seen[t].push_back(i);
                    inside.fetch_sub(1);
                });
                if (i % 500 == 0) q->sync([] {});  // mix in waits
            }
        });
    }
    for (auto& th : threads) th.join();
    q->sync([] {});
    EXPECT_EQ(overlaps.load(), 0);
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<size_t>(kPerThread)) << "thread " << t;
        for (int i = 0; i < kPerThread; ++i) ASSERT_EQ(seen[t][i], i) << "thread " << t;
    }
}

TEST(DispatchQueue, SyncSeesEarlierTasksAndRunsInlineOnItsOwnQueue) {
    auto q = DispatchQueue::createSerial("sync");
    std::vector<int> order;
    q->async([&] { order.push_back(1); });
    q->async([&] {
        order.push_back(2);
        // Already on q: must run at once, not dead-lock.
        q->sync([&] { order.push_back(3); });
        order.push_back(4);
    });
    q->sync([&] { order.push_back(5); });
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(DispatchQueue, SyncBackOntoTheCallersQueueDoesNotDeadlock) {
    auto a = DispatchQueue::createSerial("a");
    auto b = DispatchQueue::createSerial("b");
    std::atomic<bool> done{false};
    a->async([&] {
        b->sync([&] {
            // a is held by the thread waiting for us: this runs inline.
            EXPECT_TRUE(a->isCurrent());
            a->sync([&] { done = true; });
        });
    });
    ASSERT_TRUE(waitFor([&] { return done.load(); }));
    a->sync([] {});
}

TEST(DispatchQueue, SyncPropagatesExceptionsAndAThrowingTaskDoesNotWedgeTheQueue) {
    auto q = DispatchQueue::createSerial("throws");
    q->async([] { throw std::runtime_error("boom"); });
    int ran = 0;
    q->sync([&] { ran = 1; });
    EXPECT_EQ(ran, 1);
    EXPECT_THROW(q->sync([] { throw std::runtime_error("to caller"); }), std::runtime_error);
    q->sync([&] { ran = 2; });
    EXPECT_EQ(ran, 2);
}

TEST(DispatchQueue, SuspendAndResumeAreCounted) {
    auto q = DispatchQueue::createSerial("suspend");
    std::atomic<int> ran{0};
    q->suspend();
    q->suspend();
    q->async([&] { ran++; });
    q->resume();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(ran.load(), 0) << "ran while still suspended once";
    q->resume();
    ASSERT_TRUE(waitFor([&] { return ran.load() == 1; }));
    // A task that runs finishes even when the queue is suspended meanwhile.
    std::promise<void> started;
    std::promise<void> release;
    auto releaseFuture = release.get_future().share();
    q->async([&, releaseFuture] {
        started.set_value();
        releaseFuture.wait();
        ran++;
    });
    q->async([&] { ran++; });
    started.get_future().wait();
    q->suspend();
    release.set_value();
    ASSERT_TRUE(waitFor([&] { return ran.load() == 2; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ran.load(), 2);
    q->resume();
    ASSERT_TRUE(waitFor([&] { return ran.load() == 3; }));
}

TEST(DispatchQueue, QueueSpecificAndIsCurrentSeenAlongTheTargetChain) {
    static const char kKey = 0;
    static const char kOtherKey = 0;
    int targetContext = 1;
    int ownContext = 2;
    auto target = DispatchQueue::createSerial("target");
    auto q = DispatchQueue::createSerial("targeting");
    auto other = DispatchQueue::createSerial("other");
    target->setSpecific(&kKey, &targetContext);
    q->setSpecific(&kOtherKey, &ownContext);
    q->setTarget(target);
    EXPECT_EQ(q->target(), target);

    struct Seen {
        void* key = nullptr;
        void* otherKey = nullptr;
        bool onTarget = false;
        bool onQ = false;
        bool onOther = true;
        DispatchQueue* current = nullptr;
    } seen;
    q->sync([&] {
        seen.key = DispatchQueue::getSpecific(&kKey);
        seen.otherKey = DispatchQueue::getSpecific(&kOtherKey);
        seen.onTarget = target->isCurrent();
        seen.onQ = q->isCurrent();
        seen.onOther = other->isCurrent();
        seen.current = DispatchQueue::current();
    });
    EXPECT_EQ(seen.key, &targetContext);
    EXPECT_EQ(seen.otherKey, &ownContext);
    EXPECT_TRUE(seen.onTarget);
    EXPECT_TRUE(seen.onQ);
    EXPECT_FALSE(seen.onOther);
    EXPECT_EQ(seen.current, q.get());

    // The same through async (the drain runs inside the target's context).
    std::promise<std::pair<void*, bool>> p;
    q->async([&] { p.set_value({DispatchQueue::getSpecific(&kKey), target->isCurrent()}); });
    auto r = p.get_future().get();
    EXPECT_EQ(r.first, &targetContext);
    EXPECT_TRUE(r.second);

    // The target itself does not see the targeting queue's key.
    void* fromTarget = &ownContext;
    target->sync([&] { fromTarget = DispatchQueue::getSpecific(&kOtherKey); });
    EXPECT_EQ(fromTarget, nullptr);
    // Outside any queue task (the test thread counts as the main queue).
    EXPECT_EQ(DispatchQueue::getSpecific(&kKey), nullptr);
    EXPECT_FALSE(q->isCurrent());
}

TEST(DispatchQueue, TargetSerialisesQueuesThatShareIt) {
    auto target = DispatchQueue::createSerial("shared-target");
    std::vector<DispatchQueuePtr> queues;
    for (int i = 0; i < 8; ++i) {
        queues.push_back(DispatchQueue::createSerial("child"));
        queues.back()->setTarget(target);
    }
    std::atomic<int> inside{0}, overlaps{0}, ran{0};
    for (int n = 0; n < 200; ++n) {
        for (auto& q : queues) {
            q->async([&] {
                if (inside.fetch_add(1) != 0) overlaps++;
                ran++;
                inside.fetch_sub(1);
            });
        }
    }
    ASSERT_TRUE(waitFor([&] { return ran.load() == 1600; }));
    EXPECT_EQ(overlaps.load(), 0);
}

TEST(DispatchQueue, QueueStaysAliveWhileTasksArePending) {
    std::atomic<int> ran{0};
    std::weak_ptr<DispatchQueue> weak;
    {
        auto q = DispatchQueue::createSerial("dropped");
        weak = q;
        q->suspend();
        for (int i = 0; i < 10; ++i) q->async([&] { ran++; });
        q->after(5ms, [&] { ran++; });
        q->resume();
    }
    ASSERT_TRUE(waitFor([&] { return ran.load() == 11; }));
    EXPECT_TRUE(waitFor([&] { return weak.expired(); }));
}

TEST(DispatchQueue, AfterRunsOnTheQueueOnceTheDelayPassed) {
    auto q = DispatchQueue::createSerial("after");
    auto start = std::chrono::steady_clock::now();
    std::atomic<bool> onQueue{false};
    std::atomic<int64_t> elapsedMs{-1};
    q->after(30ms, [&] {
        onQueue = q->isCurrent();
        elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                        .count();
    });
    ASSERT_TRUE(waitFor([&] { return elapsedMs.load() >= 0; }));
    EXPECT_TRUE(onQueue.load());
    EXPECT_GE(elapsedMs.load(), 30);
}

TEST(DispatchQueue, GlobalQueueRunsTasksConcurrentlyAndSyncInline) {
    auto g = DispatchQueue::global();
    constexpr int kTasks = 16;
    std::atomic<int> arrived{0};
    std::atomic<int> finished{0};
    for (int i = 0; i < kTasks; ++i) {
        g->async([&] {
            arrived++;
            // Every task waits for all: only possible when they run at once.
            waitFor([&] { return arrived.load() == kTasks; });
            finished++;
        });
    }
    ASSERT_TRUE(waitFor([&] { return finished.load() == kTasks; }));
    auto caller = std::this_thread::get_id();
    std::thread::id ranOn;
    bool current = false;
    g->sync([&] {
        ranOn = std::this_thread::get_id();
        current = g->isCurrent();
    });
    EXPECT_EQ(ranOn, caller);
    EXPECT_TRUE(current);
}

// Code on a target (or on the main thread, for a queue targeting the main
// queue) that syncs onto a queue targeting it: the queue's work can only run
// after the caller returns, so it runs here, in order, instead of dead-locking.
TEST(DispatchQueue, SyncOntoAQueueThatTargetsTheCallersQueue) {
    auto target = DispatchQueue::createSerial("t");
    auto child = DispatchQueue::createSerial("child");
    child->setTarget(target);
    std::vector<int> order;
    std::atomic<bool> done{false};
    target->async([&] {
        child->sync([&] { order.push_back(1); });  // idle child
        child->async([&] { order.push_back(2); });
        child->sync([&] {
            EXPECT_TRUE(child->isCurrent());
            order.push_back(3);
        });  // busy child
        done = true;
    });
    ASSERT_TRUE(waitFor([&] { return done.load(); }));
    child->sync([] {});
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));

    auto onMain = DispatchQueue::createSerial("on-main");
    onMain->setTarget(DispatchQueue::main());
    bool ran = false;
    onMain->sync([&] { ran = RunLoop::isMainThread(); });
    EXPECT_TRUE(ran);
}
