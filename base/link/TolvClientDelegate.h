#pragma once

#include <string>
#include <vector>

#include "platform/Error.h"

namespace lumora {

// What the peer-to-peer client (TolvClient) reports to its owner. Every
// callback carries the client's time tag or the device's UID so an owner can
// tell its attempts apart. Callbacks run on the thread that caused them: the
// caller of an entry point (normally the global queue), a device link's
// queue ("com.lumora.socket", "com.lumora.udt"), or a "reconudt" queue.
class TolvClientDelegate {
public:
    virtual ~TolvClientDelegate() = default;

    // The device link is up (UDT: right after the connect; TCP: when the
    // current link's socket reports its connect).
    virtual void tolvClientDidConnect(const std::string& udid, const std::string& timestr) = 0;
    // The attempt failed, or the link is gone and will not be retried here.
    virtual void tolvClientDidDisConnect(const std::string& timestr, const Error& error) = 0;
    // A relay link dropped; the owner should start again.
    virtual void tolvClientShouldRecon(const std::string& timestr, const std::string& udid) = 0;
    // The consumer: the link's whole receive buffer; the answer goes back to
    // the link unchanged (> 0 used, < 0 clear, 0 keep and wait).
    virtual int tolvClientDidRecData(const std::vector<uint8_t>& data, const std::string& udid,
                                     const std::string& timestr) = 0;
    // Called just before tolvClientDidRecData with the buffer's length.
    virtual void tolvClientDidRecDataLength(int length, const std::string& udid, const std::string& timestr) = 0;
    // A server or the LAN said the device is known (true), or the last
    // server did not know it (false).
    virtual void tolvClientDidQueryStatus(const std::string& udid, bool isOnLine) = 0;
};

}  // namespace lumora
