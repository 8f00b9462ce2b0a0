#include "ui/kit/UIViewAnimation.h"

#include <chrono>
#include <map>
#include <utility>

#include "platform/runloop/RunLoop.h"

namespace lumora {

namespace {

using Clock = RunLoop::Clock;

struct Queue {
    // (due time, sequence) → task
    std::map<std::pair<Clock::time_point, uint64_t>, std::function<void()>> tasks;
    uint64_t next = 0;
};

Queue& queue() {
    static Queue q;
    return q;
}

void runDue(bool all) {
    Queue& q = queue();
    for (;;) {
        if (q.tasks.empty()) return;
        auto it = q.tasks.begin();
        if (!all && it->first.first > RunLoop::main().now()) return;
        auto task = std::move(it->second);
        q.tasks.erase(it);
        if (task) task();
    }
}

struct Pending {
    bool open = false;
    std::string id;
    double duration = 0.2;
    double delay = 0;
    std::function<void(const std::string&, bool)> didStop;
};
Pending gPending;

}  // namespace

void UIViewAnimation::schedule(double seconds, std::function<void()> task) {
    if (seconds < 0) seconds = 0;
    auto delay = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    Queue& q = queue();
    q.tasks.emplace(std::make_pair(RunLoop::main().now() + delay, q.next++), std::move(task));
    RunLoop::main().performAfterDelay(std::chrono::duration_cast<std::chrono::nanoseconds>(delay),
                                      [] { runDue(false); });
}

void UIViewAnimation::flush() { runDue(true); }

size_t UIViewAnimation::pendingCount() { return queue().tasks.size(); }

void UIViewAnimation::animateWithDuration(double duration, double delay, unsigned, const std::function<void()>& animations,
                                          Completion completion) {
    if (animations) animations();
    if (completion) schedule(delay + duration, [completion] { completion(true); });
}

void UIViewAnimation::animateWithDuration(double duration, const std::function<void()>& animations,
                                          Completion completion) {
    animateWithDuration(duration, 0, 0, animations, std::move(completion));
}

void UIViewAnimation::transitionWithView(UIView*, double duration, unsigned options,
                                         const std::function<void()>& animations, Completion completion) {
    animateWithDuration(duration, 0, options, animations, std::move(completion));
}

void UIViewAnimation::beginAnimations(const std::string& animationId) {
    gPending = Pending{};
    gPending.open = true;
    gPending.id = animationId;
}

void UIViewAnimation::setAnimationDuration(double seconds) { gPending.duration = seconds; }
void UIViewAnimation::setAnimationDelay(double seconds) { gPending.delay = seconds; }
void UIViewAnimation::setAnimationDidStop(std::function<void(const std::string&, bool)> handler) {
    gPending.didStop = std::move(handler);
}

void UIViewAnimation::commitAnimations() {
    if (!gPending.open) return;
    Pending p = gPending;
    gPending = Pending{};
    if (p.didStop) schedule(p.delay + p.duration, [p] { p.didStop(p.id, true); });
}

double CACurrentMediaTime() {
    return std::chrono::duration<double>(RunLoop::main().now().time_since_epoch()).count();
}

}  // namespace lumora
