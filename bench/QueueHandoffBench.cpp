// Queue hand-off: the CPU time one async round trip between two serial
// queues costs, and the lateness of a 10 ms repeating timer source under
// load, each beside an anchor of plain standard-library code, in
// interleaved rounds.
//
// The round trip is counted in CPU time of the whole process (every thread
// that took part, waking up included) per round trip, over many round trips
// per round and many rounds: unlike round trips per second of wall time, it
// does not swing with how much of the machine other work leaves us, so it
// can serve as a regression check. Round trips per second are printed
// beside it for information.
//
// Like with like: the round-trip anchor is two equally plain serial queues
// (a mutex and a deque each) sharing a fixed pool of std::threads. Neither
// side forces a thread switch per hop: a hop runs on whichever worker picks
// the queue up, which may be the one that just finished the previous hop.
// The share of hops that did change thread is printed for both sides. The
// timer anchor is a std::thread waiting on a condition variable until each
// due time; timer lateness is bound to the scheduler and spreads widely on a
// shared machine.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <time.h>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSource.h"
#include "platform/runloop/RunLoop.h"
#include "bench/BenchRounds.h"

using namespace lumora;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr auto kRoundTripTime = 300ms;
constexpr auto kTimerInterval = 10ms;
constexpr int kTimerFires = 50;  // 0.5 s per timer run
constexpr int kRounds = 15;

// Hops that ran on another thread than the hop before them.
struct HopThreads {
    std::thread::id last;
    long hops = 0, switched = 0;
    void hop() {
        auto id = std::this_thread::get_id();
        if (hops++ > 0 && id != last) ++switched;
        last = id;
    }
    double share() const { return hops > 1 ? double(switched) / double(hops - 1) : 0; }
};

// The anchor's serial queues: a mutex and a deque each, run by a fixed pool
// of threads that take whichever queue has work.
class PlainPool {
public:
    explicit PlainPool(unsigned threads) {
        for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
    }
    ~PlainPool() {
        {
            std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
        for (auto& t : workers_) t.join();
    }
    class Queue {
    public:
        explicit Queue(PlainPool& pool) : pool_(pool) {}
        // Waits until no worker holds the queue any more.
        ~Queue() {
            for (;;) {
                {
                    std::lock_guard<std::mutex> lock(m_);
                    if (!scheduled_) return;
                }
                std::this_thread::yield();
            }
        }
        void async(std::function<void()> task) {
            bool schedule = false;
            {
                std::lock_guard<std::mutex> lock(m_);
                tasks_.push_back(std::move(task));
                if (!scheduled_) schedule = scheduled_ = true;
            }
            if (schedule) pool_.schedule(this);
        }
        // Runs what is queued; answers whether more came meanwhile.
        bool drain() {
            for (;;) {
                std::function<void()> task;
                {
                    std::lock_guard<std::mutex> lock(m_);
                    if (tasks_.empty()) {
                        scheduled_ = false;
                        return false;
                    }
                    task = std::move(tasks_.front());
                    tasks_.pop_front();
                }
                task();
            }
        }

    private:
        PlainPool& pool_;
        std::mutex m_;
        std::deque<std::function<void()>> tasks_;
        bool scheduled_ = false;
    };

private:
    void schedule(Queue* q) {
        {
            std::lock_guard<std::mutex> lock(m_);
            ready_.push_back(q);
        }
        cv_.notify_one();
    }
    void work() {
        for (;;) {
            Queue* q = nullptr;
            {
                std::unique_lock<std::mutex> lock(m_);
                cv_.wait(lock, [&] { return stop_ || !ready_.empty(); });
                if (ready_.empty()) return;
                q = ready_.front();
                ready_.pop_front();
            }
            q->drain();
        }
    }
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<Queue*> ready_;
    bool stop_ = false;
    std::vector<std::thread> workers_;
};

// ---- round trips -----------------------------------------------------------

double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct Trips {
    double perSecond = 0;
    double cpuNsPerTrip = 0;  // process CPU time per round trip
};

// Ping on queue a, pong on queue b, each handing the token to the other,
// for kRoundTripTime.
template <class MakeQueue>
Trips roundTrips(MakeQueue&& make, HopThreads& threads) {
    auto a = make("bench.a");
    auto b = make("bench.b");
    std::atomic<long> trips{0};
    std::atomic<bool> stop{false};
    std::mutex m;
    std::condition_variable cv;
    bool finished = false;
    std::function<void()> ping;
    ping = [&] {
        threads.hop();
        if (stop.load(std::memory_order_relaxed)) {
            std::lock_guard<std::mutex> lock(m);
            finished = true;
            cv.notify_all();
            return;
        }
        b->async([&] {
            threads.hop();
            trips.fetch_add(1, std::memory_order_relaxed);
            a->async(ping);
        });
    };
    const double cpu0 = processCpuSeconds();
    auto start = Clock::now();
    a->async(ping);
    std::this_thread::sleep_for(kRoundTripTime);
    stop = true;
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return finished; });
    double secs = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = processCpuSeconds() - cpu0;
    const double n = static_cast<double>(std::max(1L, trips.load()));
    return {n / secs, cpu / n * 1e9};
}

