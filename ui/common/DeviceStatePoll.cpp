#include "ui/common/DeviceStatePoll.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <utility>
#include <vector>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "base/link/AllSearchDelegate.h"
#include "base/link/DataController.h"
#include "base/link/TxConManager.h"
#include "base/network/NETStatusObj.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/Config.h"
#include "platform/runloop/RunLoop.h"

namespace lumora {

namespace {
// How long pre-connections wait for the network watcher's first report.
constexpr std::chrono::milliseconds kFirstReportWait{2000};
}  // namespace

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
    // Before the network watcher's first report "no network" only means "not
    // known yet": a pre-connection then would fail at once and report the
    // device unreachable. It waits for the report, or at most a moment when
    // none comes (the watcher could not start).
    // A device whose pre-connection someone else started meanwhile (the
    // application delegate does on the report) is left to that one.
    std::vector<std::pair<std::weak_ptr<Device>, uint64_t>> asked;
    for (const auto& d : QvDeviceManager::sharedInstance().devices()) asked.emplace_back(d, d->preConnectionStarts());
    auto once = std::make_shared<std::atomic<bool>>(false);
    auto preconnect = [once, asked] {
        if (once->exchange(true)) return;
        for (const auto& [weak, starts] : asked) {
            auto d = weak.lock();
            if (!d || d->preConnectionStarts() != starts) continue;
            const std::string udid = d->udid.value();
            if (!udid.empty() && !d->isStartPreCon.load()) d->startPreConnection();
        }
    };
    NETStatusObj& net = NETStatusObj::sharedInstance();
    if (net.hasReported()) {
        preconnect();
    } else {
        net.afterFirstReport([preconnect] { DispatchQueue::main()->async(preconnect); });
        DispatchQueue::main()->after(Config::shared().scaled(kFirstReportWait), preconnect);
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
