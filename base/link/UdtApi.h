#pragma once

#include <cstdint>
#include <string>

struct sockaddr;

namespace lumora {

// The UDT library's calls as the device link uses them. The one place of the
// engine that includes udt.h (which leaks global names such as CONNECTED and
// ERROR). A UDT socket is an int; -1 means none.
namespace UdtApi {

// UDT::startup, once per process.
void startup();

int socket(int family, int type, int protocol);
// Options between socket and bind/connect. `value` is what the option takes
// (int, bool or linger); these helpers hide the library's types.
bool setInt(int sock, int option, int value);
bool setBool(int sock, int option, bool value);
bool setLinger(int sock, bool on, int seconds);
// Binds the UDT socket onto an already bound UDP socket; the library then
// owns that descriptor and closes it itself.
bool bindUdp(int sock, int udpFd);
bool connect(int sock, const sockaddr* address, int length);
// Bytes sent or received; -1 on failure (see lastError*).
int send(int sock, const uint8_t* data, int length);
int recv(int sock, uint8_t* data, int length);
void close(int sock);
// Closes on the global queue: with linger on, a close may wait up to the
// linger time for bytes a stalled peer does not take. Process exit waits
// (bounded) for closes still running, as for every other call in progress.
void closeInBackground(int sock);

// Sockets made here that are not yet closed (a close still running counts):
// what each link holds inside the library (buffers, its UDP port's queues
// and threads) lives until then.
int openSockets();

// True once the process has begun to exit: every call then fails at once
// without entering the library, every open socket has been closed, and exit
// waits (bounded) for the calls that were still inside.
bool shuttingDown();

std::string lastErrorMessage();
bool lastErrorWasTimeout();

// Option numbers (UDTOpt) under names that do not collide.
enum Option : int {
    kMss,
    kSndSyn,
    kRcvSyn,
    kFc,
    kSndBuf,
    kRcvBuf,
    kLinger,
    kUdpSndBuf,
    kUdpRcvBuf,
    kRendezvous,
    kSndTimeo,
    kRcvTimeo,
    kReuseAddr,
};

}  // namespace UdtApi

}  // namespace lumora