// Both figures of interleaved rounds: CPU per round trip (the one to compare),
// round trips per second beside it.
void printTrips(const char* name, const std::function<Trips()>& ours, const std::function<Trips()>& plain) {
    std::vector<double> oursRate, plainRate;
    auto figure = lumora::bench::interleave(
        std::string(name) + ", CPU/trip", "ns", kRounds,
        [&] {
            Trips t = ours();
            oursRate.push_back(t.perSecond);
            return t.cpuNsPerTrip;
        },
        [&] {
            Trips t = plain();
            plainRate.push_back(t.perSecond);
            return t.cpuNsPerTrip;
        },
        false);
    lumora::bench::print(figure, 44);
    lumora::bench::print({std::string(name) + ", trips/s (wall)", "/s", true, oursRate, plainRate}, 44);
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
    std::fflush(stdout);
    lumora::bench::printLegend("two plain serial queues (mutex + deque) on a pool of std::threads; for CPU/trip "
                               "the ratio is anchor / ours, above 1x we use less");

    // Without a thread switch: our two queues target one serial queue, so
    // every hop runs in that one serial context; the anchor's pool has one
    // thread.
    {
        HopThreads ourHops, plainHops;
        PlainPool single(1);
        auto ours = [&] {
            auto shared = DispatchQueue::createSerial("bench.shared");
            return roundTrips(
                [&](const char* label) {
                    auto q = DispatchQueue::createSerial(label);
                    q->setTarget(shared);
                    return q;
                },
                ourHops);
        };
        auto plain = [&] {
            return roundTrips([&](const char*) { return std::make_unique<PlainPool::Queue>(single); }, plainHops);
        };
        printTrips("round trip, one serial context", ours, plain);
        std::printf("  hops that changed thread: ours %.0f%%, anchor %.0f%%\n", 100 * ourHops.share(),
                    100 * plainHops.share());
    }
    // Free: two independent queues on the shared pool; a hop switches thread
    // when another worker picks the queue up first. Scheduler-bound, so the
    // spread is wide on a busy machine.
    {
        HopThreads ourHops, plainHops;
        PlainPool pool(cores);
        auto ours = [&] {
            return roundTrips([](const char* label) { return DispatchQueue::createSerial(label); }, ourHops);
        };
        auto plain = [&] {
            return roundTrips([&](const char*) { return std::make_unique<PlainPool::Queue>(pool); }, plainHops);
        };
        printTrips("round trip, two pool queues", ours, plain);
        std::printf("  hops that changed thread: ours %.0f%%, anchor %.0f%% (neither side forces a switch)\n",
                    100 * ourHops.share(), 100 * plainHops.share());
    }

    std::printf("10 ms repeating timer under a load of %u busy serial queues, lateness in microseconds:\n",
                cores * 2);
    lumora::bench::printLegend("a std::thread waiting on a condition variable until each due time", true);
    std::vector<double> oursMean, oursMax, plainMean, plainMax;
    {
        Load load(cores * 2);
        for (int r = 0; r < kRounds; ++r) {
            Lateness ls, lt;
            if (r % 2 == 0) {
                ls = sourceTimerLateness();
                lt = threadTimerLateness();
            } else {
                lt = threadTimerLateness();
                ls = sourceTimerLateness();
            }
            oursMean.push_back(ls.meanUs);
            oursMax.push_back(ls.maxUs);
            plainMean.push_back(lt.meanUs);
            plainMax.push_back(lt.maxUs);
        }
    }
    lumora::bench::print({"timer lateness, mean", "us", false, oursMean, plainMean}, 44);
    lumora::bench::print({"timer lateness, worst of a run", "us", false, oursMax, plainMax}, 44);
    return 0;
}
