#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dispatch/DispatchSource.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

using namespace lumora;
using namespace std::chrono_literals;
using lumora::test::waitFor;

namespace {

// A source's handlers counted, with the cancel handler's run recorded.
struct Counts {
    std::atomic<int> events{0};
    std::atomic<unsigned long> data{0};
    std::atomic<int> cancels{0};
    std::atomic<bool> eventAfterCancel{false};
};

void countOn(const DispatchSourcePtr& s, Counts& c) {
    DispatchSource* raw = s.get();
    s->setEventHandler([raw, &c] {
        if (c.cancels.load() > 0) c.eventAfterCancel = true;
        c.data += raw->data();
        c.events++;
    });
    s->setCancelHandler([&c] { c.cancels++; });
}

struct Pipe {
    int r = -1, w = -1;
    Pipe() {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
        r = fds[0];
        w = fds[1];
    }
    ~Pipe() {
        if (r >= 0) ::close(r);
        if (w >= 0) ::close(w);
    }
};

}  // namespace

TEST(DispatchSource, OneShotTimerFiresOnce) {
    auto q = DispatchQueue::createSerial("timer");
    auto t = DispatchSource::makeTimer(q);
    Counts c;
    countOn(t, c);
    t->setTimer(5ms, DispatchSource::kForever);
    t->resume();
    ASSERT_TRUE(waitFor([&] { return c.events.load() == 1; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(c.events.load(), 1);
    EXPECT_EQ(c.data.load(), 1u);
    t->cancel();
    ASSERT_TRUE(waitFor([&] { return c.cancels.load() == 1; }));
}

TEST(DispatchSource, RepeatingTimerFiresUntilCancelledAndNeverAfter) {
    auto q = DispatchQueue::createSerial("timer");
    auto t = DispatchSource::makeTimer(q);
    Counts c;
    countOn(t, c);
    t->setTimer(1ms, 2ms, 1ms);
    t->resume();
    ASSERT_TRUE(waitFor([&] { return c.events.load() >= 5; }));
    // Cancelled on its own queue: no handler starts afterwards.
    q->sync([&] { t->cancel(); });
    ASSERT_TRUE(waitFor([&] { return c.cancels.load() == 1; }));
    int after = c.events.load();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(c.events.load(), after);
    EXPECT_FALSE(c.eventAfterCancel.load());
    EXPECT_GE(c.data.load(), static_cast<unsigned long>(after));  // merged fires are counted
}

TEST(DispatchSource, TimerFiresMergeWhileTheHandlerIsBusy) {
    auto q = DispatchQueue::createSerial("timer");
    auto t = DispatchSource::makeTimer(q);
    std::atomic<int> calls{0};
    std::atomic<unsigned long> maxData{0};
    DispatchSource* raw = t.get();
    t->setEventHandler([&, raw] {
        if (raw->data() > maxData.load()) maxData = raw->data();
        if (calls++ == 0) std::this_thread::sleep_for(40ms);
    });
    t->setTimer(1ms, 2ms);
    t->resume();
    ASSERT_TRUE(waitFor([&] { return calls.load() >= 2; }));
    t->cancel();
    EXPECT_GT(maxData.load(), 1u);
}

TEST(DispatchSource, SetTimerAgainReplacesTheSchedule) {
    auto q = DispatchQueue::createSerial("timer");
    auto t = DispatchSource::makeTimer(q);
    Counts c;
    countOn(t, c);
    t->setTimer(std::chrono::hours(1), std::chrono::hours(1));
    t->resume();
    t->setTimer(5ms, DispatchSource::kForever);  // re-armed from now, one shot
    ASSERT_TRUE(waitFor([&] { return c.events.load() == 1; }));
    // A repeating schedule replaced by a far one-shot stops firing.
    t->setTimer(1ms, 1ms);
    ASSERT_TRUE(waitFor([&] { return c.events.load() >= 3; }));
    q->sync([&] { t->setTimer(std::chrono::hours(1), DispatchSource::kForever); });
    int n = c.events.load();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(c.events.load(), n);
    t->cancel();
    ASSERT_TRUE(waitFor([&] { return c.cancels.load() == 1; }));
}

TEST(DispatchSource, SuspendAndResumeAreCountedAndSourcesStartSuspended) {
    auto q = DispatchQueue::createSerial("timer");
    auto t = DispatchSource::makeTimer(q);
    Counts c;
    countOn(t, c);
    t->setTimer(1ms, DispatchSource::kForever);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(c.events.load(), 0) << "fired before the first resume";
    t->suspend();  // count 2
    t->resume();   // count 1
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(c.events.load(), 0) << "fired while still suspended";
    t->resume();  // count 0: the fire that waited is delivered
    ASSERT_TRUE(waitFor([&] { return c.events.load() == 1; }));
    // A suspended source delivers its cancel handler only on resume.
    t->suspend();
    t->cancel();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(c.cancels.load(), 0);
    t->resume();
    ASSERT_TRUE(waitFor([&] { return c.cancels.load() == 1; }));
}

TEST(DispatchSource, ReadSourceReportsReadabilityAndCancelHandlerRunsOnceAfterClose) {
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv), 0);
    auto q = DispatchQueue::createSerial("read");
    auto src = DispatchSource::makeRead(sv[0], q);
    std::atomic<unsigned long> firstEstimate{0};
    std::atomic<size_t> total{0};
    std::atomic<int> events{0};
    std::atomic<int> cancels{0};
    std::atomic<bool> closedFdStillRegistered{false};
    DispatchSource* raw = src.get();
    int fd = sv[0];
    src->setEventHandler([&, raw, fd] {
        if (events++ == 0) firstEstimate = raw->data();
        // Read one byte per event: level-triggered, it must fire again.
        char b;
        if (::read(fd, &b, 1) == 1) total++;
    });
    src->setCancelHandler([&, fd] {
        cancels++;
        ::close(fd);
    });
    src->resume();
    ASSERT_EQ(::write(sv[1], "hello", 5), 5);
    ASSERT_TRUE(waitFor([&] { return total.load() == 5; }));
    EXPECT_EQ(firstEstimate.load(), 5u);
    src->cancel();
    ASSERT_TRUE(waitFor([&] { return cancels.load() == 1; }));
    // More data on a cancelled source: no event, no second cancel handler.
    int before = events.load();
    ssize_t n = ::write(sv[1], "x", 1);
    (void)n;
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(events.load(), before);
    EXPECT_EQ(cancels.load(), 1);
    (void)closedFdStillRegistered;
    ::close(sv[1]);
}

TEST(DispatchSource, CancelHandlerRunsAfterTheLastEventHandlerFinished) {
    Pipe p;
    auto q = DispatchQueue::createSerial("read");
    auto src = DispatchSource::makeRead(p.r, q);
    std::atomic<bool> inHandler{false};
    std::atomic<bool> handlerStarted{false};
    std::atomic<bool> cancelDuringHandler{false};
    std::atomic<int> cancels{0};
    src->setEventHandler([&] {
        inHandler = true;
        handlerStarted = true;
        std::this_thread::sleep_for(50ms);
        inHandler = false;
    });
    src->setCancelHandler([&] {
        if (inHandler.load()) cancelDuringHandler = true;
        cancels++;
    });
    src->resume();
    ASSERT_EQ(::write(p.w, "x", 1), 1);
    ASSERT_TRUE(waitFor([&] { return handlerStarted.load(); }));
    src->cancel();  // from another thread, while the handler runs
    ASSERT_TRUE(waitFor([&] { return cancels.load() == 1; }));
    EXPECT_FALSE(cancelDuringHandler.load());
}

TEST(DispatchSource, ReusedDescriptorNumberIsNotReportedToACancelledSource) {
    auto q = DispatchQueue::createSerial("reuse");
    Counts old;
    int oldFd;
    int writer;
    {
        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
        oldFd = fds[0];
        writer = fds[1];
    }
    auto first = DispatchSource::makeRead(oldFd, q);
    first->setEventHandler([&] { old.events++; });
    first->setCancelHandler([&, oldFd, writer] {
        old.cancels++;
        ::close(oldFd);
        ::close(writer);
    });
    first->resume();
    first->cancel();
    ASSERT_TRUE(waitFor([&] { return old.cancels.load() == 1; }));

    // The next pipe very likely reuses the number; its source works and the
    // old one stays silent.
    Pipe p;
    auto second = DispatchSource::makeRead(p.r, q);
    std::atomic<int> secondEvents{0};
    second->setEventHandler([&] {
        char buf[8];
        while (::read(p.r, buf, sizeof buf) > 0) {
        }
        secondEvents++;
    });
    std::atomic<int> secondCancels{0};
    second->setCancelHandler([&] { secondCancels++; });
    second->resume();
    ASSERT_EQ(::write(p.w, "y", 1), 1);
    ASSERT_TRUE(waitFor([&] { return secondEvents.load() >= 1; }));
    EXPECT_EQ(old.events.load(), 0);
    second->cancel();
    ASSERT_TRUE(waitFor([&] { return secondCancels.load() == 1; }));
}

TEST(DispatchSource, ReadAndWriteSourcesShareOneDescriptor) {
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv), 0);
    auto q = DispatchQueue::createSerial("both");
    auto reader = DispatchSource::makeRead(sv[0], q);
    auto writer = DispatchSource::makeWrite(sv[0], q);
    std::atomic<int> reads{0}, writes{0}, cancels{0};
    std::atomic<unsigned long> writeEstimate{0};
    DispatchSource* w = writer.get();
    reader->setEventHandler([&] {
        char buf[64];
        while (::read(sv[0], buf, sizeof buf) > 0) {
        }
        reads++;
    });
    writer->setEventHandler([&, w] {
        writeEstimate = w->data();
        if (writes++ == 0) return;
        w->suspend();  // enough: writable is reported again and again
    });
    reader->setCancelHandler([&] { cancels++; });
    writer->setCancelHandler([&] { cancels++; });
    reader->resume();
    writer->resume();
    ASSERT_TRUE(waitFor([&] { return writes.load() >= 2; }));
    EXPECT_GT(writeEstimate.load(), 0u);
    ASSERT_EQ(::write(sv[1], "ping", 4), 4);
    ASSERT_TRUE(waitFor([&] { return reads.load() >= 1; }));
    reader->cancel();
    writer->cancel();
    writer->resume();
    ASSERT_TRUE(waitFor([&] { return cancels.load() == 2; }));
    ::close(sv[0]);
    ::close(sv[1]);
}

