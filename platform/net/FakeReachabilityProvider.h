#pragma once

#include <map>
#include <mutex>
#include <string>

#include "platform/net/ReachabilityProvider.h"

namespace lumora {

// A provider whose flags a test sets: per host name, per dotted IPv4
// address, and a default for every other target. changed() reports a
// change to the listeners on the calling thread.
class FakeReachabilityProvider : public ReachabilityProvider {
public:
    std::optional<uint32_t> flagsForAddress(const sockaddr_in& address) override;
    std::optional<uint32_t> flagsForHostName(const std::string& name) override;

    // nullopt: the flags cannot be read.
    void setFlagsForHost(const std::string& name, std::optional<uint32_t> flags);
    void setFlagsForAddress(const std::string& dottedAddress, std::optional<uint32_t> flags);
    void setDefaultFlags(std::optional<uint32_t> flags);
    // Sets the flags of one target and reports a change.
    void changeHost(const std::string& name, std::optional<uint32_t> flags);

    void changed() { notifyChange(); }
    int queryCount() const;

private:
    mutable std::mutex lock_;
    std::map<std::string, std::optional<uint32_t>> hosts_;
    std::map<std::string, std::optional<uint32_t>> addresses_;
    std::optional<uint32_t> default_ = 0u;
    int queries_ = 0;
};

}  // namespace lumora
