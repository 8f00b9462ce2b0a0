#include "platform/net/ReachabilityProvider.h"

#include <vector>

#include "platform/net/NetlinkReachabilityProvider.h"

namespace lumora {

namespace {

std::mutex& sharedLock() {
    static std::mutex lock;
    return lock;
}

std::shared_ptr<ReachabilityProvider>& sharedSlot() {
    static std::shared_ptr<ReachabilityProvider> provider;
    return provider;
}

}  // namespace

std::shared_ptr<ReachabilityProvider> ReachabilityProvider::shared() {
    std::lock_guard<std::mutex> g(sharedLock());
    auto& slot = sharedSlot();
    if (!slot) slot = std::make_shared<NetlinkReachabilityProvider>();
    return slot;
}

void ReachabilityProvider::setShared(std::shared_ptr<ReachabilityProvider> provider) {
    std::lock_guard<std::mutex> g(sharedLock());
    sharedSlot() = std::move(provider);
}

ReachabilityProvider::ListenerId ReachabilityProvider::addChangeListener(Listener listener) {
    size_t count;
    ListenerId id;
    {
        std::lock_guard<std::mutex> g(lock_);
        id = nextId_++;
        listeners_[id] = std::make_shared<Listener>(std::move(listener));
        count = listeners_.size();
    }
    listenersChanged(count);
    return id;
}

void ReachabilityProvider::removeChangeListener(ListenerId id) {
    size_t count;
    {
        std::lock_guard<std::mutex> g(lock_);
        listeners_.erase(id);
        count = listeners_.size();
    }
    listenersChanged(count);
}

void ReachabilityProvider::notifyChange() {
    std::vector<std::shared_ptr<Listener>> copy;
    {
        std::lock_guard<std::mutex> g(lock_);
        for (auto& [id, l] : listeners_) copy.push_back(l);
    }
    for (auto& l : copy) (*l)();
}

}  // namespace lumora
