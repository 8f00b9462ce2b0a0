#include "ui/kit/NSNotificationQueue.h"

#include "platform/runloop/RunLoop.h"

namespace lumora {

NSNotificationQueue& NSNotificationQueue::defaultQueue() {
    static NSNotificationQueue q;
    return q;
}

void NSNotificationQueue::enqueueNotification(const Notification& n, NSPostingStyle style, bool coalesce) {
    if (coalesce)
        for (const auto& w : waiting_)
            if (w.name == n.name) return;
    if (style == NSPostingStyle::Now) {
        NotificationCenter::defaultCenter().post(n);
        return;
    }
    waiting_.push_back(n);
    if (scheduled_) return;
    scheduled_ = true;
    RunLoop::main().perform([this] { postWaiting(); });
}

void NSNotificationQueue::postWaiting() {
    scheduled_ = false;
    std::vector<Notification> batch;
    batch.swap(waiting_);
    for (const auto& n : batch) NotificationCenter::defaultCenter().post(n);
}

}  // namespace lumora
