#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Plain blocking IPv4 socket calls with millisecond time-outs. They carry the
// LAN search datagrams, the queries to the relay/look-up servers and the UDP
// hole-punching exchange.
//
// Conventions shared by every function here:
// - A descriptor is a plain int and 0 means "no socket": a function that
//   cannot produce a socket answers 0, never -1. A socket the system hands
//   out as descriptor 0 is moved to a higher number first, so 0 never names a
//   live socket and nothing is leaked.
// - Ports are in host byte order; addresses are dotted IPv4 texts. A text
//   that is not a dotted IPv4 address fails the call (it is never taken as
//   255.255.255.255).
// - Waits use poll, so descriptors of 1024 and above work. A wait that a
//   signal interrupts goes on for the time that is left.
// - Nothing here raises SIGPIPE: sends use MSG_NOSIGNAL.
// - No function keeps state; the caller owns every descriptor it gets and
//   closes it with socketClose.
// - No function blocks longer than its time-out, except tcpSocketConnectHost
//   and tcpSocketWaitConnected, which wait as long as the system's own
//   connect does.
namespace lumora {

// A datagram socket bound to any local address and the port (0: any port);
// 0 on failure.
int udpSocketCreateBind(uint16_t port);

// Closes the descriptor when it is greater than 0; does nothing otherwise.
void socketClose(int fd);

// Waits up to ms for one datagram and receives at most size bytes of it.
// Answers the length received; 0 when nothing arrived in time or the wait
// failed; -1 when the receive itself failed. fromAddr and fromPort are
// written only when a datagram (or a receive error) was reached; after a
// receive error they hold "0.0.0.0" and 0.
int udpSocketRecvFrom(int fd, std::string& fromAddr, uint16_t& fromPort, void* buffer, size_t size,
                      int ms);

// Sends the bytes as one datagram to the address and port; answers the
// bytes sent or -1 (also for an address text that is not dotted IPv4).
int udpSocketSendTo(int fd, const std::string& addr, uint16_t port, const void* data, size_t length);

// Waits (without time-out) for a pending connect to finish. 0 when it
// completed without error, -1 otherwise.
int tcpSocketWaitConnected(int fd);

// Resolves the host name (first IPv4 address) and connects a stream socket
// to it in blocking mode. A connect that a signal interrupts is waited for.
// Answers the connected socket, 0 on failure.
int tcpSocketConnectHost(const std::string& host, uint16_t port);

// Connects a stream socket to the dotted address and port, waiting up to ms.
// Answers the connected socket, in blocking mode; 0 on failure or time-out,
// in which case no descriptor is left open.
int tcpSocketConnectTimeout(const std::string& addr, uint16_t port, int ms);

// Waits up to ms for data, clears the buffer and receives at most length
// bytes. Answers the count (0 when the peer closed); -1 on time-out or an
// interrupted receive; 0 when the wait or the receive failed otherwise.
int tcpSocketRecvTimeout(int fd, void* buffer, size_t length, int ms);

// Waits up to ms for room to send, then sends once, without blocking, as much
// of the bytes as the socket takes. Answers the count sent (the caller
// compares it with length); -1 on time-out or an interrupted send; 0 when the
// wait or the send failed otherwise.
int tcpSocketSendTimeout(int fd, const void* data, size_t length, int ms);

// The first IPv4 address of the host name (or dotted text) as dotted text;
// "" when the name is empty or has no IPv4 address.
std::string resolveFirstIPv4(const std::string& host);

// A random local port from 1023 to 65534 for a second bind attempt. Safe to
// call from any thread at once.
uint16_t randomLocalPort();

}  // namespace lumora
