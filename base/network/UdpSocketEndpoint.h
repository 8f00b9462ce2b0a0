#pragma once

#include <cstdint>
#include <functional>

#include "platform/runloop/RunLoop.h"

namespace lumora {

// One of AsyncUdpSocket's platform sockets (IPv4 or IPv6): its descriptor,
// its watcher on the owner's run loop with the notifications it has on
// (POLLIN / POLLOUT), and which notifications came since the socket was last
// read or written. The owner decides what is watched and when; this keeps
// the watcher and the descriptor in step. Used on the owner's run loop only;
// nothing is locked.
class UdpSocketEndpoint {
public:
    using Callback = std::function<void(short revents)>;

    // -1 when there is no socket.
    int fd() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    // A new non-blocking socket of the family; none (-1) when it cannot be
    // made. Nothing is watched yet.
    void open(bool v4);
    // Closes the socket and removes its watcher from the loop (when there
    // is one); the notifications and what they said are forgotten.
    void close(RunLoop* loop);

    // ---- watching
    short watched() const { return watched_; }
    // Watches `events` on the loop in place of the watcher there was; none
    // for 0, without a socket or without a loop.
    void watch(RunLoop* loop, short events, Callback onEvents);
    // Exactly `events` are on, on a watcher.
    bool watchesExactly(short events) const { return watched_ == events && watcher_ != 0; }
    // Off the loop (a move): the notifications stay on, to be watched again
    // on the next loop.
    void unwatch(RunLoop& loop);
    // Notifications are on but nothing watches them (since a move).
    bool needsWatcher() const { return !watcher_ && watched_; }
    // Of the notifications on, those that revents fires. An error or hang-up
    // wakes every notification that is on; each then meets the error in its
    // call.
    short fired(short revents) const;

    // ---- readiness: a notification of `event` came since the last read
    // (POLLIN) or write (POLLOUT), or the socket is ready at once.
    void setReady(short event) { ready_ = static_cast<short>(ready_ | event); }
    void clearReady(short event) { ready_ = static_cast<short>(ready_ & ~event); }
    bool isReady(short event) const;

private:
    int fd_ = -1;
    uint64_t watcher_ = 0;  // 0: none on the run loop (also from a move until the new loop takes over)
    short watched_ = 0;     // notifications enabled
    short ready_ = 0;       // notifications that came since the last read or write
};

}  // namespace lumora
