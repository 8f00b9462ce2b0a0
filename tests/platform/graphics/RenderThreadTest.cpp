#include "platform/graphics/RenderThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/graphics/GLContext.h"
#include "support/WaitFor.h"

using namespace lumora;

TEST(RenderThread, RunsTasksInOrderOffTheCallingThreadWithItsContextCurrent) {
    auto t = RenderThread::create("test.render");
    EXPECT_EQ(t->name(), "test.render");
    std::vector<int> order;
    std::thread::id where;
    for (int i = 0; i < 50; ++i) t->async([&order, i] { order.push_back(i); });
    bool current = false;
    t->sync([&] {
        where = std::this_thread::get_id();
        EXPECT_TRUE(t->isCurrent());
        // sync from the thread itself runs inline instead of waiting on itself.
        t->sync([&] { current = t->context() == nullptr || GLContext::currentContext() == t->context(); });
    });
    EXPECT_NE(where, std::this_thread::get_id());
    EXPECT_FALSE(t->isCurrent());
    EXPECT_TRUE(current);
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
    std::string why;
    if (GLContext::available(&why)) {
        EXPECT_NE(t->context(), nullptr);
    }
}

TEST(RenderThread, QueuedTasksRunBeforeTheThreadEnds) {
    std::atomic<int> ran{0};
    {
        auto t = RenderThread::create("test.render");
        for (int i = 0; i < 20; ++i) t->async([&] { ++ran; });
    }
    EXPECT_EQ(ran, 20);
}

TEST(RenderThread, SharedThreadsAreFewAndSpreadByUse) {
    std::vector<std::shared_ptr<RenderThread>> users;
    for (int i = 0; i < 16; ++i) users.push_back(RenderThread::shared());
    std::vector<RenderThread*> distinct;
    for (auto& u : users)
        if (std::find(distinct.begin(), distinct.end(), u.get()) == distinct.end()) distinct.push_back(u.get());
    EXPECT_EQ(distinct.size(), RenderThread::sharedCount());
    for (RenderThread* d : distinct)
        EXPECT_EQ(std::count_if(users.begin(), users.end(), [d](auto& u) { return u.get() == d; }),
                  long(16 / distinct.size()));
    for (auto& u : users) RenderThread::release(u);
}
