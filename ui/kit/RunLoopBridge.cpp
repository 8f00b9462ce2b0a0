#include "ui/kit/RunLoopBridge.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>

#include "platform/runloop/RunLoop.h"

namespace lumora {

namespace {
RunLoopBridge* gBridge = nullptr;
// Descriptor watchers of the main run loop do not wake Qt: look at them at
// least this often on the real clock.
constexpr int kPollMs = 15;
}  // namespace

RunLoopBridge::RunLoopBridge() {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { drainAndArm(); });
}

void RunLoopBridge::install() {
    if (gBridge) return;
    gBridge = new RunLoopBridge;
    RunLoop::main().setWakeupHook([] {
        if (gBridge) gBridge->wake();
    });
    gBridge->wake();
}

bool RunLoopBridge::isInstalled() { return gBridge != nullptr; }

void RunLoopBridge::wake() {
    if (pending_.exchange(true)) return;
    QMetaObject::invokeMethod(this, [this] { drainAndArm(); }, Qt::QueuedConnection);
}

size_t RunLoopBridge::drain() {
    size_t total = 0;
    for (int round = 0; round < 64; ++round) {
        size_t n = RunLoop::main().drainPending();
        total += n;
        if (n == 0) break;
    }
    return total;
}

void RunLoopBridge::drainAndArm() {
    pending_.store(false);
    drain();
    if (RunLoop::usesVirtualClock()) {
        timer_.stop();
        return;
    }
    auto next = RunLoop::main().nextTimerDate();
    auto now = RunLoop::main().now();
    int ms = kPollMs;
    if (next != RunLoop::Clock::time_point::max()) {
        // Rounded up: a timer that wakes early finds nothing due.
        auto waitUs = std::chrono::duration_cast<std::chrono::microseconds>(next - now).count();
        ms = static_cast<int>(std::clamp<int64_t>((waitUs + 999) / 1000, 0, kPollMs));
    }
    timer_.start(ms);
}

}  // namespace lumora
