#pragma once

#include <string>

namespace lumora {

class Device;
class TolvClient;

// How a session reaches a device: the path the device's record names (its
// address, a pre-connection's stored path, or a relay look-up's answer)
// picks which connect the peer-to-peer client starts.
class ConnectChoice {
public:
    // Starts the client's connect along the device's path; blocks while the
    // client connects.
    static void connect(TolvClient& client, Device& device);
    // Where a link goes, for the log: the path the client took and its address.
    static std::string linkPathText(const TolvClient& client);
};

}  // namespace lumora
