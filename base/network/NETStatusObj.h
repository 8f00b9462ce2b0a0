#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "base/network/Reachability.h"

namespace lumora {

// The process-wide network-status flags, rewritten on every reachability
// change of the public host watched since launch; all false until the
// platform has reported once. Each flag is read and written as a whole from
// any queue; no lock spans several of them.
class NETStatusObj {
public:
    static NETStatusObj& sharedInstance();

    bool isHaveNet() const { return isHaveNet_.load(); }
    bool is3G() const { return is3G_.load(); }
    bool isWIFI() const { return isWIFI_.load(); }
    void setIsHaveNet(bool v) { isHaveNet_.store(v); }
    void setIs3G(bool v) { is3G_.store(v); }
    void setIsWIFI(bool v) { isWIFI_.store(v); }

    // The flag update after a change of the watched host's status: with a
    // status other than 0, isHaveNet is set and is3G tells whether the
    // default route is cellular (Reachability::is3G); with status 0, isWIFI
    // tells whether a direct link-local path is up (Reachability::isWiFi).
    //
    // All three values are worked out first and then published: a flag
    // that stays true is never cleared on the way, so a reader never sees a
    // transient "no network" while the network stays up; flags that become
    // true are published before flags that become false. whenReachable
    // (when given and the status is not 0) runs after the values are worked
    // out and before they are published: the application delegates clear
    // the external address and start its look-up there.
    void updateWithStatus(ReachabilityStatus status, const std::function<void()>& whenReachable = {});

    // True once the first status was published: before it, isHaveNet's
    // false means "not known yet", not "no network".
    bool hasReported() const { return reported_.load(); }
    // Runs `then` once the first status is published (on the thread that
    // publishes it), or at once when it already was.
    void afterFirstReport(std::function<void()> then);

private:
    NETStatusObj() = default;
    std::atomic<bool> isHaveNet_{false};
    std::atomic<bool> is3G_{false};
    std::atomic<bool> isWIFI_{false};
    std::atomic<bool> reported_{false};
    std::mutex waitersMutex_;
    std::vector<std::function<void()>> waiters_;
};

}  // namespace lumora
