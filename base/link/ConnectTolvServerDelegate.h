#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace lumora {

class ConnetTolvServer;

// What a standing relay-server connection tells whoever asked for it last.
// Every callback runs on the main queue.
class ConnectTolvServerDelegate {
public:
    virtual ~ConnectTolvServerDelegate() = default;

    // The TCP connection to the server stands (again).
    virtual void connectTolvServerDidConnectToHost(ConnetTolvServer& server, const std::string& host,
                                                   uint16_t port) = 0;
    // One chunk as it came off the connection (tag 1); no framing is done:
    // cut messages with RkMessageParser.
    virtual void connectTolvServerDidReadData(ConnetTolvServer& server, const std::vector<uint8_t>& data,
                                              long tag) = 0;
    // Sending was refused ("NetErr" 1003 when there is no network).
    virtual void connectTolvServerWithError(ConnetTolvServer& server, const Error& error) = 0;
};

}  // namespace lumora
