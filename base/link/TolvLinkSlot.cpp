#include "base/link/TolvLinkSlot.h"

#include <utility>

namespace lumora {

PUConnectionPtr TolvLinkSlot::current() const {
    std::lock_guard<std::mutex> g(mutex_);
    return link_;
}

bool TolvLinkSlot::isCurrent(const PUConnection* connection) const {
    std::lock_guard<std::mutex> g(mutex_);
    return link_.get() == connection;
}

bool TolvLinkSlot::install(PUConnectionPtr link, const std::atomic<bool>& stopped,
                           const std::function<void(const PUConnectionPtr&)>& installed) {
    PUConnectionPtr old;
    bool refused = false;
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (link && stopped) {
            refused = true;
            old = std::move(link);
        } else {
            old = std::move(link_);
            link_ = std::move(link);
            installed(link_);
        }
    }
    if (old) {
        old->close();
        PUConnection::releaseOffQueue(std::move(old));
    }
    return !refused;
}

void TolvLinkSlot::release() {
    PUConnectionPtr link;
    {
        std::lock_guard<std::mutex> g(mutex_);
        link = std::move(link_);
    }
    if (!link) return;
    link->setDelegate(nullptr);
    link->close();
    PUConnection::releaseOffQueue(std::move(link));
}

}  // namespace lumora
