// The only source of the emulator that includes udt.h: the header leaks global
// names (CONNECTED, CLOSED, ERROR, ...) that must not reach the rest.
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <netinet/in.h>
#include <thread>
#include <udt/udt.h>

#include "tools/device-emulator/EmulatorTransport.h"

namespace lumora::devemu {

namespace {

// The library is ended before the process exits, as its documentation asks
// (its garbage-collection thread would otherwise outlive its locks).
void startUdtOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        UDT::startup();
        std::atexit([] { UDT::cleanup(); });
    });
}

std::string addressText(const sockaddr_in& a) {
    char host[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(a.sin_port));
}

std::string lastError() { return UDT::getlasterror().getErrorMessage(); }

class UdtTransport : public EmulatorTransport {
public:
    UdtTransport(UDTSOCKET s, std::string peer) : sock_(s), peer_(std::move(peer)) {
        bool yes = true;
        UDT::setsockopt(s, 0, UDT_RCVSYN, &yes, sizeof yes);
        UDT::setsockopt(s, 0, UDT_SNDSYN, &yes, sizeof yes);
        int sendTimeout = 15000;
        UDT::setsockopt(s, 0, UDT_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    }
    ~UdtTransport() override { close(false); }

    std::string describe() const override { return "udt " + peer_; }

    int receive(uint8_t* buffer, size_t capacity, int timeoutMs) override {
        UDTSOCKET s = current();
        if (s == UDT::INVALID_SOCK) return -1;
        int t = timeoutMs < 1 ? 1 : timeoutMs;
        if (t != timeout_) {
            UDT::setsockopt(s, 0, UDT_RCVTIMEO, &t, sizeof t);
            timeout_ = t;
        }
        int n = UDT::recv(s, reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0);
        if (n > 0) return n;
        if (n == UDT::ERROR && UDT::getlasterror_code() == CUDTException::ETIMEOUT) return 0;
        return -1;
    }

    bool sendAll(const uint8_t* data, size_t size) override {
        UDTSOCKET s = current();
        size_t done = 0;
        while (s != UDT::INVALID_SOCK && done < size) {
            int n = UDT::send(s, reinterpret_cast<const char*>(data + done), static_cast<int>(size - done), 0);
            if (n == UDT::ERROR || n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return s != UDT::INVALID_SOCK;
    }

    void close(bool reset) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (sock_ == UDT::INVALID_SOCK) return;
        linger l{reset ? 0 : 1, reset ? 0 : 3};
        UDT::setsockopt(sock_, 0, UDT_LINGER, &l, sizeof l);
        UDT::close(sock_);
        sock_ = UDT::INVALID_SOCK;
    }

    void interrupt() override {
        // Closing the socket wakes a blocked receive or send.
        close(true);
    }

private:
    UDTSOCKET current() {
        std::lock_guard<std::mutex> lock(mutex_);
        return sock_;
    }
    std::mutex mutex_;
    UDTSOCKET sock_;
    std::string peer_;
    int timeout_ = -2;
};

class UdtListener : public EmulatorListener {
public:
    UdtListener(UDTSOCKET s, uint16_t port) : sock_(s), port_(port) {}
    ~UdtListener() override { UDT::close(sock_); }
    uint16_t port() const override { return port_; }

    std::unique_ptr<EmulatorTransport> accept(int timeoutMs) override {
        // The listener is non-blocking, so stopping never waits behind accept.
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            sockaddr_in peer{};
            int len = sizeof peer;
            UDTSOCKET s = UDT::accept(sock_, reinterpret_cast<sockaddr*>(&peer), &len);
            if (s != UDT::INVALID_SOCK) return std::make_unique<UdtTransport>(s, addressText(peer));
            if (std::chrono::steady_clock::now() >= until) return nullptr;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

private:
    UDTSOCKET sock_;
    uint16_t port_;
};

}  // namespace

std::unique_ptr<EmulatorListener> openUdtListener(const std::string& host, uint16_t port, std::string& error) {
    startUdtOnce();
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &a.sin_addr) != 1) {
        error = "not an IPv4 address: " + host;
        return nullptr;
    }
    UDTSOCKET s = UDT::socket(AF_INET, SOCK_STREAM, 0);
    if (s == UDT::INVALID_SOCK) {
        error = "udt socket: " + lastError();
        return nullptr;
    }
    bool no = false;
    UDT::setsockopt(s, 0, UDT_RCVSYN, &no, sizeof no);
    if (UDT::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == UDT::ERROR || UDT::listen(s, 64) == UDT::ERROR) {
        error = "udt " + host + ":" + std::to_string(port) + ": " + lastError();
        UDT::close(s);
        return nullptr;
    }
    int len = sizeof a;
    UDT::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    return std::make_unique<UdtListener>(s, ntohs(a.sin_port));
}

}  // namespace lumora::devemu
