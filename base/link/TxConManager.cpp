#include "base/link/TxConManager.h"

#include <cstdio>

#include "base/network/NETStatusObj.h"
#include "base/network/SocketFunctions.h"
#include "platform/Config.h"
#include "platform/Log.h"

namespace lumora {

namespace {

constexpr int kConnectAttempts = 5;
constexpr int kConnectTimeoutMs = 2000;

}  // namespace

TxConManager& TxConManager::sharedInstance() {
    // Never destroyed: the connections it keeps run on the main queue and the
    // socket machinery to the very end, so tearing them down among the static
    // destructors at exit would touch runtime parts already gone.
    static TxConManager* instance = new TxConManager;
    return *instance;
}

std::shared_ptr<ConnetTolvServer> TxConManager::findLocked(const std::string& host) const {
    for (const auto& c : tolvServerConArr_)
        if (c->tolvServerIP() == host) return c;
    return nullptr;
}

std::shared_ptr<ConnetTolvServer> TxConManager::createConTolvSer(const std::string& host, uint16_t port,
                                                                  const ConnetTolvServer::DelegatePtr& delegate) {
    std::lock_guard<std::mutex> g(mutex_);
    std::shared_ptr<ConnetTolvServer> c = findLocked(host);
    if (c) {
        c->setDelegate(delegate);
        return c;
    }
    c = ConnetTolvServer::create();
    c->setDelegate(delegate);
    tolvServerConArr_.push_back(c);
    // The host (the look-up key) is stored by connectToHost, so it runs under
    // the lock: a caller asking for the same host meanwhile must find this
    // connection. It only starts the connect and never blocks.
    c->connectToHost(host, port);
    return c;
}

std::shared_ptr<ConnetTolvServer> TxConManager::getConServerWithserverIP(const std::string& host) const {
    std::lock_guard<std::mutex> g(mutex_);
    return findLocked(host);
}

std::vector<std::shared_ptr<ConnetTolvServer>> TxConManager::tolvServerConArr() const {
    std::lock_guard<std::mutex> g(mutex_);
    return tolvServerConArr_;
}

int TxConManager::serverFD(int index) const {
    std::lock_guard<std::mutex> g(mutex_);
    return index >= 0 && index < 4 ? serverFDs_[static_cast<size_t>(index)] : 0;
}

int TxConManager::getConFDFromTolvSer(const std::string& host) {
    if (!NETStatusObj::sharedInstance().isHaveNet()) return 0;
    const auto& hosts = Config::shared().relayHosts;
    size_t slot = 3;
    for (size_t i = 0; i < 3; ++i)
        if (host == hosts[i]) slot = i;
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (serverFDs_[slot] != 0) return serverFDs_[slot];
    }
    int fd = connectServer(host);
    if (fd == 0) return 0;
    std::lock_guard<std::mutex> g(mutex_);
    if (serverFDs_[slot] != 0) {
        // Another caller opened one meanwhile: keep theirs, close ours.
        socketClose(fd);
        return serverFDs_[slot];
    }
    serverFDs_[slot] = fd;
    return fd;
}

int TxConManager::connectServer(const std::string& host) {
    std::string addr = resolveFirstIPv4(host);
    if (addr.empty()) {
        Log::warn("TxConManager", "cannot resolve %s", host.c_str());
        return 0;
    }
    const Config& cfg = Config::shared();
    int fd = 0;
    for (int i = 0; i < kConnectAttempts && fd == 0; ++i)
        fd = tcpSocketConnectTimeout(addr, cfg.relayTcpPort, cfg.scaledMs(kConnectTimeoutMs));
    if (fd == 0) Log::warn("TxConManager", "no connection to %s in %d tries", host.c_str(), kConnectAttempts);
    return fd;
}

}  // namespace lumora
