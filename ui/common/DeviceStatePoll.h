#pragma once

#include <memory>

#include "platform/dispatch/DispatchQueue.h"

namespace lumora {

class AllSearchDelegate;
class DataController;
class RunLoopTimer;

// The online-state poll of every stored device that the phone live view and
// the tablet device panel each run: a session controller of its own that
// pre-connects the devices, stands as delegate of the relay/look-up server
// connections (whose answers update the devices' online flags) and runs the
// all-device search on the serial queue "com.lumora.queryqueue", now and on
// a repeating timer of the main run loop.
//
// Main thread, except that the searches run on the query queue. The owner
// hears of each finished search through its AllSearchDelegate (not owned).
class DeviceStatePoll {
public:
    DeviceStatePoll();
    ~DeviceStatePoll();  // stops the timer; a queued search still runs
    DeviceStatePoll(const DeviceStatePoll&) = delete;
    DeviceStatePoll& operator=(const DeviceStatePoll&) = delete;

    const std::shared_ptr<DataController>& datacontrol() const { return datacontrol_; }
    const DispatchQueuePtr& queryQueue();

    // Starts the pre-connection of every device with a UID whose
    // pre-connection has not been started, then opens the connections to
    // the four relay/look-up servers with this poll's controller as delegate.
    void preconnectAndOpenRelays();
    // Queues one all-device search.
    void searchAllDeviceState(const std::weak_ptr<AllSearchDelegate>& delegate);
    // A search now, then one every `interval` seconds (replacing a running timer).
    void beginsearch(const std::weak_ptr<AllSearchDelegate>& delegate, double interval);

private:
    std::shared_ptr<DataController> datacontrol_;
    DispatchQueuePtr queryQueue_;
    std::shared_ptr<RunLoopTimer> pollTimer_;
};

}  // namespace lumora
