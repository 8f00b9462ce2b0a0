#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "tools/device-emulator/DeviceEmulator.h"

namespace lumora {

namespace relayemu {
class RelayTcpEmulator;
class RelayUdpEmulator;
class LanSearchResponder;
}  // namespace relayemu

// A small world of peers on loopback for running and testing the
// application: the four relay/look-up servers (127.0.0.11 to .14, one TCP
// port), the UDP half of server 1, a LAN that answers nothing, and a few
// device emulators streaming the test clip. It points Config at them and
// at a data root of its own, and stores the device list there.
class EmulatorWorld {
public:
    struct DemoDevice {
        std::string name;
        int channels = 4;
        bool byUid = false;        // reached by identifier through relay server 1
        std::string uid;           // when byUid
        std::string password = "admin";  // what the stored device sends
        devemu::EmulatorOptions options;  // the emulator (address, talk, ...)
    };

    // The default world: "Gate" (4 channels, by address) and "Yard"
    // (2 channels, by identifier through the relay).
    static std::vector<DemoDevice> defaultDevices();

    // Starts the peers for the data root (made when missing); false and a
    // reason on failure. Lifetimes of the relay peers in seconds.
    bool start(const std::string& dataRoot, const std::vector<DemoDevice>& devices, std::string& error,
               int lifetimeSeconds = 3600);
    void stop();
    // Where the started peers listen, as the program prints it: "relay
    // servers 127.0.0.11..127.0.0.14 port P; devices Gate(127.0.0.2:P) ...".
    std::string summary() const;
    EmulatorWorld();
    ~EmulatorWorld();
    EmulatorWorld(const EmulatorWorld&) = delete;
    EmulatorWorld& operator=(const EmulatorWorld&) = delete;

    devemu::DeviceEmulator& emulator(size_t i) { return *emulators_.at(i); }
    size_t emulatorCount() const { return emulators_.size(); }
    relayemu::RelayTcpEmulator& relay(size_t i) { return *relays_.at(i); }
    const std::string& dataRoot() const { return dataRoot_; }

private:
    std::string dataRoot_;
    std::array<std::unique_ptr<relayemu::RelayTcpEmulator>, 4> relays_;
    std::unique_ptr<relayemu::RelayUdpEmulator> udp_;
    std::unique_ptr<relayemu::LanSearchResponder> lan_;
    std::vector<std::unique_ptr<devemu::DeviceEmulator>> emulators_;
};

}  // namespace lumora
