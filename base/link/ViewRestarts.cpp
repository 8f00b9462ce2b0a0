#include "base/link/ViewRestarts.h"

#include <utility>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/Log.h"

namespace lumora {

ViewRestarts::ViewRestarts(Handlers handlers) : handlers_(std::move(handlers)) {}

void ViewRestarts::viewStarted() {
    restartPause_.reset();  // a new view: restarts start with a short pause again
    keepTryingPause_.reset();
    reached_ = false;
    keepTrying_ = false;
    announce_ = false;
}

void ViewRestarts::viewStopped() {
    restartPause_.reset();
    keepTryingPause_.reset();
    keepTrying_ = false;
    attemptPending_ = false;
}

void ViewRestarts::linkUp() {
    recontimes_ = 0;
    reached_ = true;
    restartPause_.linkUp();
}

void ViewRestarts::streamUp() {
    keepTrying_ = false;
    keepTryingPause_.reset();
}

void ViewRestarts::linkLost(const std::weak_ptr<void>& owner, int32_t deviceId, int channel) {
    // Counted before the restart runs, so a restart that fails at once
    // cannot start another one without counting.
    int tries = recontimes_.load();
    if (keepTrying_) {
        // Still away: the next spaced attempt.
        keepTrying(owner, deviceId, channel);
    } else if (tries < kMaxRestarts) {
        recontimes_ = tries + 1;
        restartLater(owner, deviceId, channel);
    } else {
        // The quick restarts are spent: the device is away for longer
        // than a glitch (a reboot, a network down). The view stays and
        // keeps trying at a pace that does not flood the device.
        recontimes_ = 0;
        keepTryingPause_.begin();
        keepTrying_ = true;
        announce_ = true;
        keepTrying(owner, deviceId, channel);
    }
}

void ViewRestarts::restartLater(const std::weak_ptr<void>& owner, int32_t deviceId, int channel) {
    uint64_t generation = handlers_.generation();
    // Restarts are spaced by a growing pause: the budget of restarts then
    // covers a device that is away for a few seconds instead of being spent
    // within milliseconds. A stop or a new view meanwhile voids the restart.
    // The session owns this object: while it is held, so is this.
    DispatchQueue::global()->after(restartPause_.next(), [this, owner, generation, deviceId, channel] {
        auto session = owner.lock();
        if (!session) return;
        auto device = QvDeviceManager::sharedInstance().deviceWithId(deviceId);
        if (!device) return;
        ++restartsMade_;
        Log::info("DataController", "view of \"%s\" channel %d restarting", device->name.value().c_str(), channel + 1);
        handlers_.start(device, channel, generation);
    });
}

void ViewRestarts::keepTrying(const std::weak_ptr<void>& owner, int32_t deviceId, int channel) {
    if (announce_.exchange(false)) {
        // Never reached since the user started the view: most likely a wrong
        // address or port, or a device still starting; else the link was lost.
        handlers_.reconnecting(reached_ ? "MSG_RECONNECTING" : "MSG_UNREACHABLE");
    }
    uint64_t generation = handlers_.generation();
    attemptPending_ = true;
    DispatchQueue::global()->after(keepTryingPause_.next(), [this, owner, generation, deviceId, channel] {
        auto session = owner.lock();
        if (!session) return;
        auto device = QvDeviceManager::sharedInstance().deviceWithId(deviceId);
        if (!device) return;
        if (handlers_.generation() != generation) return;  // stopped, restarted or tried at once meanwhile
        attemptPending_ = false;
        attempt(device, channel, generation);
    });
}

bool ViewRestarts::takePendingAttempt() { return keepTrying_ && attemptPending_.exchange(false); }

void ViewRestarts::attemptNow(const std::weak_ptr<void>& owner, const std::shared_ptr<Device>& device, int channel,
                              uint64_t generation) {
    announce_ = true;  // the pane shows the text again should this attempt fail too
    // The pending attempt is voided by the start (it moves the generation on).
    DispatchQueue::global()->async([this, owner, device, channel, generation] {
        auto session = owner.lock();
        if (!session) return;
        attempt(device, channel, generation);
    });
}

void ViewRestarts::attempt(const std::shared_ptr<Device>& device, int channel, uint64_t generation) {
    ++keepTryingAttempts_;
    Log::info("DataController", "view of \"%s\" channel %d: trying the device again", device->name.value().c_str(),
              channel + 1);
    handlers_.start(device, channel, generation);
}

}  // namespace lumora
