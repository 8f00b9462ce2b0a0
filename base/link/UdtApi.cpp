// The only engine source that includes udt.h.
#include "base/link/UdtApi.h"

#include <mutex>
#include <sys/socket.h>
#include <udt/udt.h>

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

}  // namespace

void startup() {
    static std::once_flag once;
    std::call_once(once, [] { UDT::startup(); });
}

int socket(int family, int type, int protocol) {
    startup();
    UDTSOCKET s = UDT::socket(family, type, protocol);
    return s == UDT::INVALID_SOCK ? -1 : s;
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

void close(int sock) {
    if (sock >= 0) UDT::close(sock);
}

std::string lastErrorMessage() { return UDT::getlasterror().getErrorMessage(); }

bool lastErrorWasTimeout() { return UDT::getlasterror_code() == CUDTException::ETIMEOUT; }

}  // namespace lumora::UdtApi
