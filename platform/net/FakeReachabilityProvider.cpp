#include "platform/net/FakeReachabilityProvider.h"

#include <arpa/inet.h>

namespace lumora {

std::optional<uint32_t> FakeReachabilityProvider::flagsForAddress(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {0};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    std::lock_guard<std::mutex> g(lock_);
    ++queries_;
    auto it = addresses_.find(text);
    return it != addresses_.end() ? it->second : default_;
}

std::optional<uint32_t> FakeReachabilityProvider::flagsForHostName(const std::string& name) {
    std::lock_guard<std::mutex> g(lock_);
    ++queries_;
    auto it = hosts_.find(name);
    return it != hosts_.end() ? it->second : default_;
}

void FakeReachabilityProvider::setFlagsForHost(const std::string& name, std::optional<uint32_t> flags) {
    std::lock_guard<std::mutex> g(lock_);
    hosts_[name] = flags;
}

void FakeReachabilityProvider::setFlagsForAddress(const std::string& dottedAddress, std::optional<uint32_t> flags) {
    std::lock_guard<std::mutex> g(lock_);
    addresses_[dottedAddress] = flags;
}

void FakeReachabilityProvider::setDefaultFlags(std::optional<uint32_t> flags) {
    std::lock_guard<std::mutex> g(lock_);
    default_ = flags;
}

void FakeReachabilityProvider::changeHost(const std::string& name, std::optional<uint32_t> flags) {
    setFlagsForHost(name, flags);
    notifyChange();
}

int FakeReachabilityProvider::queryCount() const {
    std::lock_guard<std::mutex> g(lock_);
    return queries_;
}

}  // namespace lumora
