// Device connections against the device emulator on loopback.
#include "base/link/PUConnection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <mutex>
#include <thread>

#include "app/core/Device.h"
#include "base/link/OWSPMessageBuilder.h"
#include "platform/Config.h"
#include "support/WaitFor.h"
#include "tools/device-emulator/DeviceEmulator.h"

// Last: it leaks global names (CONNECTED, ERROR, ...).
#include <udt/udt.h>

using namespace lumora;
using namespace lumora::devemu;
using namespace std::chrono_literals;

namespace {

// Records what the connection reports; the consumer answers by policy.
class Recorder : public PUConnectionDelegate {
public:
    enum class Policy { KeepAll, TakeMore, Clear };
    explicit Recorder(Policy p = Policy::TakeMore) : policy_(p) {}

    void connectionDidConnectToHost(PUConnection&, const std::string&, uint16_t) override { bump(connects); }
    void connectionDidReciveDatalength(PUConnection&, int length) override {
        std::lock_guard<std::mutex> l(m);
        total += length;
    }
    int connectionDidReceiveMessage(PUConnection&, const std::vector<uint8_t>& buffer) override {
        std::lock_guard<std::mutex> l(m);
        seen.push_back({buffer.size(), total});
        bytes.insert(bytes.end(), buffer.begin(), buffer.end());
        cv.notify_all();
        switch (policy_) {
            case Policy::KeepAll: return 0;
            case Policy::TakeMore: return int(buffer.size()) + 100;
            case Policy::Clear: return -1;
        }
        return 0;
    }
    void connectionDidDisconnect(PUConnection&, const Error& error) override {
        std::lock_guard<std::mutex> l(m);
        disconnects++;
        lastError = error;
        cv.notify_all();
    }
    void reconnectUDT(PUConnection&) override { bump(reconnects); }
    void connectiondidFailedUDT(PUConnection&) override { bump(sendFailures); }

    template <class P>
    bool waitFor(P pred, std::chrono::milliseconds t = 10s) {
        std::unique_lock<std::mutex> l(m);
        return cv.wait_for(l, t, [&] { return pred(); });
    }

    std::mutex m;
    std::condition_variable cv;
    int connects = 0, disconnects = 0, reconnects = 0, sendFailures = 0;
    long total = 0;
    std::vector<std::pair<size_t, long>> seen;  // buffer size offered, bytes received so far
    std::vector<uint8_t> bytes;
    Error lastError;

private:
    void bump(int& n) {
        std::lock_guard<std::mutex> l(m);
        ++n;
        cv.notify_all();
    }
    Policy policy_;
};

EmulatorOptions udtOptions() {
    EmulatorOptions o;
    o.tcp = false;
    o.udt = true;
    o.pace = Pace::Fast;
    o.audio = false;
    return o;
}

std::unique_ptr<DeviceEmulator> startEmulator(const EmulatorOptions& o) {
    auto e = std::make_unique<DeviceEmulator>(o);
    std::string error;
    EXPECT_TRUE(e->start(error)) << error;
    return e;
}

std::vector<uint8_t> login(PUConnection& c, const char* password = "admin") {
    Device d;
    d.userName = "admin";
    d.password = password;
    return OWSPMessageBuilder::buildLoginRequestExtend(d, 0, &c);
}

}  // namespace

TEST(PUConnectionTest, TagsAndSequenceNumbers) {
    auto a = PUConnection::create(PUConnection::kUDT, nullptr);
    auto b = PUConnection::create(PUConnection::kHTTP, nullptr);
    EXPECT_EQ(b->tag(), a->tag() + 1);
    EXPECT_EQ(a->sequenceNumber(), 1u);
    EXPECT_EQ(a->sequenceNumber(), 2u);
    EXPECT_EQ(b->sequenceNumber(), 1u);
    EXPECT_FALSE(b->openPort("127.0.0.2", 80));  // HTTP does not open by address
}

