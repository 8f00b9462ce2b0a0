#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/NotificationCenter.h"

using namespace lumora;

TEST(NotificationCenter, ObserversRunInOrderOnThePostingThreadFilteredBySender) {
    auto& nc = NotificationCenter::defaultCenter();
    int senderA = 0, senderB = 0;
    std::vector<std::string> calls;
    auto id1 = nc.addObserver("changed", nullptr, [&](const Notification& n) {
        calls.push_back("any:" + std::to_string(std::any_cast<int>(n.userInfo)));
    });
    auto id2 = nc.addObserver("changed", &senderA, [&](const Notification&) { calls.push_back("A"); });
    auto id3 = nc.addObserver("other", nullptr, [&](const Notification&) { calls.push_back("other"); });
    nc.post(Notification{"changed", &senderB, 7});
    nc.post(Notification{"changed", &senderA, 8});
    EXPECT_EQ(calls, (std::vector<std::string>{"any:7", "any:8", "A"}));
    for (auto id : {id1, id2, id3}) nc.removeObserver(id);
    nc.post("changed", &senderA);
    EXPECT_EQ(calls.size(), 3u);
}

TEST(NotificationCenter, RemovalInsideACallbackTakesEffectAtOnce) {
    auto& nc = NotificationCenter::defaultCenter();
    int first = 0, second = 0;
    NotificationCenter::ObserverId secondId = 0;
    NotificationCenter::ObserverId firstId = nc.addObserver("n", nullptr, [&](const Notification&) {
        ++first;
        nc.removeObserver(secondId);  // a later observer of this very post
        nc.removeObserver(firstId);   // and itself
    });
    secondId = nc.addObserver("n", nullptr, [&](const Notification&) { ++second; });
    nc.post("n");
    nc.post("n");
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
}

// Posts from three threads while observers come and go on a fourth: an
// observer that stays sees every post exactly once, and no removed observer
// is called once its removal is over and the posts that were under way when
// it was removed have ended.
TEST(NotificationCenter, ConcurrentPostsAndRemovalsDeliverWhatTheyShould) {
    auto& nc = NotificationCenter::defaultCenter();
    std::atomic<bool> stop{false};
    std::atomic<long> posted{0}, seenByStayer{0}, seenByTransients{0};
    auto stayer = nc.addObserver("busy", nullptr, [&](const Notification&) { seenByStayer++; });
    std::vector<std::thread> posters;
    for (int i = 0; i < 3; ++i) {
        posters.emplace_back([&] {
            while (!stop.load()) {
                nc.post("busy");
                posted++;
            }
        });
    }
    while (posted.load() < 100) std::this_thread::yield();
    for (int i = 0; i < 2000 || posted.load() < 1000; ++i) {
        auto id = nc.addObserver("busy", nullptr, [&](const Notification&) { seenByTransients++; });
        nc.removeObserver(id);
    }
    stop = true;
    for (auto& t : posters) t.join();
    EXPECT_GT(posted.load(), 0);
    EXPECT_EQ(seenByStayer.load(), posted.load());
    // Every transient observer is gone: a further post reaches the stayer only.
    const long transients = seenByTransients.load();
    nc.post("busy");
    EXPECT_EQ(seenByStayer.load(), posted.load() + 1);
    EXPECT_EQ(seenByTransients.load(), transients);
    nc.removeObserver(stayer);
    nc.post("busy");
    EXPECT_EQ(seenByStayer.load(), posted.load() + 1);
}
