// The only engine source that includes udt.h.
#include "base/link/UdtApi.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
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

// Every call still inside the library (a receive loop blocked in recv, a
// lingering close on a worker, a blocking connect) and every socket still
// open. The library's own state is torn down by static destructors at
// process exit; a call still inside it then would crash. So exit first
// refuses new calls, closes every open socket (which wakes blocked receives
// and sends), and waits (bounded) until no call is left inside.
// Never destroyed: threads still finishing a call after exit's wait touch it.
struct ExitState {
    std::mutex lock;
    std::condition_variable done;
    int inside = 0;
    bool shutDown = false;
    std::set<int> open;
    int closing = 0;  // closes still inside the library
};
ExitState& st() {
    static ExitState* state = new ExitState;
    return *state;
}

// Counts one call into the library; false once the process is exiting.
class Inside {
public:
    Inside() {
        std::lock_guard<std::mutex> lock(st().lock);
        entered_ = !st().shutDown;
        if (entered_) ++st().inside;
    }
    ~Inside() {
        if (!entered_) return;
        {
            std::lock_guard<std::mutex> lock(st().lock);
            --st().inside;
        }
        st().done.notify_all();
    }
    explicit operator bool() const { return entered_; }

private:
    bool entered_ = false;
};

void shutDownAtExit() {
    std::set<int> open;
    {
        std::lock_guard<std::mutex> lock(st().lock);
        st().shutDown = true;
        open.swap(st().open);
    }
    for (int s : open) UDT::close(s);
    bool idle = false;
    {
        std::unique_lock<std::mutex> lock(st().lock);
        idle = st().done.wait_for(lock, std::chrono::seconds(5), [] { return st().inside == 0; });
    }
    // Then end the library as its documentation asks (cleanup before the
    // application exits): that stops its garbage-collection thread, which
    // otherwise keeps taking the library's locks while its static destructors
    // free them. A call still inside would meet a library being taken down.
    if (idle) UDT::cleanup();
}

}  // namespace

void startup() {
    static std::once_flag once;
    std::call_once(once, [] {
        UDT::startup();
        // Registered after the library's statics were made, so it runs
        // before they are destroyed.
        std::atexit(shutDownAtExit);
    });
}

int socket(int family, int type, int protocol) {
    startup();
    std::lock_guard<std::mutex> lock(st().lock);
    if (st().shutDown) return -1;
    UDTSOCKET s = UDT::socket(family, type, protocol);
    if (s == UDT::INVALID_SOCK) return -1;
    st().open.insert(s);
    return s;
}

int openSockets() {
    std::lock_guard<std::mutex> lock(st().lock);
    return static_cast<int>(st().open.size()) + st().closing;
}

bool shuttingDown() {
    std::lock_guard<std::mutex> lock(st().lock);
    return st().shutDown;
}

bool setInt(int sock, int option, int value) {
    Inside in;
    return in && UDT::setsockopt(sock, 0, toOpt(option), &value, sizeof value) != UDT::ERROR;
}

bool setBool(int sock, int option, bool value) {
    Inside in;
    return in && UDT::setsockopt(sock, 0, toOpt(option), &value, sizeof value) != UDT::ERROR;
}

bool setLinger(int sock, bool on, int seconds) {
    linger l{on ? 1 : 0, seconds};
    Inside in;
    return in && UDT::setsockopt(sock, 0, UDT_LINGER, &l, sizeof l) != UDT::ERROR;
}

bool bindUdp(int sock, int udpFd) {
    Inside in;
    return in && UDT::bind2(sock, udpFd) != UDT::ERROR;
}

bool connect(int sock, const sockaddr* address, int length) {
    Inside in;
    return in && UDT::connect(sock, address, length) != UDT::ERROR;
}

int send(int sock, const uint8_t* data, int length) {
    Inside in;
    if (!in) return -1;
    int n = UDT::send(sock, reinterpret_cast<const char*>(data), length, 0);
    return n == UDT::ERROR ? -1 : n;
}

int recv(int sock, uint8_t* data, int length) {
    Inside in;
    if (!in) return -1;
    int n = UDT::recv(sock, reinterpret_cast<char*>(data), length, 0);
    return n == UDT::ERROR ? -1 : n;
}

namespace {
// Closes a socket this process still holds open (exit may have closed it).
void closeOpen(int sock) {
    Inside in;
    if (!in) return;
    {
        std::lock_guard<std::mutex> lock(st().lock);
        if (st().open.erase(sock) == 0) return;
        ++st().closing;
    }
    UDT::close(sock);
    std::lock_guard<std::mutex> lock(st().lock);
    --st().closing;
}
}  // namespace

void close(int sock) {
    if (sock < 0) return;
    closeOpen(sock);
}

void closeInBackground(int sock) {
    if (sock < 0) return;
    auto in = std::make_shared<Inside>();  // counted from now: exit waits for the worker
    if (!*in) return;
    DispatchQueue::global()->async([sock, in] { closeOpen(sock); });
}

// The last error lives in the library's state too: read it only while the
// library is still there.
std::string lastErrorMessage() {
    Inside in;
    if (!in) return "the process is exiting";
    return UDT::getlasterror().getErrorMessage();
}

bool lastErrorWasTimeout() {
    Inside in;
    return in && UDT::getlasterror_code() == CUDTException::ETIMEOUT;
}

}  // namespace lumora::UdtApi
