#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/NotificationCenter.h"
#include "platform/runloop/RunLoop.h"
#include "ui/kit/NSNotificationQueue.h"
#include "ui/kit/UIView.h"
#include "ui/kit/UIViewAnimation.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

using Log = std::vector<std::string>;

TEST(AnimationTest, FinalValuesAtOnceCompletionsInOrderOnTheVirtualClock) {
    KitTestDriver driver;
    Log log;
    auto* v = new UIView(CGRectMake(0, 0, 10, 10));
    UIViewAnimation::animateWithDuration(0.5, 0.2, 0, [&] { v->setAlpha(0.5); },
                                         [&](bool finished) { log.push_back(finished ? "A" : "A!"); });
    EXPECT_EQ(v->alpha(), 0.5);
    UIViewAnimation::animateWithDuration(0.3, [&] { v->setFrame(CGRectMake(5, 5, 10, 10)); },
                                         [&](bool) { log.push_back("B"); });
    // Due at the same moment as A: after it, in scheduling order.
    UIViewAnimation::animateWithDuration(0.7, [] {}, [&](bool) { log.push_back("C"); });
    UIViewAnimation::beginAnimations("fade");
    UIViewAnimation::setAnimationDuration(0.1);
    UIViewAnimation::setAnimationDidStop([&](const std::string& id, bool) { log.push_back("stop " + id); });
    v->setHidden(true);
    UIViewAnimation::commitAnimations();
    EXPECT_TRUE(v->isHidden());
    driver.settle();
    EXPECT_TRUE(log.empty());
    struct Step {
        double by;
        Log want;
    };
    for (const Step& s : {Step{0.099, {}}, Step{0.002, {"stop fade"}}, Step{0.2, {"stop fade", "B"}},
                          Step{0.398, {"stop fade", "B"}}, Step{0.002, {"stop fade", "B", "A", "C"}}}) {
        driver.advance(s.by);
        EXPECT_EQ(log, s.want);
    }
    delete v;
}

TEST(AnimationTest, TimersAndDelayedMainQueueWorkShareTheClock) {
    KitTestDriver driver;
    Log log;
    RunLoop::main().performAfterDelay(std::chrono::milliseconds(300), [&] { log.push_back("perform"); });
    DispatchQueue::main()->after(std::chrono::milliseconds(200), [&] { log.push_back("after"); });
    auto timer = RunLoopTimer::scheduled(RunLoop::main(), std::chrono::milliseconds(250), true,
                                         [&](RunLoopTimer&) { log.push_back("tick"); });
    UIViewAnimation::animateWithDuration(0.1, [] {}, [&](bool) { log.push_back("done"); });
    driver.advance(0.6);
    timer->invalidate();
    EXPECT_EQ(log, (Log{"done", "after", "tick", "perform", "tick"}));
    // The media clock reads the run loop's clock.
    double before = CACurrentMediaTime();
    driver.advance(2);
    EXPECT_NEAR(CACurrentMediaTime() - before, 2.0, 1e-6);
}

TEST(AnimationTest, NotificationQueueCoalescesByName) {
    KitTestDriver driver;
    Log log;
    auto& center = NotificationCenter::defaultCenter();
    auto a = center.addObserver("A", nullptr, [&](const Notification&) { log.push_back("A"); });
    auto b = center.addObserver("B", nullptr, [&](const Notification&) { log.push_back("B"); });
    auto& q = NSNotificationQueue::defaultQueue();
    q.enqueueNotification(Notification{"A", nullptr, {}}, NSPostingStyle::ASAP);
    q.enqueueNotification(Notification{"B", nullptr, {}}, NSPostingStyle::ASAP);
    q.enqueueNotification(Notification{"A", nullptr, {}}, NSPostingStyle::ASAP);
    q.enqueueNotification(Notification{"B", nullptr, {}}, NSPostingStyle::ASAP, false);
    EXPECT_TRUE(log.empty());
    driver.settle();
    EXPECT_EQ(log, (Log{"A", "B", "B"}));
    center.removeObserver(a);
    center.removeObserver(b);
}

}  // namespace
