// Queue hand-off: async round trips per second between two serial queues,
// and the lateness of a 10 ms repeating timer source under load, each beside
// the same figure for plain std::thread + condition-variable code measured
// in the same run.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSource.h"
#include "platform/runloop/RunLoop.h"

using namespace lumora;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr auto kRoundTripTime = 1500ms;
constexpr auto kTimerInterval = 10ms;
constexpr int kTimerFires = 120;  // 1.2 s per timer run

// ---- round trips -----------------------------------------------------------

double queueRoundTrips() {
    auto a = DispatchQueue::createSerial("bench.a");
    auto b = DispatchQueue::createSerial("bench.b");
    std::atomic<long> trips{0};
    std::atomic<bool> stop{false};
    std::mutex m;
    std::condition_variable cv;
    bool finished = false;
    // ping runs on a, pong on b; each hands the token to the other.
    std::function<void()> ping;
    ping = [&] {
        if (stop.load(std::memory_order_relaxed)) {
            std::lock_guard<std::mutex> lock(m);
            finished = true;
            cv.notify_all();
            return;
        }
        b->async([&] {
            trips.fetch_add(1, std::memory_order_relaxed);
            a->async(ping);
        });
    };
    auto start = Clock::now();
    a->async(ping);
    std::this_thread::sleep_for(kRoundTripTime);
    stop = true;
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return finished; });
    double secs = std::chrono::duration<double>(Clock::now() - start).count();
    return static_cast<double>(trips.load()) / secs;
}

double threadRoundTrips() {
    std::mutex m;
    std::condition_variable cv;
    int turn = 0;  // 0: thread A's turn, 1: thread B's
    bool stop = false;
    long trips = 0;
    std::thread tb([&] {
        std::unique_lock<std::mutex> lock(m);
        for (;;) {
            cv.wait(lock, [&] { return turn == 1 || stop; });
            if (stop) return;
            ++trips;
            turn = 0;
            cv.notify_all();
        }
    });
    std::thread ta([&] {
        std::unique_lock<std::mutex> lock(m);
        for (;;) {
            cv.wait(lock, [&] { return turn == 0 || stop; });
            if (stop) return;
            turn = 1;
            cv.notify_all();
        }
    });
    auto start = Clock::now();
    std::this_thread::sleep_for(kRoundTripTime);
    long done;
    {
        std::lock_guard<std::mutex> lock(m);
        stop = true;
        done = trips;
        cv.notify_all();
    }
    double secs = std::chrono::duration<double>(Clock::now() - start).count();
    ta.join();
    tb.join();
    return static_cast<double>(done) / secs;
}

// ---- timer lateness under load ---------------------------------------------

struct Lateness {
    double meanUs = 0;
    double maxUs = 0;
};

Lateness summarize(const std::vector<double>& us) {
    Lateness l;
    for (double v : us) {
        l.meanUs += v;
        l.maxUs = std::max(l.maxUs, v);
    }
    if (!us.empty()) l.meanUs /= static_cast<double>(us.size());
    return l;
}

// Keeps every core busy with short tasks on many serial queues, as a screen
// full of decoders and sockets would.
class Load {
public:
    explicit Load(unsigned queues) {
        for (unsigned i = 0; i < queues; ++i) {
            auto q = DispatchQueue::createSerial("bench.load");
            queues_.push_back(q);
            post(q);
        }
    }
    ~Load() {
        stop_ = true;
        for (auto& q : queues_) q->sync([] {});
    }

private:
    void post(const DispatchQueuePtr& q) {
        q->async([this, q] {
            if (stop_.load()) return;
            auto until = Clock::now() + 200us;
            volatile unsigned x = 0;
            while (Clock::now() < until) x = x + 1;
            post(q);
        });
    }
    std::atomic<bool> stop_{false};
    std::vector<DispatchQueuePtr> queues_;
};

Lateness sourceTimerLateness() {
    auto q = DispatchQueue::createSerial("bench.timer");
    auto timer = DispatchSource::makeTimer(q);
    std::vector<double> late;
    late.reserve(kTimerFires);
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    Clock::time_point start;
    unsigned long fires = 0;
    DispatchSource* raw = timer.get();
    timer->setEventHandler([&, raw] {
        auto now = Clock::now();
        fires += raw->data();
        auto due = start + kTimerInterval * static_cast<long>(fires);
        late.push_back(std::chrono::duration<double, std::micro>(now - due).count());
        if (late.size() == static_cast<size_t>(kTimerFires)) {
            raw->cancel();
            std::lock_guard<std::mutex> lock(m);
            done = true;
            cv.notify_all();
        }
    });
    start = Clock::now();
    timer->setTimer(kTimerInterval, kTimerInterval);
    timer->resume();
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return done; });
    return summarize(late);
}

Lateness threadTimerLateness() {
    std::vector<double> late;
    std::thread t([&] {
        std::mutex m;
        std::condition_variable cv;
        std::unique_lock<std::mutex> lock(m);
        auto start = Clock::now();
        for (int k = 1; k <= kTimerFires; ++k) {
            auto due = start + kTimerInterval * k;
            cv.wait_until(lock, due, [] { return false; });
            late.push_back(std::chrono::duration<double, std::micro>(Clock::now() - due).count());
        }
    });
    t.join();
    return summarize(late);
}

}  // namespace

int main() {
    RunLoop::main();
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::printf("QueueHandoffBench (%u cores)\n", cores);

    double q = queueRoundTrips();
    double t = threadRoundTrips();
    std::printf("round trips/s    serial queues %10.0f   thread+condvar %10.0f   ratio %.2f\n", q, t, q / t);

    Lateness ls, lt;
    {
        Load load(cores * 2);
        ls = sourceTimerLateness();
        lt = threadTimerLateness();
    }
    std::printf("10 ms timer, load of %u busy queues:\n", cores * 2);
    std::printf("  lateness mean  timer source %8.0f us   thread+condvar %8.0f us\n", ls.meanUs, lt.meanUs);
    std::printf("  lateness max   timer source %8.0f us   thread+condvar %8.0f us\n", ls.maxUs, lt.maxUs);
    return 0;
}
