#pragma once

#include <cstdint>
#include <string>

#include "base/link/RkMessageBuilder.h"

namespace lumora {

// The peer-to-peer client's LAN search: one search request (0x2008) to the
// LAN group (Config lanGroup, lanPort) from a UDP socket of its own, then up
// to twelve waits of a second (scaled) for the answer (0xA008) of the device
// wanted. Other devices' answers, answers of other types and short answers
// are skipped. Keeps no state; the socket is closed before search returns.
class TolvLanSearch {
public:
    // Where a device answered it can be reached.
    struct Answer {
        uint16_t udtPort = 0;
        std::string address;
        uint16_t tcpPort = 0;

        // A device with a UDT port (neither 0 nor 0xFFFF) is reached over
        // UDT on it, any other over TCP on its TCP port.
        bool udt() const { return udtPort != 0 && udtPort != 0xFFFF; }
        uint16_t port() const { return udt() ? udtPort : tcpPort; }
    };

    enum class Outcome {
        kNotSent,  // no socket, or the request could not be sent
        kSilent,   // sent, but the device did not answer
        kFound,
    };

    struct Result {
        Outcome outcome = Outcome::kNotSent;
        Answer answer;  // kFound only
    };

    // Searches for the device `uid` (blocks the caller).
    static Result search(const std::string& uid);

    // Whether an answer's device id names the device wanted: an all-zero id
    // names no device, even when the wanted one is all zero too.
    static bool isWanted(const RkDeviceId& id, const RkDeviceId& wanted);
};

}  // namespace lumora
