#pragma once

#include <cstdint>
#include <string>

namespace lumora {

// The peer-to-peer half of a Device's background pre-connection.
//
// A Device decides when and how to pre-connect (its queue "prequeue", the
// identifier and LAN-hint checks, the record fields and the outcome report),
// but the peer-to-peer client that does the work lives above the core
// library. The application attaches one object of this interface to every
// Device (Device::setPreConnectionFactory; DevicePreConnector in app/ is the
// implementation): created on the device's first need, kept for the
// device's life. It holds its Device weakly and reports back through
// Device::preConnectionDidConnect / preConnectionDidFail /
// preConnectionDidQueryStatus, from whatever queue the client reports on.
class DevicePreConnection {
public:
    // What a successful pre-connection found.
    struct Path {
        bool isp2p = false;  // the link ran over UDT
        int32_t mode = 0;    // the client's connect mode
        int32_t socketfd = 0;
        std::string udpAddress;
        int32_t udpPort = 0;
        std::string tcpAddress;
        int32_t tcpPort = 0;
        std::string serverIP;
    };

    virtual ~DevicePreConnection() = default;

    // Creates the client if there is none, makes this object its delegate
    // and marks it as a pre-connection client (on every call).
    virtual void prepare() = 0;
    // Connect within the LAN only, over UDT (blocks; "prequeue").
    virtual void connectJustForLan(const std::string& address, uint16_t port) = 0;
    // Connect by identifier, LAN search first (blocks; "prequeue").
    virtual void connectByUid(const std::string& udid, const std::string& host, int port) = 0;
    // Stops the client if it exists.
    virtual void stop() = 0;
    // Creates the client if it does not exist yet.
    virtual void searchState() = 0;
};

}  // namespace lumora
