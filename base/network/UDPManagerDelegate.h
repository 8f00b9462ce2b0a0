#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace lumora {

class UDPManager;

// What a UDPManager tells its owner, on the main queue. All four are
// required; the manager itself sends only didReceiveUdpMessage and
// didReceiveUdpDataTimeout.
class UDPManagerDelegate {
public:
    virtual ~UDPManagerDelegate() = default;

    // A datagram of at least 4 bytes arrived: its bytes, the sender's address
    // text (IPv4 or IPv6) and port. The answer is not looked at.
    virtual int didReceiveUdpMessage(const std::vector<uint8_t>& data, const std::string& ip, int port) = 0;
    virtual void didNotSendWithTag(long tag, const Error& error) = 0;
    // The last send had no reply within its read time-out, or failed.
    virtual void didReceiveUdpDataTimeout(UDPManager& manager) = 0;
    virtual void didSendWithTag(long tag) = 0;
};

}  // namespace lumora
