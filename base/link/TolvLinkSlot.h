#pragma once

#include <atomic>
#include <functional>
#include <mutex>

#include "base/link/PUConnection.h"

namespace lumora {

// The peer-to-peer client's one device link. Every attempt replaces it; the
// link replaced is closed and released off its own queues. Thread-safe; the
// lock is never held while a link is closed.
class TolvLinkSlot {
public:
    PUConnectionPtr current() const;
    bool isCurrent(const PUConnection* connection) const;

    // Makes `link` current; the one before is closed and released. A new
    // link is refused (closed at once) while `stopped` is set, as read under
    // the slot's lock: an owner that sets it before its own install(nullptr)
    // keeps a reopening under way from bringing a link back. `installed`
    // runs under the lock with the link made current (null: none). Whether
    // the link was taken.
    bool install(PUConnectionPtr link, const std::atomic<bool>& stopped,
                 const std::function<void(const PUConnectionPtr&)>& installed);

    // The owner goes: the link is taken out, its delegate cleared, and it is
    // closed and released.
    void release();

private:
    mutable std::mutex mutex_;
    PUConnectionPtr link_;
};

}  // namespace lumora
