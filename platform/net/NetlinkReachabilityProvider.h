#pragma once

#include <atomic>
#include <mutex>
#include <thread>

#include "platform/net/ReachabilityProvider.h"

namespace lumora {

// Reachability from the Linux routing table (rtnetlink).
//
// A target is reachable when the kernel has a usable route to it: a unicast
// or local route whose output interface is up and whose link is not down.
// The route is direct when it has no gateway (the target is on a link of
// this host). It goes over the cellular interface when the output
// interface's name matches Config::cellularInterfaces. The address 0.0.0.0
// asks for the default route of the main table.
//
// Changes: a thread watches link, address and IPv4 route changes and calls
// the listeners after each burst of messages. The subscription is made
// before the first addChangeListener() returns; the thread stops when the
// provider is destroyed.
class NetlinkReachabilityProvider : public ReachabilityProvider {
public:
    NetlinkReachabilityProvider() = default;
    ~NetlinkReachabilityProvider() override;

    std::optional<uint32_t> flagsForAddress(const sockaddr_in& address) override;
    std::optional<uint32_t> flagsForHostName(const std::string& name) override;

    // True when the interface name matches one of the configured cellular
    // patterns.
    static bool isCellularInterface(const std::string& name);

protected:
    void listenersChanged(size_t count) override;

private:
    // Owns the bound netlink socket; ends when stopFd becomes readable (the
    // destructor closes stopFd after the thread ended).
    void watch(int subscribedFd, int stopFd);

    std::mutex lock_;
    std::thread watcher_;
    int stopFd_ = -1;  // eventfd that ends the watcher
};

}  // namespace lumora