// End of stream is readable with an estimate of 0; a regular file (which
// epoll cannot watch) counts as always readable.
TEST(DispatchSource, ReadSourceSeesEndOfStreamAndRegularFiles) {
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv), 0);
    auto q = DispatchQueue::createSerial("eof");
    auto src = DispatchSource::makeRead(sv[0], q);
    std::atomic<bool> sawEof{false};
    std::atomic<int> cancels{0};
    DispatchSource* raw = src.get();
    src->setEventHandler([&, raw] {
        char buf[16];
        ssize_t n = ::read(sv[0], buf, sizeof buf);
        if (n == 0 && raw->data() == 0) {
            sawEof = true;
            raw->cancel();
        }
    });
    src->setCancelHandler([&] {
        ::close(sv[0]);
        cancels++;
    });
    src->resume();
    ::close(sv[1]);
    ASSERT_TRUE(waitFor([&] { return cancels.load() == 1; }));
    EXPECT_TRUE(sawEof.load());

    lumora::test::TempDir dir;
    int fd = ::open(dir.file("source").c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "data", 4), 4);
    auto file = DispatchSource::makeRead(fd, q);
    std::atomic<int> fileEvents{0};
    file->setEventHandler([&] { fileEvents++; });
    file->setCancelHandler([&, fd] {
        ::close(fd);
        cancels++;
    });
    file->resume();
    ASSERT_TRUE(waitFor([&] { return fileEvents.load() >= 2; }));
    file->cancel();
    ASSERT_TRUE(waitFor([&] { return cancels.load() == 2; }));
}
