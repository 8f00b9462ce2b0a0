#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace lumora {

// The reachability flag word, bit for bit as the reachability service
// publishes it.
namespace reachability_flags {
inline constexpr uint32_t kTransientConnection = 1u << 0;
inline constexpr uint32_t kReachable = 1u << 1;
inline constexpr uint32_t kConnectionRequired = 1u << 2;
inline constexpr uint32_t kConnectionOnTraffic = 1u << 3;
inline constexpr uint32_t kInterventionRequired = 1u << 4;
inline constexpr uint32_t kConnectionOnDemand = 1u << 5;
inline constexpr uint32_t kIsLocalAddress = 1u << 16;
inline constexpr uint32_t kIsDirect = 1u << 17;
inline constexpr uint32_t kIsWWAN = 1u << 18;
}  // namespace reachability_flags

// Where reachability flags come from: answers the flag word for a target
// now, and tells its listeners whenever the network configuration may have
// changed. The process uses one provider (shared()); tests install a fake
// one with setShared() before they create any watcher.
class ReachabilityProvider {
public:
    using Listener = std::function<void()>;
    using ListenerId = uint64_t;

    virtual ~ReachabilityProvider() = default;

    // Flags for an IPv4 address; nullopt when they cannot be read. The
    // address 0.0.0.0 stands for the default route.
    virtual std::optional<uint32_t> flagsForAddress(const sockaddr_in& address) = 0;
    // Flags for a host name. May block while the name is looked up; a name
    // that cannot be looked up is not reachable (0).
    virtual std::optional<uint32_t> flagsForHostName(const std::string& name) = 0;

    // Listeners run on a thread of the provider, never under the provider's
    // locks. A listener may still run once after removeChangeListener()
    // returned (when a change was being reported at that moment), so it
    // must only hold weak references.
    ListenerId addChangeListener(Listener listener);
    void removeChangeListener(ListenerId id);

    static std::shared_ptr<ReachabilityProvider> shared();
    static void setShared(std::shared_ptr<ReachabilityProvider> provider);

protected:
    // Calls every listener.
    void notifyChange();
    // Subclasses may start their change source lazily, when the first
    // listener comes.
    virtual void listenersChanged(size_t /*count*/) {}

private:
    std::mutex lock_;
    ListenerId nextId_ = 1;
    std::map<ListenerId, std::shared_ptr<Listener>> listeners_;
};

}  // namespace lumora