TEST(PUConnectionUdtTest, ConsumerContract) {
    for (auto policy : {Recorder::Policy::KeepAll, Recorder::Policy::TakeMore, Recorder::Policy::Clear}) {
        SCOPED_TRACE(int(policy));
        auto emu = startEmulator(udtOptions());
        auto rec = std::make_shared<Recorder>(policy);
        auto c = PUConnection::create(PUConnection::kUDT, rec);
        ASSERT_TRUE(c->openPort("127.0.0.2", emu->udtPort()));
        EXPECT_TRUE(c->connected());
        EXPECT_FALSE(c->UDTflag());  // nothing is received before the first send
        c->sendMessage(login(*c));
        EXPECT_TRUE(c->UDTflag());
        ASSERT_TRUE(rec->waitFor([&] { return rec->total > 20000 && rec->seen.size() >= 3; }));
        c->close();
        std::lock_guard<std::mutex> l(rec->m);
        long before = 0;
        for (auto [offered, total] : rec->seen) {
            if (policy == Recorder::Policy::KeepAll) {
                EXPECT_EQ(long(offered), total);  // everything kept since the start
            } else {
                EXPECT_EQ(long(offered), total - before);  // only the new chunk
            }
            before = total;
        }
    }
}

TEST(PUConnectionUdtTest, UserCloseDuringBlockedReceiveEndsTheLoopQuietly) {
    EmulatorOptions o = udtOptions();
    o.forcedLoginResult = 2;  // refused: the device answers once, then stays silent
    auto emu = startEmulator(o);
    auto rec = std::make_shared<Recorder>();
    auto c = PUConnection::create(PUConnection::kUDT, rec);
    ASSERT_TRUE(c->openPort("127.0.0.2", emu->udtPort()));
    c->sendMessage(login(*c));
    ASSERT_TRUE(rec->waitFor([&] { return rec->total > 0; }));
    c->close();
    // The loop ends long before its 15 s receive time-out would.
    auto queue = c->udtQueue();
    auto done = std::async(std::launch::async, [queue] { queue->sync([] {}); });
    EXPECT_EQ(done.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(emu->waitForEvent("closed", 10s));
    std::lock_guard<std::mutex> l(rec->m);
    EXPECT_EQ(rec->reconnects, 0);
    EXPECT_EQ(c->serv(), -1);
}

TEST(PUConnectionUdtTest, PeerCloseAsksForReconnectAndASendThenFails) {
    EmulatorOptions o = udtOptions();
    o.closeAfter = 1;  // the login reply, then the device closes
    auto emu = startEmulator(o);
    auto rec = std::make_shared<Recorder>();
    auto c = PUConnection::create(PUConnection::kUDT, rec);
    c->setShouldRecUDT(true);  // keep the socket so the next send meets the closed peer
    ASSERT_TRUE(c->openPort("127.0.0.2", emu->udtPort()));
    c->sendMessage(login(*c));
    ASSERT_TRUE(rec->waitFor([&] { return rec->reconnects == 1; }));
    c->sendMessage(login(*c));
    EXPECT_TRUE(rec->waitFor([&] { return rec->sendFailures == 1; }));
    EXPECT_FALSE(c->connected());
}

TEST(PUConnectionUdtTest, ReceiveTimeOutAsksForReconnect) {
    Config::shared().timeScale = 0.02;  // 15 s becomes 300 ms
    EmulatorOptions o = udtOptions();
    o.forcedLoginResult = 2;
    auto emu = startEmulator(o);
    auto rec = std::make_shared<Recorder>();
    auto c = PUConnection::create(PUConnection::kUDT, rec);
    ASSERT_TRUE(c->openPort("127.0.0.2", emu->udtPort()));
    c->sendMessage(login(*c));
    EXPECT_TRUE(rec->waitFor([&] { return rec->reconnects == 1; }));
    EXPECT_FALSE(c->connected());  // closed, since shouldRecUDT is off
}

TEST(PUConnectionUdtTest, BindsOntoAGivenUdpSocketBeforeConnecting) {
    auto emu = startEmulator(udtOptions());
    int udp = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    ASSERT_EQ(::bind(udp, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    getsockname(udp, reinterpret_cast<sockaddr*>(&a), &len);
    auto rec = std::make_shared<Recorder>();
    auto c = PUConnection::create(PUConnection::kUDT, rec);
    c->setTempudpsocket(udp);  // from now on the UDT library's to close
    ASSERT_TRUE(c->openPort("127.0.0.2", emu->udtPort()));
    EXPECT_TRUE(emu->waitForEvent("connected udt 127.0.0.1:" + std::to_string(ntohs(a.sin_port)), 10s));
    c->close();
}

TEST(PUConnectionUdtTest, AGivenSocketIsClosedWhenUdtCannotTakeIt) {
    // A descriptor the UDT library refuses to bind onto (here a pipe, not a
    // bound UDP socket) stays ours: the failed open must close it, not leak it.
    auto emu = startEmulator(udtOptions());
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    auto rec = std::make_shared<Recorder>();
    auto c = PUConnection::create(PUConnection::kUDT, rec);
    c->setTempudpsocket(fds[0]);
    EXPECT_FALSE(c->openPort("127.0.0.2", emu->udtPort()));
    EXPECT_EQ(c->tempudpsocket(), 0);
    EXPECT_EQ(::fcntl(fds[0], F_GETFD), -1) << "the given descriptor was leaked";
    ::close(fds[1]);
    c->close();
}

TEST(PUConnectionUdtTest, ConcurrentSendsKeepEveryMessageWhole) {
    // Talk audio and commands go out from different threads; a message sent
    // in several pieces must not have another thread's bytes in between.
    auto emu = startEmulator(udtOptions());
    auto rec = std::make_shared<Recorder>();
    auto c = PUConnection::create(PUConnection::kUDT, rec);
    ASSERT_TRUE(c->openPort("127.0.0.2", emu->udtPort()));
    const std::vector<uint8_t> audio(4072, 0x55);
    constexpr int kThreads = 4, kEach = 200;
    auto sender = [&] {
        for (int i = 0; i < kEach; ++i)
            c->sendMessage(OWSPMessageBuilder::buildAudioData(0, audio.data(), audio.size(), c.get()));
    };
    std::vector<std::thread> senders;
    for (int i = 0; i < kThreads; ++i) senders.emplace_back(sender);
    for (auto& t : senders) t.join();
    const long expected = long(kThreads) * kEach * long(audio.size());
    test::waitFor([&] { return emu->stats().talkAudioBytes >= expected || emu->countEvents("closed") != 0; });
    EXPECT_EQ(emu->stats().talkAudioBytes, expected);
    EXPECT_EQ(emu->countEvents("closed"), 0u);
    EXPECT_EQ(emu->countEvents("malformed"), 0u);
    EXPECT_EQ(emu->countEvents("request type"), 0u);
    std::lock_guard<std::mutex> l(rec->m);
    EXPECT_EQ(rec->sendFailures, 0);
    c->close();
}

TEST(PUConnectionUdtTest, CloseDoesNotWaitForAPeerThatStoppedReading) {
    // A peer that accepts but never reads, with a small receive buffer: what
    // the client sends soon stays unsent, and a lingering close would hold
    // the closing thread (often the main thread) for the whole linger time.
    UDT::startup();
    std::atexit([] { UDT::cleanup(); });  // paired, as the library asks
    UDTSOCKET listener = UDT::socket(AF_INET, SOCK_STREAM, 0);
    int rcvbuf = 40000;
    UDT::setsockopt(listener, 0, UDT_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.2", &a.sin_addr);
    ASSERT_NE(UDT::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), UDT::ERROR);
    int len = sizeof a;
    UDT::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    ASSERT_NE(UDT::listen(listener, 1), UDT::ERROR);
    std::promise<UDTSOCKET> accepted;
    std::thread acceptor([&] {
        sockaddr_in peer{};
        int plen = sizeof peer;
        accepted.set_value(UDT::accept(listener, reinterpret_cast<sockaddr*>(&peer), &plen));
    });

    auto rec = std::make_shared<Recorder>();
    auto c = PUConnection::create(PUConnection::kUDT, rec);
    ASSERT_TRUE(c->openPort("127.0.0.2", ntohs(a.sin_port)));
    UDTSOCKET peer = accepted.get_future().get();
    acceptor.join();
    const int s = c->serv();
    std::thread sender([&] {
        const std::vector<uint8_t> data(4096, 0x55);
        while (c->connected()) c->sendMessage(data);
    });
    // Wait until the peer's buffer (32 packets) is full and packets stay in
    // the client's.
    int unsent = 0, held = 0, size = sizeof unsent;
    for (int i = 0; i < 2000 && (held < 30 || unsent == 0); ++i) {
        std::this_thread::sleep_for(5ms);
        UDT::getsockopt(s, 0, UDT_SNDDATA, &unsent, &size);
        UDT::getsockopt(peer, 0, UDT_RCVDATA, &held, &size);
    }
    ASSERT_GT(unsent, 0);
    ASSERT_GE(held, 30);
    c->close();
    // close() has handed the socket over to be closed elsewhere: it still
    // lingers (for a second) after close() returned.
    EXPECT_EQ(UDT::getsockstate(s), CONNECTED);
    sender.join();
    UDT::close(peer);
    UDT::close(listener);
}

// The child half of the test below, run in a process of its own (skipped
// unless the parent sets LUMORA_UDT_EXIT_PORT): opens several UDT links to
// the parent's device, lets their receive loops stream, and exits while they
// are still inside the library.
TEST(PUConnectionUdtTest, ExitWhileReceivingChild) {
    const char* port = std::getenv("LUMORA_UDT_EXIT_PORT");
    if (!port) GTEST_SKIP() << "run by ExitWithReceiveLoopsRunningIsClean";
    std::vector<std::shared_ptr<Recorder>> recorders;
    std::vector<PUConnectionPtr> links;
    for (int i = 0; i < 8; ++i) {
        auto rec = std::make_shared<Recorder>(Recorder::Policy::Clear);
        auto c = PUConnection::create(PUConnection::kUDT, rec);
        if (!c->openPort("127.0.0.2", static_cast<uint16_t>(std::atoi(port)))) std::_Exit(3);
        c->sendMessage(login(*c));
        recorders.push_back(rec);
        links.push_back(c);
    }
    for (auto& rec : recorders)
        if (!rec->waitFor([&] { return rec->total > 0; }, 60s)) std::_Exit(4);  // slow under sanitizers
    std::exit(7);  // every loop still running; 7 tells the parent it got this far
}

// No process exits with a UDT receive loop still inside the library: exit
// closes the open sockets and waits for the loops, so it never crashes.
TEST(PUConnectionUdtTest, ExitWithReceiveLoopsRunningIsClean) {
    auto emu = startEmulator(udtOptions());
    const std::string port = std::to_string(emu->udtPort());
#ifdef __SANITIZE_THREAD__
    constexpr int kRuns = 3;  // eight UDT links start slowly under the thread sanitizer
#else
    constexpr int kRuns = 20;
#endif
    for (int run = 0; run < kRuns; ++run) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setenv("LUMORA_UDT_EXIT_PORT", port.c_str(), 1);
            execl("/proc/self/exe", "child", "--gtest_filter=PUConnectionUdtTest.ExitWhileReceivingChild",
                  static_cast<char*>(nullptr));
            std::_Exit(127);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << "run " << run << ": ended by signal " << WTERMSIG(status);
        ASSERT_EQ(WEXITSTATUS(status), 7) << "run " << run;
    }
}
