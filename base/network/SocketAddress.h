#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Socket addresses as the socket classes hand them around: the raw bytes of a
// sockaddr_in or sockaddr_in6. Shared by the stream and datagram sockets.
namespace lumora::socketaddress {

using Bytes = std::vector<uint8_t>;

inline Bytes bytesOf(const void* p, size_t n) {
    auto b = static_cast<const uint8_t*>(p);
    return Bytes(b, b + n);
}

inline Bytes makeAddress4(in_addr addr, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr = addr;
    return bytesOf(&sa, sizeof sa);
}

inline Bytes makeAddress6(in6_addr addr, uint16_t port, uint32_t scope = 0) {
    sockaddr_in6 sa{};
    sa.sin6_family = AF_INET6;
    sa.sin6_port = htons(port);
    sa.sin6_addr = addr;
    sa.sin6_scope_id = scope;
    return bytesOf(&sa, sizeof sa);
}

// The family field of the bytes; AF_UNSPEC when they are too short for one.
inline int familyOf(const Bytes& address) {
    if (address.size() < sizeof(sa_family_t)) return AF_UNSPEC;
    sa_family_t family;
    std::memcpy(&family, address.data(), sizeof family);
    return family;
}

inline std::string hostFromSockaddr4(const sockaddr_in& addr) {
    char text[INET_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text)) return {};
    return text;
}

inline std::string hostFromSockaddr6(const sockaddr_in6& addr) {
    char text[INET6_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET6, &addr.sin6_addr, text, sizeof text)) return {};
    return text;
}

// Numeric host, port and family of a whole IPv4 or IPv6 address. False, with
// nothing written, for anything else.
inline bool getHost(std::string* host, uint16_t* port, int* family, const Bytes& address) {
    int fam = familyOf(address);
    if (fam == AF_INET && address.size() >= sizeof(sockaddr_in)) {
        sockaddr_in sa;
        std::memcpy(&sa, address.data(), sizeof sa);
        if (host) *host = hostFromSockaddr4(sa);
        if (port) *port = ntohs(sa.sin_port);
        if (family) *family = AF_INET;
        return true;
    }
    if (fam == AF_INET6 && address.size() >= sizeof(sockaddr_in6)) {
        sockaddr_in6 sa;
        std::memcpy(&sa, address.data(), sizeof sa);
        if (host) *host = hostFromSockaddr6(sa);
        if (port) *port = ntohs(sa.sin6_port);
        if (family) *family = AF_INET6;
        return true;
    }
    return false;
}

}  // namespace lumora::socketaddress
