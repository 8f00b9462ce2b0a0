// The screens' main loop: Qt's event loop driving the engine's main run loop
// through the wake-up hook. Figures: post-to-run latency of main-queue work
// posted from another thread, and lateness of a 10 ms run-loop timer, each
// beside the same figure for the run loop running on its own (the anchor),
// measured in the same run; and how long 6 s of timers take on the virtual
// clock.

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/RunLoop.h"
#include "ui/kit/KitApplication.h"
#include "ui/kit/RunLoopBridge.h"

using namespace lumora;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr int kPosts = 2000;
constexpr int kTicks = 100;

struct Figures {
    double postMedianUs = 0, postP99Us = 0, timerMedianUs = 0, timerP99Us = 0;
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * (v.size() - 1))];
}

// Runs the work with `spin` driving the main thread until `done`.
template <class Spin>
Figures measure(Spin spin) {
    Figures f;
    std::vector<double> posts;
    posts.reserve(kPosts);
    std::atomic<int> seen{0};
    std::thread worker([&] {
        for (int i = 0; i < kPosts; ++i) {
            auto sent = Clock::now();
            DispatchQueue::main()->async([&, sent] {
                posts.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
                seen.fetch_add(1);
            });
            std::this_thread::sleep_for(200us);
        }
    });
    spin([&] { return seen.load() >= kPosts; });
    worker.join();
    f.postMedianUs = percentile(posts, 0.5);
    f.postP99Us = percentile(posts, 0.99);

    std::vector<double> late;
    int ticks = 0;
    auto timer = RunLoopTimer::scheduled(RunLoop::main(), 10ms, true, [&](RunLoopTimer& t) {
        ++ticks;
        // The fire date is the one this fire was due at.
        late.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t.fireDate()).count());
        if (ticks >= kTicks) t.invalidate();
    });
    spin([&] { return ticks >= kTicks; });
    f.timerMedianUs = percentile(late, 0.5);
    f.timerP99Us = percentile(late, 0.99);
    return f;
}

void print(const char* what, const Figures& f) {
    std::printf("%-28s post-to-run median %7.1f us  p99 %7.1f us   10 ms timer lateness median %7.1f us  p99 %7.1f us\n",
                what, f.postMedianUs, f.postP99Us, f.timerMedianUs, f.timerP99Us);
}

}  // namespace

int main() {
    RunLoop::main();
    // Anchor: the run loop on its own.
    Figures alone = measure([](auto done) { RunLoop::main().runUntil(done, std::chrono::seconds(30)); });

    KitApplication::ensure(KitApplication::Mode::Headless);
    Figures bridged = measure([](auto done) {
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (done()) QApplication::quit();
        });
        check.start(1);
        QApplication::exec();
    });

    print("run loop alone (anchor)", alone);
    print("driven by Qt's loop", bridged);

    // 6 s of 10 ms timers on the virtual clock.
    RunLoop::setVirtualClock(true);
    int fired = 0;
    auto timer = RunLoopTimer::scheduled(RunLoop::main(), 10ms, true, [&](RunLoopTimer&) { ++fired; });
    auto t0 = Clock::now();
    for (int i = 0; i < 600; ++i) {
        RunLoop::advanceVirtualClock(10ms);
        RunLoopBridge::drain();
    }
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    timer->invalidate();
    RunLoop::setVirtualClock(false);
    std::printf("virtual clock: 6 s of 10 ms timers (%d fires) in %.2f ms of real time\n", fired, ms);
    return 0;
}
