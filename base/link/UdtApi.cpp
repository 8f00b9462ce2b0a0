// The only engine source that includes udt.h.
#include "base/link/UdtApi.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <sys/socket.h>
#include <udt/udt.h>

#include "platform/dispatch/DispatchQueue.h"

namespace lumora::UdtApi {

namespace {

UDT::SOCKOPT toOpt(int option) {
    switch (option) {
        case kMss: return UDT_MSS;
        case kSndSyn: return UDT_SNDSYN;
        case kRcvSyn: return UDT_RCVSYN;
        case kFc: return UDT_FC;
        case kSndBuf: return UDT_SNDBUF;
        case kRcvBuf: return UDT_RCVBUF;
        case kLinger: return UDT_LINGER;
        case kUdpSndBuf: return UDP_SNDBUF;
        case kUdpRcvBuf: return UDP_RCVBUF;
        case kRendezvous: return UDT_RENDEZVOUS;
        case kSndTimeo: return UDT_SNDTIMEO;
        case kRcvTimeo: return UDT_RCVTIMEO;
        case kReuseAddr: return UDT_REUSEADDR;
    }
    return UDT_MSS;
}

// Closes still running (a lingering close may take a second on a worker).
// The library's own state is torn down at process exit; a close still
// inside the library then would crash, so exit waits for them (bounded),
// then ends the library as its documentation asks (UDT::cleanup before the
// application exits): that stops its garbage-collection thread, which
// otherwise keeps taking the library's locks while its static destructors
// free them.
//
// The count's lock and condition are never destroyed: a close that outlives
// the bounded wait must still find them.
struct CloseCount {
    std::mutex lock;
    std::condition_variable done;
    int running = 0;
    int open = 0;  // sockets made and not yet closed
};

CloseCount& closes() {
    static CloseCount* count = new CloseCount;
    return *count;
}

void endAtExit() {
    CloseCount& c = closes();
    bool idle = false;
    {
        std::unique_lock<std::mutex> lock(c.lock);
        idle = c.done.wait_for(lock, std::chrono::seconds(3), [&] { return c.running == 0; });
    }
    // A close still running would meet a library being taken down.
    if (idle) UDT::cleanup();
}

}  // namespace

void startup() {
    static std::once_flag once;
    std::call_once(once, [] {
        UDT::startup();
        closes();
        // Registered after the library's statics were made, so it runs
        // before they are destroyed.
        std::atexit(endAtExit);
    });
}

int socket(int family, int type, int protocol) {
    startup();
    UDTSOCKET s = UDT::socket(family, type, protocol);
    if (s == UDT::INVALID_SOCK) return -1;
    std::lock_guard<std::mutex> lock(closes().lock);
    ++closes().open;
    return s;
}

bool setInt(int sock, int option, int value) {
    return UDT::setsockopt(sock, 0, toOpt(option), &value, sizeof value) != UDT::ERROR;
}

bool setBool(int sock, int option, bool value) {
    return UDT::setsockopt(sock, 0, toOpt(option), &value, sizeof value) != UDT::ERROR;
}

bool setLinger(int sock, bool on, int seconds) {
    linger l{on ? 1 : 0, seconds};
    return UDT::setsockopt(sock, 0, UDT_LINGER, &l, sizeof l) != UDT::ERROR;
}

bool bindUdp(int sock, int udpFd) { return UDT::bind2(sock, udpFd) != UDT::ERROR; }

bool connect(int sock, const sockaddr* address, int length) {
    return UDT::connect(sock, address, length) != UDT::ERROR;
}

int send(int sock, const uint8_t* data, int length) {
    int n = UDT::send(sock, reinterpret_cast<const char*>(data), length, 0);
    return n == UDT::ERROR ? -1 : n;
}

int recv(int sock, uint8_t* data, int length) {
    int n = UDT::recv(sock, reinterpret_cast<char*>(data), length, 0);
    return n == UDT::ERROR ? -1 : n;
}

namespace {
void closeCounted(int sock) {
    UDT::close(sock);
    CloseCount& c = closes();
    std::lock_guard<std::mutex> lock(c.lock);
    --c.running;
    --c.open;
    c.done.notify_all();
}
}  // namespace

void close(int sock) {
    if (sock < 0) return;
    {
        std::lock_guard<std::mutex> lock(closes().lock);
        ++closes().running;
    }
    closeCounted(sock);
}

void closeInBackground(int sock) {
    if (sock < 0) return;
    {
        // Counted from now, so an exit that starts before the worker does
        // still waits for it.
        std::lock_guard<std::mutex> lock(closes().lock);
        ++closes().running;
    }
    DispatchQueue::global()->async([sock] { closeCounted(sock); });
}

int openSockets() {
    std::lock_guard<std::mutex> lock(closes().lock);
    return closes().open;
}

std::string lastErrorMessage() { return UDT::getlasterror().getErrorMessage(); }

bool lastErrorWasTimeout() { return UDT::getlasterror_code() == CUDTException::ETIMEOUT; }

}  // namespace lumora::UdtApi
