#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/link/HoleDelegate.h"

namespace lumora {

// Opens a UDP path to a device behind a NAT through a relay/look-up server's
// UDP port: learns both ends' addresses from the server (0x2010 / 0x2011),
// uses the device's LAN address when both ends sit behind the same NAT, and
// otherwise punches (0x1008) towards the device while the server asks the
// device to punch back (0x3001).
//
// Every wait is a protocol time-out scaled by Config::shared().timeScale.
// Keeps no state between exchanges besides its delegate, so one instance may
// run several exchanges on different threads at once.
class ServerUdp {
public:
    // The process-wide instance, created on first use.
    static ServerUdp& sharedInstance();

    // Not owned. The delegate must outlive every exchange it may be told of,
    // or be cleared before it goes.
    HoleDelegate* delegate() const { return delegate_.load(); }
    void setDelegate(HoleDelegate* delegate) { delegate_.store(delegate); }

    // Runs the whole exchange on the calling thread (up to about 34 s at full
    // time scale), tells the delegate the result exactly once and answers 1
    // on success, 0 otherwise. The socket of a failed exchange is always
    // closed; without a delegate a punched socket is closed as well, since
    // no one could take it.
    int startHole(const std::string& uid, const std::string& serverAddr, uint16_t serverPort);

    // Closes the socket when it is greater than 0 and sets it to 0.
    static void stopHole(int* fd);

    // The server's answer to the address request (0x2011): where the device
    // is seen from outside, its LAN address, and where the server sees us.
    struct AddressAnswer {
        std::string extAddr, innerAddr, selfAddr;
        uint16_t extPort = 0, innerPort = 0, selfPort = 0;
    };
    // The two replies an exchange reads, each from one datagram exactly as
    // received (never waited on to grow: one too short for its type reads as
    // nothing).
    static std::optional<AddressAnswer> readAddressAnswer(std::span<const uint8_t> datagram);
    static bool isPunchReply(std::span<const uint8_t> datagram);

private:
    std::atomic<HoleDelegate*> delegate_{nullptr};
};

}  // namespace lumora
