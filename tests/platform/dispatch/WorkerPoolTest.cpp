#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/WorkerPool.h"
#include "support/WaitFor.h"

using namespace lumora;
using namespace std::chrono_literals;
using lumora::test::waitFor;

namespace {

// A gate that blocked tasks wait on, with a time-out so that a starving pool
// makes the test fail instead of hanging.
struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = false;
    bool wait(std::chrono::seconds limit) {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, limit, [&] { return open; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        cv.notify_all();
    }
};

}  // namespace

// 64 serial queues each block in a task until a 65th queue has run one: with
// a fixed pool (or one thread short) that task would never start.
TEST(WorkerPool, BlockedQueuesDoNotStarveOthers) {
    constexpr int kBlocked = 64;
    Gate gate;
    std::atomic<int> blocked{0};
    std::atomic<int> released{0};
    std::atomic<int> timedOut{0};
    std::vector<DispatchQueuePtr> queues;
    for (int i = 0; i < kBlocked; ++i) {
        queues.push_back(DispatchQueue::createSerial("blocking"));
        queues.back()->async([&] {
            blocked++;
            if (!gate.wait(60s)) timedOut++;
            released++;
        });
    }
    // Let them all occupy workers first, so the pool really is saturated.
    ASSERT_TRUE(waitFor([&] { return blocked.load() == kBlocked; }, 60s));
    EXPECT_GE(WorkerPool::shared().busyCount(), static_cast<size_t>(kBlocked));

    auto other = DispatchQueue::createSerial("must-progress");
    std::atomic<int> steps{0};
    for (int i = 0; i < 100; ++i) other->async([&] { steps++; });
    other->async([&] { gate.release(); });
    // Global-queue work also still runs.
    std::atomic<bool> globalRan{false};
    DispatchQueue::global()->async([&] { globalRan = true; });

    ASSERT_TRUE(waitFor([&] { return released.load() == kBlocked; }, 90s));
    EXPECT_EQ(timedOut.load(), 0) << "the unblocking queue did not get a worker";
    EXPECT_EQ(steps.load(), 100);
    EXPECT_TRUE(waitFor([&] { return globalRan.load(); }));
}

// Blocked global-queue tasks (blocking connects, LAN searches) do not keep
// a serial queue from running, and a sync() onto it from a blocked task works.
TEST(WorkerPool, BlockedGlobalTasksDoNotStarveSerialQueues) {
    constexpr int kBlocked = 48;
    Gate gate;
    std::atomic<int> blocked{0};
    std::atomic<int> done{0};
    auto serial = DispatchQueue::createSerial("serial");
    for (int i = 0; i < kBlocked; ++i) {
        DispatchQueue::global()->async([&] {
            blocked++;
            gate.wait(60s);
            int seen = 0;
            serial->sync([&] { seen = 1; });
            done += seen;
        });
    }
    ASSERT_TRUE(waitFor([&] { return blocked.load() == kBlocked; }, 60s));
    serial->async([&] { gate.release(); });
    ASSERT_TRUE(waitFor([&] { return done.load() == kBlocked; }, 90s));
}

TEST(WorkerPool, GrowsOnlyAsFarAsWorkIsBlocked) {
    // Many short tasks in a row need only a few workers.
    size_t before = WorkerPool::shared().threadCount();
    auto q = DispatchQueue::createSerial("short");
    std::atomic<int> ran{0};
    for (int i = 0; i < 10000; ++i) q->async([&] { ran++; });
    ASSERT_TRUE(waitFor([&] { return ran.load() == 10000; }));
    EXPECT_LE(WorkerPool::shared().threadCount(), std::max<size_t>(before, 32));
}

TEST(WorkerPool, ShrinksToAFewIdleWorkersAfterABurst) {
    WorkerPool& pool = WorkerPool::shared();
    pool.setKeepAlive(20ms);
    constexpr int kBlocked = 40;
    Gate gate;
    std::atomic<int> blocked{0};
    std::atomic<int> finished{0};
    std::vector<DispatchQueuePtr> queues;
    for (int i = 0; i < kBlocked; ++i) {
        queues.push_back(DispatchQueue::createSerial("burst"));
        queues.back()->async([&] {
            blocked++;
            gate.wait(60s);
            finished++;
        });
    }
    ASSERT_TRUE(waitFor([&] { return blocked.load() == kBlocked; }, 60s));
    EXPECT_GE(pool.threadCount(), static_cast<size_t>(kBlocked));
    gate.release();
    ASSERT_TRUE(waitFor([&] { return finished.load() == kBlocked; }));
    EXPECT_TRUE(waitFor([&] { return pool.threadCount() <= WorkerPool::minIdle(); }))
        << pool.threadCount() << " workers left";
    // And it grows again on demand.
    std::atomic<int> ran{0};
    for (auto& q : queues) q->async([&] { ran++; });
    EXPECT_TRUE(waitFor([&] { return ran.load() == kBlocked; }));
}
