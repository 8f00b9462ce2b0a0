#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "base/link/ReconnectPause.h"

namespace lumora {

class Device;

// The automatic restarts of one session's view after a lost link (codes
// 1003 and 1005): at most kMaxRestarts quick restarts in a row, spaced by a
// growing pause (ReconnectPause). When those are spent the view is not given
// up: the pane hears once per series that the view keeps trying, and it does
// so with spaced, jittered attempts (KeepTryingPause) until the device is
// back or the view is stopped; a tap on the pane asks for the waiting
// attempt at once. A link that stands up ends the quick restarts in a row; a
// stream that arrives ends the keeping on trying.
//
// Threads: any queue; restarts and attempts run on the global queue, never
// on a link's queue. The handlers are called on those queues.
//
// Lifetime: a member of its session, which it reaches through the handlers.
// Queued restarts and attempts hold the session (`owner`) weakly and end
// quietly once it is gone; a start whose view was stopped or started again
// meanwhile (its generation moved on) ends quietly too.
class ViewRestarts {
public:
    // Restarts in a row after drops with code 1003 or 1005.
    static constexpr int kMaxRestarts = 5;

    struct Handlers {
        // The view's generation now; every start and stop moves it on.
        std::function<uint64_t()> generation;
        // Starts the view of `channel` of `device` again, unless its
        // generation moved on from `expected`.
        std::function<void(const std::shared_ptr<Device>& device, int channel, uint64_t expected)> start;
        // The pane is told that the view keeps trying (a Localization key).
        std::function<void(const char* key)> reconnecting;
    };

    explicit ViewRestarts(Handlers handlers);
    ViewRestarts(const ViewRestarts&) = delete;
    ViewRestarts& operator=(const ViewRestarts&) = delete;

    // The user started a view: restarts start with a short pause again.
    void viewStarted();
    void viewStopped();
    // A link of the view stood up.
    void linkUp();
    // The stream format arrived: the view works again, so a later loss
    // starts with quick restarts.
    void streamUp();

    // The link of the view of `channel` of device `deviceId` was lost with
    // code 1003 or 1005: a quick restart, or once those are spent the next
    // spaced attempt.
    void linkLost(const std::weak_ptr<void>& owner, int32_t deviceId, int channel);
    // Restarts the view on the global queue after the next restart pause.
    void restartLater(const std::weak_ptr<void>& owner, int32_t deviceId, int channel);
    // The view keeps trying and an attempt waits for its pause: that
    // attempt is taken (true), to be made at once by attemptNow.
    bool takePendingAttempt();
    // An attempt at once on the global queue (the pending one is voided by
    // the start, which moves the generation on); the pane shows the text
    // again should it fail too.
    void attemptNow(const std::weak_ptr<void>& owner, const std::shared_ptr<Device>& device, int channel,
                    uint64_t generation);

    int recontimes() const { return recontimes_; }
    // The quick restarts are spent and the view keeps trying (spaced).
    bool isKeepTrying() const { return keepTrying_; }
    // Attempts made while keeping on trying, since the session was made.
    int keepTryingAttempts() const { return keepTryingAttempts_; }
    // Automatic restarts begun since the session was made.
    int restartsMade() const { return restartsMade_; }

private:
    // The view keeps trying: the pane hears it once per series, the next
    // attempt follows after a KeepTryingPause.
    void keepTrying(const std::weak_ptr<void>& owner, int32_t deviceId, int channel);
    // One attempt while keeping on trying: counted, then the view starts.
    void attempt(const std::shared_ptr<Device>& device, int channel, uint64_t generation);

    const Handlers handlers_;
    std::atomic<int> recontimes_{0};
    std::atomic<int> restartsMade_{0};
    ReconnectPause restartPause_;  // spaces the automatic restarts of a view
    KeepTryingPause keepTryingPause_;  // spaces the attempts once those are spent
    std::atomic<bool> reached_{false};     // a link stood up since the user started the view
    std::atomic<bool> keepTrying_{false};  // the quick restarts are spent
    std::atomic<bool> announce_{false};    // tell the pane again at the next drop
    std::atomic<bool> attemptPending_{false};  // an attempt waits for its pause
    std::atomic<int> keepTryingAttempts_{0};
};

}  // namespace lumora
