#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace lumora::test {

// A plain blocking BSD datagram socket on loopback: the far end the UDP
// socket classes talk to in tests.
class UdpPeer {
public:
    using Bytes = std::vector<uint8_t>;

    // family AF_INET (127.0.0.1) or AF_INET6 (::1); port 0: the system picks.
    explicit UdpPeer(int family = AF_INET, uint16_t port = 0, bool reuse = false) : family_(family) {
        fd_ = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        int on = 1;
        if (reuse) ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (family == AF_INET6) ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        std::vector<uint8_t> a = loopback(family, port);
        ok_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<const sockaddr*>(a.data()), static_cast<socklen_t>(a.size())) == 0;
        sockaddr_storage ss{};
        socklen_t len = sizeof ss;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&ss), &len);
        port_ = family == AF_INET ? ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port)
                                  : ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
    }
    ~UdpPeer() {
        if (fd_ >= 0) ::close(fd_);
    }
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    // Closes the socket now (its port becomes free).
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    bool ok() const { return ok_; }
    int fd() const { return fd_; }
    uint16_t port() const { return port_; }
    std::string host() const { return family_ == AF_INET ? "127.0.0.1" : "::1"; }
    Bytes address() const { return loopback(family_, port_); }

    static Bytes loopback(int family, uint16_t port) {
        if (family == AF_INET) {
            sockaddr_in sa{};
            sa.sin_family = AF_INET;
            sa.sin_port = htons(port);
            sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            auto p = reinterpret_cast<const uint8_t*>(&sa);
            return Bytes(p, p + sizeof sa);
        }
        sockaddr_in6 sa{};
        sa.sin6_family = AF_INET6;
        sa.sin6_port = htons(port);
        sa.sin6_addr = in6addr_loopback;
        auto p = reinterpret_cast<const uint8_t*>(&sa);
        return Bytes(p, p + sizeof sa);
    }

    bool sendTo(const Bytes& data, const Bytes& to) {
        return ::sendto(fd_, data.data(), data.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(to.data()),
                        static_cast<socklen_t>(to.size())) == static_cast<ssize_t>(data.size());
    }
    bool sendTo(const std::string& text, uint16_t port) {
        return sendTo(Bytes(text.begin(), text.end()), loopback(family_, port));
    }

    // The next datagram (with its sender's port), or nothing after the time-out.
    std::optional<Bytes> receive(std::chrono::milliseconds timeout = std::chrono::seconds(10),
                                 uint16_t* fromPort = nullptr) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
        Bytes buf(70000);
        sockaddr_storage ss{};
        socklen_t len = sizeof ss;
        ssize_t n = ::recvfrom(fd_, buf.data(), buf.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&ss), &len);
        if (n < 0) return std::nullopt;
        buf.resize(static_cast<size_t>(n));
        if (fromPort) {
            *fromPort = ss.ss_family == AF_INET ? ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port)
                                                : ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
        }
        return buf;
    }
    std::optional<std::string> receiveText(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        auto b = receive(timeout);
        if (!b) return std::nullopt;
        return std::string(b->begin(), b->end());
    }

    static bool ipv6Available() {
        static const bool available = UdpPeer(AF_INET6).ok();
        return available;
    }

private:
    int family_;
    int fd_ = -1;
    uint16_t port_ = 0;
    bool ok_ = false;
};

// Runs the current test again inside a new user and network namespace, with
// envName set so that run knows it is the inner one; fails when the inner run
// fails, skips when no namespace can be made here.
inline void runAgainInOwnNetworkNamespace(const char* envName) {
    if (std::system("unshare -rn true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "cannot create a user and network namespace here (unshare -rn failed)";
    char exe[4096];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = 0;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string cmd = std::string("env ") + envName + "=1 unshare -rn " + exe + " --gtest_filter=" +
                      info->test_suite_name() + "." + info->name();
    int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "namespace run failed: " << status;
}

}  // namespace lumora::test
