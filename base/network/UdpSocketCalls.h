#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace lumora {

// The system calls behind AsyncUdpSocket, one descriptor at a time: making a
// datagram socket, turning host text into socket addresses, binding, group
// membership and broadcast, sending and receiving one datagram, and reading
// an address back as text or a descriptor's MTU. Nothing here keeps state or
// touches a run loop; descriptors are non-blocking and calls interrupted by a
// signal are repeated.
//
// Addresses are the raw bytes of a sockaddr_in or sockaddr_in6.
class UdpSocketCalls {
public:
    using ByteBuffer = std::vector<uint8_t>;

    // An address for each family; either may be empty.
    struct AddressPair {
        ByteBuffer v4;
        ByteBuffer v6;
    };

    // A non-blocking UDP socket of the family (the IPv6 one carries IPv6
    // only); -1 (logged) when there is none.
    static int openSocket(bool v4);

    // host: "" (for binding only: all interfaces), "localhost"/"loopback", a
    // numeric address or a name, resolved synchronously. False with *err (a
    // resolver error) when it names no address.
    static bool resolve(const std::string& host, uint16_t port, bool forBind, AddressPair* out, Error* err);
    // AF_INET for a whole sockaddr_in, AF_INET6 for a whole sockaddr_in6,
    // else 0.
    static int familyOf(const ByteBuffer& address);
    // Numeric host text and port; false when it holds no IPv4 or IPv6
    // address.
    static bool hostAndPort(const sockaddr_storage& ss, socklen_t len, std::string* host, uint16_t* port);
    // The descriptor's local (or peer) address; false when it has none.
    static bool addressOf(int fd, bool peer, sockaddr_storage* ss, socklen_t* len);

    static void reuseAddress(int fd);
    // False (logged) when the bind fails.
    static bool bind(int fd, const ByteBuffer& address);
    // The IPv6 address with the port the IPv4 descriptor is bound to;
    // unchanged when that cannot be read.
    static ByteBuffer withPortOf(int fd4, const ByteBuffer& v6);
    // False (logged) when the connect fails.
    static bool connect(int fd, const ByteBuffer& address);
    // False (logged) with *err when the option cannot be set.
    static bool joinGroup4(int fd, const ByteBuffer& group, const ByteBuffer& interfaceAddress, Error* err);
    static bool joinGroup6(int fd, const ByteBuffer& group, Error* err);
    static bool setBroadcast(int fd, bool flag, Error* err);

    // The path MTU when connected, else the MTU of the interface holding the
    // bound address; 0 when there is none.
    static unsigned maximumTransmissionUnit(int fd, bool v4, bool connected);

    // Zero-wait readiness test. An error waiting on the socket counts as
    // ready: the next call on it reports that error.
    static bool isReady(int fd, short events);
    // Would-block and interrupted: nothing happened, try again later.
    static bool isTransient(int err);
    // One datagram, to the connected peer when address is empty; the
    // result of send/sendto (errno holds the error when negative).
    static ssize_t send(int fd, const ByteBuffer& buffer, const ByteBuffer& address);
    // One datagram into buffer; the datagram's whole length even when it was
    // cut (errno holds the error when negative).
    static ssize_t receive(int fd, ByteBuffer& buffer, sockaddr_storage* from, socklen_t* fromLen);
};

}  // namespace lumora
