#include "base/network/NETStatusObj.h"

namespace lumora {

NETStatusObj& NETStatusObj::sharedInstance() {
    static NETStatusObj* instance = new NETStatusObj;  // never destroyed: work still winding down at exit may use it
    return *instance;
}

void NETStatusObj::updateWithStatus(ReachabilityStatus status, const std::function<void()>& whenReachable) {
    const bool haveNet = status != ReachabilityStatusNone;
    const bool cellular = haveNet && Reachability::is3G();
    const bool wifi = !haveNet && Reachability::isWiFi();
    if (haveNet && whenReachable) whenReachable();

    struct Change {
        std::atomic<bool>* flag;
        bool value;
    };
    const Change changes[] = {{&isHaveNet_, haveNet}, {&is3G_, cellular}, {&isWIFI_, wifi}};
    for (const auto& c : changes)
        if (c.value) c.flag->store(true);
    for (const auto& c : changes)
        if (!c.value) c.flag->store(false);
    std::vector<std::function<void()>> waiting;
    {
        std::lock_guard<std::mutex> lock(waitersMutex_);
        reported_ = true;
        waiting.swap(waiters_);
    }
    for (auto& then : waiting) then();
}

void NETStatusObj::afterFirstReport(std::function<void()> then) {
    {
        std::lock_guard<std::mutex> lock(waitersMutex_);
        if (!reported_) {
            waiters_.push_back(std::move(then));
            return;
        }
    }
    then();
}

}  // namespace lumora
