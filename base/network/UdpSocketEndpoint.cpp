#include "base/network/UdpSocketEndpoint.h"

#include <poll.h>
#include <unistd.h>

#include <utility>

#include "base/network/UdpSocketCalls.h"

namespace lumora {

void UdpSocketEndpoint::open(bool v4) { fd_ = UdpSocketCalls::openSocket(v4); }

void UdpSocketEndpoint::close(RunLoop* loop) {
    if (watcher_ && loop) loop->removeWatcher(watcher_);
    watcher_ = 0;
    watched_ = 0;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    ready_ = 0;
}

void UdpSocketEndpoint::watch(RunLoop* loop, short events, Callback onEvents) {
    if (watcher_ && loop) loop->removeWatcher(watcher_);
    watcher_ = 0;
    watched_ = events;
    if (fd_ < 0 || events == 0 || !loop) return;
    watcher_ = loop->addWatcher(fd_, events, std::move(onEvents));
}

void UdpSocketEndpoint::unwatch(RunLoop& loop) {
    if (watcher_) loop.removeWatcher(watcher_);
    watcher_ = 0;
}

short UdpSocketEndpoint::fired(short revents) const {
    if (revents & (POLLERR | POLLHUP | POLLNVAL)) return watched_;
    return static_cast<short>(revents & watched_);
}

bool UdpSocketEndpoint::isReady(short event) const {
    return (ready_ & event) || UdpSocketCalls::isReady(fd_, event);
}

}  // namespace lumora
