#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <vector>

#include "base/decoder/LivePacing.h"

using namespace lumora;
using namespace std::chrono_literals;

namespace {

using Clock = LivePacing::Clock;

constexpr double kInterval = 40.0;  // ms
constexpr size_t kBacklog = 2;

struct Paced {
    std::vector<double> decodedAt;   // per frame, ms on the virtual clock
    size_t mostWaiting = 0;          // frames left waiting after a look, at most
};

// Runs the pacing as the decoder does, on a virtual clock: frames arrive at
// the given times (ms; frames arriving together are listed before the
// pacing looks), each decode takes no time, and the decoder looks again at
// the time wakeAt() names. Answers when each frame was decoded.
Paced simulate(const std::vector<double>& arrivals) {
    const Clock::time_point t0{};
    auto at = [&](double ms) { return t0 + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms)); };
    auto msOf = [&](Clock::time_point t) { return std::chrono::duration<double, std::milli>(t - t0).count(); };

    LivePacing pacing;
    pacing.start(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double, std::milli>(kInterval)),
                 1s, kBacklog);
    Paced run;
    run.decodedAt.assign(arrivals.size(), -1);
    std::deque<size_t> waiting;
    std::optional<double> wake;
    size_t next = 0;
    auto look = [&](double now) {
        while (!waiting.empty() && pacing.decodeNow(at(now), waiting.size())) {
            run.decodedAt[waiting.front()] = now;
            waiting.pop_front();
            pacing.decoded(at(now));
        }
        run.mostWaiting = std::max(run.mostWaiting, waiting.size());
        wake.reset();
        if (!waiting.empty()) wake = std::max(now, msOf(pacing.wakeAt(waiting.size())));
    };
    for (int guard = 0; (next < arrivals.size() || wake) && guard < 100000; ++guard) {
        if (next < arrivals.size() && (!wake || arrivals[next] <= *wake)) {
            const double now = arrivals[next];
            while (next < arrivals.size() && arrivals[next] == now) waiting.push_back(next++);
            look(now);
        } else {
            look(*wake);
        }
    }
    return run;
}

// Frame k sent at k intervals, arriving `offset[k]` ms later.
std::vector<double> steady(size_t frames, const std::vector<double>& offsets) {
    std::vector<double> a;
    for (size_t k = 0; k < frames; ++k) a.push_back(k * kInterval + offsets[k % offsets.size()]);
    return a;
}

}  // namespace

// The deadlines count from the first frame. When the first frame reached us
// late (a key frame takes longer), every later frame arrives a little before
// its deadline: it is still decoded as it arrives, not held to the first
// frame's phase; and so is a frame arriving just before or just after a
// deadline under jitter.
TEST(LivePacingTest, FramesNearThePhaseAreDecodedAsTheyArrive) {
    struct Case {
        const char* what;
        std::vector<double> arrivals;
    } cases[] = {
        {"first frame 18 ms late", [] {
             auto a = steady(50, {0});
             a[0] += 18;
             return a;
         }()},
        {"first frame 20 ms late", [] {
             auto a = steady(50, {0});
             a[0] += 20;
             return a;
         }()},
        {"just after the phase", steady(50, {0, 1, 2, 1})},
        {"jitter around the phase", steady(50, {0, 9, -9, 3, -2, 9, 0, -9})},
        {"jitter after a late start", [] {
             auto a = steady(50, {5, 9, -9, 3, 12, -6, 0, 8});
             a[0] += 20;
             return a;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Paced r = simulate(c.arrivals);
        for (size_t k = 0; k < c.arrivals.size(); ++k)
            EXPECT_DOUBLE_EQ(r.decodedAt[k], c.arrivals[k]) << "frame " << k << " waited";
    }
}

// Frames that come ahead of their time in a burst are spread out: no two of
// them are decoded less than half an interval apart, none waits beyond its
// deadline, and the stream is back to decoding frames as they arrive.
TEST(LivePacingTest, ABurstIsStillSpreadOut) {
    struct Case {
        const char* what;
        std::vector<double> arrivals;
        std::vector<double> decoded;
    } cases[] = {
        // Frames 1 and 2 together (2 sent early), then on time again.
        {"two together", {0, 40, 40, 120, 160}, {0, 40, 60, 120, 160}},
        // Three arrive at once ahead of time: beyond the backlog of two one
        // goes at once, the other two follow half an interval apart.
        {"three at once", {0, 1, 1, 1, 200}, {0, 1, 21, 41, 200}},
        // A frame only 5 ms after the one before it waits half an interval.
        {"close pair", {0, 40, 45, 120}, {0, 40, 60, 120}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Paced r = simulate(c.arrivals);
        EXPECT_EQ(r.decodedAt, c.decoded);
    }

    // A long run of early bursts (a device sending two frames every other
    // interval): pictures stay half an interval apart, and no frame waits
    // longer than an interval.
    std::vector<double> pairs;
    for (int k = 0; k < 50; ++k) pairs.insert(pairs.end(), {k * 2 * kInterval, k * 2 * kInterval + 1});
    Paced r = simulate(pairs);
    for (size_t k = 1; k < pairs.size(); ++k) {
        EXPECT_GE(r.decodedAt[k] - r.decodedAt[k - 1], kInterval / 2) << "frame " << k;
        EXPECT_LE(r.decodedAt[k] - pairs[k], kInterval) << "frame " << k;
    }
}

// However fast frames come, no more than the backlog bound waits, and a
// device that stalled is caught up with at once: the frames due meanwhile
// are decoded as they arrive, and afterwards frames are decoded as they come.
TEST(LivePacingTest, TheBacklogBoundHoldsAndAStallIsCaughtUpWith) {
    // Eight times the frame rate for two seconds.
    std::vector<double> fast;
    for (int k = 0; k < 400; ++k) fast.push_back(k * kInterval / 8);
    Paced r = simulate(fast);
    EXPECT_LE(r.mostWaiting, kBacklog);
    for (size_t k = 0; k < fast.size(); ++k) {
        ASSERT_GE(r.decodedAt[k], fast[k]) << "frame " << k;
        EXPECT_LE(r.decodedAt[k] - fast[k], 2 * kInterval) << "frame " << k;
    }

    // A 600 ms stall from frame 10 on: its frames then come all at once.
    std::vector<double> stalled = steady(60, {0});
    for (size_t k = 10; k < 25; ++k) stalled[k] = 25 * kInterval;
    r = simulate(stalled);
    EXPECT_LE(r.mostWaiting, kBacklog);
    for (size_t k = 0; k < stalled.size(); ++k) EXPECT_DOUBLE_EQ(r.decodedAt[k], stalled[k]) << "frame " << k;
}
