#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/link/AllSearchDelegate.h"
#include "base/link/ConnectTolvServerDelegate.h"
#include "base/link/lanSearchDelegate.h"
#include "platform/dispatch/DispatchQueue.h"

namespace lumora {

// The device searches of one controller: the LAN search (a multicast query
// whose answers mark the listed devices as in the LAN and report every
// answering device to the lanSearchDelegate) and the all-device status poll
// (the LAN search, then status queries to the four relay servers, whose
// answers update the devices and end the poll for the AllSearchDelegate).
//
// Threads: startLanSearch runs its search on the queue "lansearch",
// searchAllDevice on the queue "searchDevice" (one of each per object, made
// at the first search). Relay answers arrive on the relay connections'
// queue. Every operation may be called from any queue.
//
// Lifetime: always held by a shared_ptr (create()). It is the delegate of
// the relay connections it asks, which hold it weakly. The delegates are
// held weakly too.
class DeviceSearch : public ConnectTolvServerDelegate, public std::enable_shared_from_this<DeviceSearch> {
public:
    static std::shared_ptr<DeviceSearch> create();
    DeviceSearch(const DeviceSearch&) = delete;
    DeviceSearch& operator=(const DeviceSearch&) = delete;

    // Runs localSearch on the queue "lansearch". The queued search holds
    // `owner` (this search without one) from the moment it is queued, so a
    // caller that lets go of the owner right away still gets its search
    // (and its delegate calls).
    void startLanSearch();
    void startLanSearch(const std::shared_ptr<void>& owner);
    // The LAN search (blocks up to 20 receive time-outs); answers 0.
    int localSearch();
    // The LAN search, then status queries to the four relay servers, on the
    // queue "searchDevice". The queued search holds `owner` (this search
    // without one) weakly and does not run once it is gone; while it runs
    // it holds the owner.
    void searchAllDevice();
    void searchAllDevice(const std::weak_ptr<void>& owner);
    // Searches (startLanSearch, searchAllDevice) queued or running in the
    // process and not yet ended. They read the configuration to the end, so
    // whoever changes it (a test's fixture) waits for none to be left.
    static int searchesUnderWay();
    static std::vector<uint8_t> buildNetSearch(const std::string& udid);
    // Status queries to one relay server for the devices reached by udid
    // that are not found yet (in the LAN when searchAll, else online):
    // netSearch2 over the kept connection (answers arrive as relay replies),
    // netSearch over a connection of its own, waiting for each answer.
    void netSearch2(const std::string& host, bool searchAll);
    void netSearch(const std::string& host, bool searchAll);
    // Relay answers counted since the poll last ended.
    int searchtimes() const { return searchtimes_; }

    std::shared_ptr<lanSearchDelegate> lanSearchdelegate() const;
    void setLanSearchDelegate(const std::shared_ptr<lanSearchDelegate>& d);
    std::shared_ptr<AllSearchDelegate> allSearchdelegate() const;
    void setAllSearchDelegate(const std::shared_ptr<AllSearchDelegate>& d);

    // ---- ConnectTolvServerDelegate (relay answers to status queries)
    void connectTolvServerDidConnectToHost(ConnetTolvServer&, const std::string&, uint16_t) override {}
    void connectTolvServerDidReadData(ConnetTolvServer& server, const std::vector<uint8_t>& data,
                                      long tag) override;
    void connectTolvServerWithError(ConnetTolvServer&, const Error&) override {}

private:
    struct Private {};

public:
    explicit DeviceSearch(Private) {}

private:
    std::atomic<int> searchtimes_{0};

    mutable std::mutex mutex_;  // the fields below
    std::weak_ptr<lanSearchDelegate> lanSearchDelegate_;  // Not owned.
    std::weak_ptr<AllSearchDelegate> allSearchDelegate_;  // Not owned.
    DispatchQueuePtr lansearchqueue_;
    DispatchQueuePtr allsearchqueue_;
    std::vector<uint8_t> bufferdata_;  // relay answers being gathered
};

}  // namespace lumora
