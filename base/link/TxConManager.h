#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/link/ConnetTolvServer.h"

namespace lumora {

// The process-wide keeper of one standing connection per relay/look-up
// server host, and of one blocking socket per server for callers that talk
// to the servers synchronously. Connections and sockets live as long as the
// process. All operations may be called from any thread; the list and the
// socket table are guarded by a lock that is never held while a blocking
// socket connects.
class TxConManager {
public:
    static TxConManager& sharedInstance();

    // The kept connection for the host with its delegate re-pointed to the
    // new one (connected or not); otherwise a new connection to host:port,
    // kept and returned. Two callers asking at once for the same new host
    // get the same connection.
    std::shared_ptr<ConnetTolvServer> createConTolvSer(const std::string& host, uint16_t port,
                                                       const ConnetTolvServer::DelegatePtr& delegate);
    // The first kept connection made to that host, or null.
    std::shared_ptr<ConnetTolvServer> getConServerWithserverIP(const std::string& host) const;
    // 0 without a network; otherwise the blocking socket kept for the server
    // with that host (Config relayHosts 1 to 3; any other host shares the
    // slot of server 4), opened with connectServer when there is none yet.
    int getConFDFromTolvSer(const std::string& host);
    // Resolves the host (first IPv4 address) and connects to the relay TCP
    // port with 2000 ms per attempt (scaled), up to 5 attempts; the blocking
    // socket, or 0. Blocks the caller meanwhile.
    int connectServer(const std::string& host);

    // The kept connections in the order they were made.
    std::vector<std::shared_ptr<ConnetTolvServer>> tolvServerConArr() const;
    int serverFD(int index) const;  // server1FD .. server4FD as 0 .. 3

private:
    TxConManager() = default;
    std::shared_ptr<ConnetTolvServer> findLocked(const std::string& host) const;

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<ConnetTolvServer>> tolvServerConArr_;
    std::array<int, 4> serverFDs_{0, 0, 0, 0};
};

}  // namespace lumora
