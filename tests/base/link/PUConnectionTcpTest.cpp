// TCP device connections against the device emulator on loopback.
#include "base/link/PUConnection.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "app/core/Device.h"
#include "base/link/OWSPMessageBuilder.h"
#include "platform/Config.h"
#include "platform/ErrorCodes.h"
#include "tools/device-emulator/DeviceEmulator.h"

using namespace lumora;
using namespace lumora::devemu;
using namespace std::chrono_literals;

namespace {

class TcpRecorder : public PUConnectionDelegate {
public:
    explicit TcpRecorder(int answer) : answer_(answer) {}
    void connectionDidConnectToHost(PUConnection&, const std::string&, uint16_t) override { bump(connects); }
    void connectionDidReciveDatalength(PUConnection&, int length) override {
        std::lock_guard<std::mutex> l(m);
        total += length;
    }
    int connectionDidReceiveMessage(PUConnection&, const std::vector<uint8_t>& buffer) override {
        std::lock_guard<std::mutex> l(m);
        seen.push_back({buffer.size(), total});
        cv.notify_all();
        return answer_ == 1 ? int(buffer.size()) + 100 : answer_;
    }
    void connectionDidDisconnect(PUConnection&, const Error& error) override {
        std::lock_guard<std::mutex> l(m);
        ++disconnects;
        lastError = error;
        cv.notify_all();
    }
    template <class P>
    bool waitFor(P pred, std::chrono::milliseconds t = 10s) {
        std::unique_lock<std::mutex> l(m);
        return cv.wait_for(l, t, [&] { return pred(); });
    }
    std::mutex m;
    std::condition_variable cv;
    int connects = 0, disconnects = 0;
    long total = 0;
    std::vector<std::pair<size_t, long>> seen;
    Error lastError;

private:
    void bump(int& n) {
        std::lock_guard<std::mutex> l(m);
        ++n;
        cv.notify_all();
    }
    int answer_;
};

std::unique_ptr<DeviceEmulator> startTcp(EmulatorOptions o) {
    o.pace = Pace::Fast;
    o.audio = false;
    auto e = std::make_unique<DeviceEmulator>(o);
    std::string error;
    EXPECT_TRUE(e->start(error)) << error;
    return e;
}

std::vector<uint8_t> login(PUConnection& c) {
    Device d;
    d.userName = "admin";
    d.password = "admin";
    return OWSPMessageBuilder::buildLoginRequestExtend(d, 0, &c);
}

}  // namespace

TEST(PUConnectionTcpTest, ConsumerContract) {
    for (int answer : {0, 1, -1}) {  // keep all, more than the buffer, clear
        SCOPED_TRACE(answer);
        auto emu = startTcp({});
        auto rec = std::make_shared<TcpRecorder>(answer);
        auto c = PUConnection::create(PUConnection::kTCP, rec);
        EXPECT_FALSE(c->openPort("127.0.0.2", 0));
        ASSERT_TRUE(c->openPort("127.0.0.2", emu->tcpPort()));
        EXPECT_FALSE(c->openPort("127.0.0.2", emu->tcpPort()));  // already started
        ASSERT_TRUE(rec->waitFor([&] { return rec->connects == 1; }));
        c->sendMessage(login(*c));
        ASSERT_TRUE(rec->waitFor([&] { return rec->total > 20000 && rec->seen.size() >= 3; }));
        c->close();
        std::lock_guard<std::mutex> l(rec->m);
        long before = 0;
        for (auto [offered, total] : rec->seen) {
            EXPECT_EQ(long(offered), answer == 0 ? total : total - before);
            before = total;
        }
    }
}

TEST(PUConnectionTcpTest, SilentLinkClosesWithReadTimeOut) {
    Config::shared().timeScale = 0.02;  // 10 s read time-out becomes 200 ms
    EmulatorOptions o;
    o.forcedLoginResult = 2;  // answers once, then silence
    auto emu = startTcp(o);
    auto rec = std::make_shared<TcpRecorder>(1);
    auto c = PUConnection::create(PUConnection::kTCP, rec);
    ASSERT_TRUE(c->openPort("127.0.0.2", emu->tcpPort()));
    c->sendMessage(login(*c));
    ASSERT_TRUE(rec->waitFor([&] { return rec->disconnects == 1; }));
    std::lock_guard<std::mutex> l(rec->m);
    EXPECT_EQ(rec->lastError.domain, errors::kGCDAsyncSocketErrorDomain);
    EXPECT_EQ(rec->lastError.code, 4);
}

TEST(PUConnectionTcpTest, UserCloseReportsNoError) {
    auto emu = startTcp({});
    auto rec = std::make_shared<TcpRecorder>(1);
    auto c = PUConnection::create(PUConnection::kTCP, rec);
    ASSERT_TRUE(c->openPort("127.0.0.2", emu->tcpPort()));
    ASSERT_TRUE(rec->waitFor([&] { return rec->connects == 1; }));
    c->sendMessage(login(*c));
    ASSERT_TRUE(rec->waitFor([&] { return rec->total > 0; }));
    c->close();
    EXPECT_FALSE(c->connected());
    ASSERT_TRUE(rec->waitFor([&] { return rec->disconnects == 1; }));
    std::lock_guard<std::mutex> l(rec->m);
    EXPECT_TRUE(rec->lastError.empty());
}
