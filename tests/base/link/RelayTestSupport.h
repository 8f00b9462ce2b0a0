#pragma once

#include <array>
#include <memory>
#include <random>
#include <string>

#include "platform/Config.h"
#include "support/WaitFor.h"
#include "tools/relay-emulator/RelayTcpEmulator.h"

namespace lumora::test {

// The four relay/look-up servers on 127.0.0.11 to 127.0.0.14, all on one TCP
// port (as in a deployment); the port is picked at random so test processes
// running side by side do not meet. Points Config at them.
struct RelayServers {
    std::array<std::unique_ptr<relayemu::RelayTcpEmulator>, 4> server;
    uint16_t port = 0;

    static std::string host(int i) { return "127.0.0.1" + std::to_string(i + 1); }

    bool start() { return start(relayemu::RelayTcpEmulator::Script()); }
    bool start(relayemu::RelayTcpEmulator::Script script) {
        std::random_device rd;
        std::mt19937 gen(rd());
        std::uniform_int_distribution<int> pick(20000, 59000);
        for (int attempt = 0; attempt < 50; ++attempt) {
            port = static_cast<uint16_t>(pick(gen));
            bool all = true;
            for (int i = 0; i < 4 && all; ++i) {
                server[static_cast<size_t>(i)] =
                    std::make_unique<relayemu::RelayTcpEmulator>(host(i), port, script);
                all = server[static_cast<size_t>(i)]->ok();
            }
            if (!all) continue;
            Config& cfg = Config::shared();
            for (int i = 0; i < 4; ++i) cfg.relayHosts[static_cast<size_t>(i)] = host(i);
            cfg.relayTcpPort = port;
            return true;
        }
        return false;
    }
    relayemu::RelayTcpEmulator& operator[](int i) { return *server[static_cast<size_t>(i)]; }
};

}  // namespace lumora::test
