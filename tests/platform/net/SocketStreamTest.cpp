#include "platform/net/SocketStream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/runloop/RunLoop.h"

namespace lumora {
namespace {

using namespace std::chrono_literals;

// A connected loopback TCP pair: a (the streams' side) and b (the peer).
struct TcpPair {
    int a = -1, b = -1;
    TcpPair() {
        int l = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        ::bind(l, reinterpret_cast<sockaddr*>(&addr), len);
        ::listen(l, 1);
        ::getsockname(l, reinterpret_cast<sockaddr*>(&addr), &len);
        a = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::connect(a, reinterpret_cast<sockaddr*>(&addr), len);
        b = ::accept4(l, nullptr, nullptr, SOCK_CLOEXEC);
        pollfd p{a, POLLOUT, 0};
        ::poll(&p, 1, 5000);
        ::close(l);
    }
    ~TcpPair() {
        if (a >= 0) ::close(a);
        if (b >= 0) ::close(b);
    }
};

// A run-loop thread, and a record of the events its streams reported.
class SocketStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::promise<RunLoop*> ready;
        thread = std::thread([&ready] {
            RunLoop& l = RunLoop::current();
            ready.set_value(&l);
            l.runUntil([] { return stopAll.load(); }, std::chrono::hours(1));
        });
        loop = ready.get_future().get();
    }
    void TearDown() override {
        onLoop([&] {
            for (auto* s : {&readStream, &writeStream}) {
                if (*s) (*s)->unscheduleFromRunLoop(*loop);
            }
        });
        readStream.reset();
        writeStream.reset();
        stopAll = true;  // the loop's predicate; nothing may touch the loop after it
        thread.join();
        stopAll = false;
    }

    void onLoop(const std::function<void()>& f) {
        std::promise<void> done;
        loop->perform([&] {
            f();
            done.set_value();
        });
        done.get_future().wait();
    }

    // Makes, registers, schedules and opens the pair on pair.a.
    void open(unsigned readEvents, unsigned writeEvents) {
        SocketStream::createPairWithSocket(pair.a, &readStream, &writeStream);
        auto client = [this](SocketStream& s, SocketStream::Event e) {
            std::lock_guard<std::mutex> lock(mutex);
            events.push_back({s.kind(), e});
            cv.notify_all();
        };
        ASSERT_TRUE(readStream->setClient(readEvents, client));
        ASSERT_TRUE(writeStream->setClient(writeEvents, client));
        bool scheduled = false;
        onLoop([&] { scheduled = readStream->scheduleInRunLoop(*loop) && writeStream->scheduleInRunLoop(*loop); });
        ASSERT_TRUE(scheduled);
        ASSERT_TRUE(readStream->open());
        ASSERT_TRUE(writeStream->open());
        EXPECT_FALSE(readStream->open());  // once only
    }

    size_t count(SocketStream::Kind k, SocketStream::Event e) {
        std::lock_guard<std::mutex> lock(mutex);
        size_t n = 0;
        for (auto& ev : events) n += ev.first == k && ev.second == e;
        return n;
    }
    bool waitFor(SocketStream::Kind k, SocketStream::Event e, size_t n = 1) {
        auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (count(k, e) >= n) return true;
            std::unique_lock<std::mutex> lock(mutex);
            cv.wait_for(lock, 20ms);
        }
        return false;
    }
    // Lets the loop run a while, for events that must not come.
    void settle() {
        std::this_thread::sleep_for(150ms);
        onLoop([] {});
    }

    static inline std::atomic<bool> stopAll{false};
    TcpPair pair;
    std::thread thread;
    RunLoop* loop = nullptr;
    std::shared_ptr<SocketStream> readStream, writeStream;
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::pair<SocketStream::Kind, SocketStream::Event>> events;
};

constexpr auto R = SocketStream::Kind::Read;
constexpr auto W = SocketStream::Kind::Write;
constexpr unsigned kErrEnd = SocketStream::kEventErrorOccurred | SocketStream::kEventEndEncountered;

