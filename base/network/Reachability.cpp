#include "base/network/Reachability.h"

#include <arpa/inet.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/Config.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/NotificationCenter.h"
#include "platform/runloop/RunLoop.h"

namespace lumora {

namespace rf = reachability_flags;

// State shared between a started watcher, the provider's change listener,
// the reading queue and the run loop. Only weak references lead back to it
// from the provider.
struct Reachability::Notifier {
    std::mutex lock;
    bool active = true;
    Reachability* owner = nullptr;  // not owned; cleared by stopNotifier
    RunLoop* loop = nullptr;        // the run loop that started the notifier
    std::optional<uint32_t> lastFlags;
    bool haveReading = false;
    bool posted = false;            // the first notification went out
    std::atomic<bool> readQueued{false};
    DispatchQueuePtr queue;
    ReachabilityProvider::ListenerId listener = 0;

    // Reads the flags off the run loop and reports them on it.
    static void scheduleRead(const std::shared_ptr<Notifier>& self, std::shared_ptr<ReachabilityProvider> provider,
                             std::string hostName, std::optional<sockaddr_in> address) {
        if (self->readQueued.exchange(true)) return;  // a read that has not started yet covers this change
        std::weak_ptr<Notifier> weak = self;
        self->queue->async([weak, provider, hostName, address] {
            auto n = weak.lock();
            if (!n) return;
            n->readQueued.store(false);
            {
                std::lock_guard<std::mutex> g(n->lock);
                if (!n->active) return;
            }
            std::optional<uint32_t> flags =
                address ? provider->flagsForAddress(*address) : provider->flagsForHostName(hostName);
            n->loop->perform([weak, flags] {
                auto n = weak.lock();
                if (!n) return;
                Reachability* owner = nullptr;
                {
                    std::lock_guard<std::mutex> g(n->lock);
                    if (!n->active) return;
                    bool changed = !n->haveReading || flags != n->lastFlags;
                    n->lastFlags = flags;
                    n->haveReading = true;
                    if (!changed && n->posted) return;
                    n->posted = true;
                    owner = n->owner;
                }
                NotificationCenter::defaultCenter().post(kNetworkReachabilityChangedNotification, owner);
            });
        });
    }
};

Reachability::Reachability(std::shared_ptr<ReachabilityProvider> provider, std::string hostName,
                           std::optional<sockaddr_in> address, bool localWiFi)
    : provider_(std::move(provider)), hostName_(std::move(hostName)), address_(address), localWiFiRef_(localWiFi) {}

Reachability::~Reachability() { stopNotifier(); }

std::unique_ptr<Reachability> Reachability::reachabilityWithHostName(const std::string& hostName) {
    if (hostName.empty() || hostName.find('\0') != std::string::npos) return nullptr;
    auto provider = ReachabilityProvider::shared();
    if (!provider) return nullptr;
    return std::unique_ptr<Reachability>(new Reachability(std::move(provider), hostName, std::nullopt, false));
}

std::unique_ptr<Reachability> Reachability::reachabilityWithAddress(const sockaddr_in* hostAddress) {
    if (!hostAddress || hostAddress->sin_family != AF_INET) return nullptr;
    auto provider = ReachabilityProvider::shared();
    if (!provider) return nullptr;
    return std::unique_ptr<Reachability>(new Reachability(std::move(provider), {}, *hostAddress, false));
}

std::unique_ptr<Reachability> Reachability::reachabilityForInternetConnection() {
    sockaddr_in zero{};
    zero.sin_family = AF_INET;
    return reachabilityWithAddress(&zero);
}

std::unique_ptr<Reachability> Reachability::reachabilityForLocalWiFi() {
    sockaddr_in linkLocal{};
    linkLocal.sin_family = AF_INET;
    linkLocal.sin_addr.s_addr = htonl(0xA9FE0000u);  // 169.254.0.0
    auto r = reachabilityWithAddress(&linkLocal);
    if (r) r->localWiFiRef_ = true;
    return r;
}

bool Reachability::startNotifier() {
    if (notifier_) return true;
    auto n = std::make_shared<Notifier>();
    n->owner = this;
    n->loop = &RunLoop::current();
    n->queue = DispatchQueue::createSerial("com.lumora.reachability");
    std::weak_ptr<Notifier> weak = n;
    auto provider = provider_;
    std::string host = hostName_;
    auto address = address_;
    n->listener = provider_->addChangeListener([weak, provider, host, address] {
        if (auto n = weak.lock()) Notifier::scheduleRead(n, provider, host, address);
    });
    notifier_ = n;
    Notifier::scheduleRead(n, provider_, hostName_, address_);  // the first reading is always reported
    return true;
}

void Reachability::stopNotifier() {
    auto n = std::move(notifier_);
    notifier_.reset();
    if (!n) return;
    {
        std::lock_guard<std::mutex> g(n->lock);
        n->active = false;
        n->owner = nullptr;
    }
    provider_->removeChangeListener(n->listener);
}

std::optional<uint32_t> Reachability::readFlags() const {
    if (notifier_) {
        std::lock_guard<std::mutex> g(notifier_->lock);
        if (notifier_->haveReading) return notifier_->lastFlags;
    }
    return address_ ? provider_->flagsForAddress(*address_) : provider_->flagsForHostName(hostName_);
}

ReachabilityStatus Reachability::statusForFlags(uint32_t flags) const {
    return localWiFiRef_ ? localWiFiStatusForFlags(flags) : networkStatusForFlags(flags);
}

ReachabilityStatus Reachability::currentReachabilityStatus() const {
    auto flags = readFlags();
    if (!flags) return ReachabilityStatusNone;
    return statusForFlags(*flags);
}

bool Reachability::connectionRequired() const {
    auto flags = readFlags();
    return flags && (*flags & rf::kConnectionRequired) != 0;
}

ReachabilityStatus Reachability::networkStatusForFlags(uint32_t flags) {
    if (!(flags & rf::kReachable)) return ReachabilityStatusNone;
    if (flags & rf::kIsWWAN) return ReachabilityStatusWWAN;
    if (!(flags & rf::kConnectionRequired)) return ReachabilityStatusWiFi;
    if ((flags & (rf::kConnectionOnTraffic | rf::kConnectionOnDemand)) && !(flags & rf::kInterventionRequired))
        return ReachabilityStatusWiFi;
    return ReachabilityStatusNone;
}

ReachabilityStatus Reachability::localWiFiStatusForFlags(uint32_t flags) {
    return ((flags & rf::kReachable) && (flags & rf::kIsDirect)) ? ReachabilityStatusWiFi : ReachabilityStatusNone;
}

bool Reachability::isHaveNet() {
    auto r = reachabilityWithHostName(Config::shared().reachabilityHost);
    return r && r->currentReachabilityStatus() != ReachabilityStatusNone;
}

bool Reachability::isWiFi() {
    auto r = reachabilityForLocalWiFi();
    return r && r->currentReachabilityStatus() != ReachabilityStatusNone;
}

bool Reachability::is3G() {
    auto r = reachabilityForInternetConnection();
    return r && r->currentReachabilityStatus() == ReachabilityStatusWWAN;
}

}  // namespace lumora
