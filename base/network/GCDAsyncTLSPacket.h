#pragma once

#include <map>
#include <string>

namespace lumora {

// The marker a TLS upgrade puts into both the read and the write queue of a
// GCDAsyncSocket: the upgrade starts once it heads both queues.
struct GCDAsyncTLSPacket {
    std::map<std::string, std::string> tlsSettings;  // handed to both directions

    explicit GCDAsyncTLSPacket(std::map<std::string, std::string> settings)
        : tlsSettings(std::move(settings)) {}
};

}  // namespace lumora