TEST_F(SocketStreamTest, PeerEndIsReportedOnceAndLeavesPendingBytesReadable) {
    open(kErrEnd, kErrEnd);
    ASSERT_EQ(::send(pair.b, "bye", 3, MSG_NOSIGNAL), 3);
    ::shutdown(pair.b, SHUT_WR);
    ASSERT_TRUE(waitFor(R, SocketStream::kEventEndEncountered));
    settle();
    EXPECT_EQ(count(R, SocketStream::kEventEndEncountered), 1u);
    EXPECT_EQ(count(R, SocketStream::kEventErrorOccurred), 0u);
    EXPECT_EQ(count(W, SocketStream::kEventEndEncountered), 0u);  // this side can still write
    EXPECT_EQ(readStream->status(), SocketStream::Status::AtEnd);
    // The stream consumed nothing: the peer's last bytes are still there.
    uint8_t buf[8];
    EXPECT_EQ(readStream->read(buf, sizeof buf), 3);
    EXPECT_EQ(readStream->read(buf, sizeof buf), 0);
}

TEST_F(SocketStreamTest, BytesAndRoomAreReportedOnceUntilTheNextReadOrWrite) {
    open(kErrEnd | SocketStream::kEventHasBytesAvailable, kErrEnd | SocketStream::kEventCanAcceptBytes);
    ASSERT_TRUE(waitFor(W, SocketStream::kEventCanAcceptBytes));
    settle();
    EXPECT_EQ(count(W, SocketStream::kEventCanAcceptBytes), 1u);
    EXPECT_TRUE(writeStream->canAcceptBytes());
    EXPECT_EQ(writeStream->write(reinterpret_cast<const uint8_t*>("hi"), 2), 2);
    ASSERT_TRUE(waitFor(W, SocketStream::kEventCanAcceptBytes, 2));

    uint8_t buf[16];
    EXPECT_FALSE(readStream->hasBytesAvailable());
    EXPECT_EQ(readStream->read(buf, sizeof buf), SocketStream::kWouldBlock);
    ASSERT_EQ(::send(pair.b, "abc", 3, MSG_NOSIGNAL), 3);
    ASSERT_TRUE(waitFor(R, SocketStream::kEventHasBytesAvailable));
    settle();
    EXPECT_EQ(count(R, SocketStream::kEventHasBytesAvailable), 1u);  // not again while unread
    EXPECT_TRUE(readStream->hasBytesAvailable());
    EXPECT_EQ(readStream->read(buf, sizeof buf), 3);
    ASSERT_EQ(::send(pair.b, "d", 1, MSG_NOSIGNAL), 1);
    ASSERT_TRUE(waitFor(R, SocketStream::kEventHasBytesAvailable, 2));
}

TEST_F(SocketStreamTest, ResetIsAnErrorWithItsMeaning) {
    open(kErrEnd, kErrEnd);
    linger l{1, 0};
    ::setsockopt(pair.b, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(pair.b);  // sends a reset
    pair.b = -1;
    ASSERT_TRUE(waitFor(R, SocketStream::kEventErrorOccurred) || waitFor(W, SocketStream::kEventErrorOccurred));
    settle();
    std::shared_ptr<SocketStream> failed =
        count(R, SocketStream::kEventErrorOccurred) ? readStream : writeStream;
    EXPECT_EQ(failed->status(), SocketStream::Status::Error);
    EXPECT_EQ(failed->error().meaning(), ErrorMeaning::ConnectionReset) << failed->error().toString();
    EXPECT_LE(count(R, SocketStream::kEventErrorOccurred), 1u);
    EXPECT_LE(count(W, SocketStream::kEventErrorOccurred), 1u);
}

TEST_F(SocketStreamTest, ClosedOrClientlessStreamsReportNothing) {
    open(kErrEnd, kErrEnd);
    readStream->close();
    writeStream->setClient(0, nullptr);
    EXPECT_FALSE(readStream->setClient(kErrEnd, [](SocketStream&, SocketStream::Event) {}));
    ::shutdown(pair.b, SHUT_RDWR);
    settle();
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_TRUE(events.empty());
    uint8_t buf[1];
    EXPECT_EQ(readStream->read(buf, 1), -1);
}

}  // namespace
}  // namespace lumora
