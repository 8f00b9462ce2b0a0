#include "ui/common/DeviceStatePoll.h"

#include <chrono>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "base/link/AllSearchDelegate.h"
#include "base/link/DataController.h"
#include "base/link/TxConManager.h"
#include "platform/Config.h"
#include "platform/runloop/RunLoop.h"

namespace lumora {

DeviceStatePoll::DeviceStatePoll() : datacontrol_(DataController::create()) {}

DeviceStatePoll::~DeviceStatePoll() {
    if (pollTimer_) pollTimer_->invalidate();
    if (datacontrol_) datacontrol_->setAllSearchDelegate(nullptr);
}

const DispatchQueuePtr& DeviceStatePoll::queryQueue() {
    if (!queryQueue_) queryQueue_ = DispatchQueue::createSerial("com.lumora.queryqueue");
    return queryQueue_;
}

void DeviceStatePoll::preconnectAndOpenRelays() {
    for (const auto& d : QvDeviceManager::sharedInstance().devices()) {
        const std::string udid = d->udid.value();
        if (!udid.empty() && !d->isStartPreCon.load()) d->startPreConnection();
    }
    const Config& cfg = Config::shared();
    for (const auto& host : cfg.relayHosts)
        TxConManager::sharedInstance().createConTolvSer(host, cfg.relayTcpPort, datacontrol_);
}

void DeviceStatePoll::searchAllDeviceState(const std::weak_ptr<AllSearchDelegate>& delegate) {
    std::shared_ptr<DataController> dc = datacontrol_;
    queryQueue()->async([dc, delegate] {
        auto d = delegate.lock();
        if (!d || !dc) return;
        dc->setAllSearchDelegate(d);
        dc->searchAllDevice();
    });
}

void DeviceStatePoll::beginsearch(const std::weak_ptr<AllSearchDelegate>& delegate, double interval) {
    searchAllDeviceState(delegate);
    if (pollTimer_) pollTimer_->invalidate();
    // The timer only queues a search; it never keeps the delegate alive.
    const auto every = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(interval));
    pollTimer_ = RunLoopTimer::scheduled(RunLoop::main(), every, true, [this, delegate](RunLoopTimer&) {
        searchAllDeviceState(delegate);
    });
}

}  // namespace lumora
