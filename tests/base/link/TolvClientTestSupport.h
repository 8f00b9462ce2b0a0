#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/link/TolvClient.h"
#include "base/network/NETStatusObj.h"
#include "platform/Config.h"
#include "platform/ErrorCodes.h"
#include "RelayTestSupport.h"
#include "support/WaitFor.h"
#include "tools/device-emulator/DeviceEmulator.h"
#include "tools/relay-emulator/LanSearchResponder.h"
#include "tools/relay-emulator/RelayUdpEmulator.h"

namespace lumora::test {

inline const char* kDeviceAddr = "127.0.0.21";
inline const char* kLanAddr = "127.0.0.31";
inline const char* kP2PUid = "LUMORA-P2P-DEVICE-0042";

// Records what the client reports, as texts: "connect", "query 1",
// "disconnect NETErr 1003", "recon".
struct ClientRecorder : TolvClientDelegate {
    mutable std::mutex m;
    std::vector<std::string> events;

    void add(std::string e) {
        std::lock_guard<std::mutex> g(m);
        events.push_back(std::move(e));
    }
    std::vector<std::string> all() const {
        std::lock_guard<std::mutex> g(m);
        return events;
    }
    int count(const std::string& e) const {
        std::lock_guard<std::mutex> g(m);
        return static_cast<int>(std::count(events.begin(), events.end(), e));
    }
    bool waitFor(const std::string& e, int n = 1) const {
        return test::waitFor([&] { return count(e) >= n; });
    }
    std::string joined() const {
        std::string s;
        for (const auto& e : all()) s += e + "; ";
        return s;
    }

    void tolvClientDidConnect(const std::string& udid, const std::string& timestr) override {
        EXPECT_FALSE(timestr.empty());
        (void)udid;
        add("connect");
    }
    void tolvClientDidDisConnect(const std::string&, const Error& error) override {
        add("disconnect " + error.domain + " " + std::to_string(error.code));
    }
    void tolvClientShouldRecon(const std::string&, const std::string& udid) override { add("recon " + udid); }
    int tolvClientDidRecData(const std::vector<uint8_t>&, const std::string&, const std::string&) override {
        return -1;
    }
    void tolvClientDidRecDataLength(int, const std::string&, const std::string&) override {}
    void tolvClientDidQueryStatus(const std::string&, bool online) override {
        add(std::string("query ") + (online ? "1" : "0"));
    }
};

// Four relay servers (TCP) on 127.0.0.11-14, the UDP half of server 1, a
// device emulator on 127.0.0.21 (TCP and UDT), and a fresh client with a
// recording delegate. Time-outs run at a twentieth.
class TolvClientFixture : public ::testing::Test {
protected:
    void SetUp() override {
        Config& cfg = Config::shared();
        cfg.timeScale = 0.05;
        cfg.lanLocalPort = 0;
        NETStatusObj::sharedInstance().setIsHaveNet(true);
        NETStatusObj::sharedInstance().setIsWIFI(false);
        ASSERT_TRUE(servers.start());
        udp = std::make_unique<relayemu::RelayUdpEmulator>(RelayServers::host(0), 0,
                                                           relayemu::RelayUdpEmulator::Script{});
        ASSERT_TRUE(udp->ok());
        cfg.relayUdpPort = udp->port();
        recorder = std::make_shared<ClientRecorder>();
        client = TolvClient::create();
        client->setTolvClientdelegate(recorder);
    }
    void TearDown() override {
        if (client) client->stopConnect();
        client.reset();
        if (device) device->stop();
    }

    void startDevice(bool silent = true) {
        devemu::EmulatorOptions o;
        o.tcpHost = kDeviceAddr;
        o.udt = true;
        o.udtHost = kDeviceAddr;
        o.audio = false;
        device = std::make_unique<devemu::DeviceEmulator>(o);
        std::string error;
        ASSERT_TRUE(device->start(error)) << error;
        device->setSilent(silent);
    }
    long deviceSessions() const { return device->stats().sessions; }

    // Server i knows the device and answers an open request with mode/port.
    void knownOn(int i, uint32_t mode, uint16_t port, relayemu::RelayTcpEmulator::Device d = {}) {
        d.open.mode = mode;
        d.open.addr = kDeviceAddr;
        d.open.port = port;
        servers[i].registerDevice(kP2PUid, d);
    }

    RelayServers servers;
    std::unique_ptr<relayemu::RelayUdpEmulator> udp;
    std::unique_ptr<devemu::DeviceEmulator> device;
    std::shared_ptr<ClientRecorder> recorder;
    std::shared_ptr<TolvClient> client;
};

}  // namespace lumora::test
