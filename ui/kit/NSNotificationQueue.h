#pragma once

#include <string>
#include <vector>

#include "platform/dispatch/NotificationCenter.h"

namespace lumora {

enum class NSPostingStyle { WhenIdle, ASAP, Now };

// Posts notifications to the default centre later on the main run loop:
// ASAP and WhenIdle at its next turn, Now at once. With coalescing on, a
// notification whose name is already waiting is dropped.
class NSNotificationQueue {
public:
    static NSNotificationQueue& defaultQueue();
    void enqueueNotification(const Notification& notification, NSPostingStyle style, bool coalesceOnName = true);
    size_t waitingCount() const { return waiting_.size(); }

private:
    void postWaiting();
    std::vector<Notification> waiting_;
    bool scheduled_ = false;
};

}  // namespace lumora
