#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/net/ReachabilityProvider.h"

namespace lumora {

enum ReachabilityStatus : int {
    ReachabilityStatusNone = 0,  // not reachable
    ReachabilityStatusWiFi = 1,  // reachable without the cellular interface
    ReachabilityStatusWWAN = 2,  // reachable over the cellular interface
};

// Posted on the default notification centre, with the Reachability as the
// notification's object, whenever a started watcher's flags change.
inline constexpr const char* kNetworkReachabilityChangedNotification = "kNetworkReachabilityChangedNotification";

// Watcher of one target (a host name or an IPv4 address) on the process's
// reachability provider.
//
// startNotifier() watches the target from the calling thread's run loop:
// the flags are re-read off that loop (a host name may need a look-up) and
// the change notification is posted on that loop. One notification is
// posted after the first reading even when nothing changed, so that a
// network that never changes after launch is still reported once.
//
// Destroy (or stop) a started watcher on the thread that started it.
class Reachability {
public:
    // nullptr when the name is empty.
    static std::unique_ptr<Reachability> reachabilityWithHostName(const std::string& hostName);
    // nullptr when the address is null or not AF_INET.
    static std::unique_ptr<Reachability> reachabilityWithAddress(const sockaddr_in* hostAddress);
    // The default route (0.0.0.0).
    static std::unique_ptr<Reachability> reachabilityForInternetConnection();
    // The link-local network 169.254.0.0, judged by the local Wi-Fi rule.
    static std::unique_ptr<Reachability> reachabilityForLocalWiFi();

    ~Reachability();
    Reachability(const Reachability&) = delete;
    Reachability& operator=(const Reachability&) = delete;

    // False when there is no run loop to watch from or the provider refused.
    bool startNotifier();
    void stopNotifier();

    // The status now. While the notifier runs and has read the flags once,
    // this answers from the last reading without blocking; otherwise it
    // asks the provider (which may block on a host-name look-up).
    ReachabilityStatus currentReachabilityStatus() const;
    bool connectionRequired() const;

    static ReachabilityStatus networkStatusForFlags(uint32_t flags);
    static ReachabilityStatus localWiFiStatusForFlags(uint32_t flags);

    // One-shot synchronous queries, each on a temporary watcher.
    static bool isHaveNet();  // the configured reachability host's status is not 0
    static bool isWiFi();     // the local Wi-Fi watcher's status is not 0
    static bool is3G();       // the default-route watcher's status is 2

    bool localWiFiRef() const { return localWiFiRef_; }
    const std::string& hostName() const { return hostName_; }

private:
    struct Notifier;
    Reachability(std::shared_ptr<ReachabilityProvider> provider, std::string hostName,
                 std::optional<sockaddr_in> address, bool localWiFi);
    std::optional<uint32_t> readFlags() const;
    ReachabilityStatus statusForFlags(uint32_t flags) const;

    std::shared_ptr<ReachabilityProvider> provider_;
    std::string hostName_;                // when watching a name
    std::optional<sockaddr_in> address_;  // when watching an address
    bool localWiFiRef_ = false;
    std::shared_ptr<Notifier> notifier_;
};

}  // namespace lumora
