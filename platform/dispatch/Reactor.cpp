#include "platform/dispatch/Reactor.h"
#include "platform/Log.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace lumora {

namespace {
constexpr uint32_t kReadEvents = EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR | EPOLLPRI;
constexpr uint32_t kWriteEvents = EPOLLOUT | EPOLLHUP | EPOLLERR;

uint64_t packData(int fd, uint32_t generation) {
    return (static_cast<uint64_t>(generation) << 32) | static_cast<uint32_t>(fd);
}
}  // namespace

Reactor& Reactor::shared() {
    // Never destroyed: its thread runs until the process exits.
    static Reactor* reactor = new Reactor;
    return *reactor;
}

Reactor::Reactor() {
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epollFd_ < 0) {
        Log::error("Reactor", "epoll_create1 failed: %s", std::strerror(errno));
        return;
    }
    std::thread(&Reactor::threadLoop, this).detach();
}

uint32_t Reactor::maskOf(const Entry& e) {
    uint32_t mask = 0;
    for (const Sub& s : e.subs) {
        if (s.armed) mask |= s.write ? EPOLLOUT : (EPOLLIN | EPOLLRDHUP);
    }
    return mask;
}

void Reactor::updateLocked(int fd, Entry& e) {
    epoll_event ev{};
    ev.events = maskOf(e) | EPOLLONESHOT;
    ev.data.u64 = packData(fd, e.generation);
    if (::epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd, &ev) != 0) {
        Log::warn("Reactor", "re-arming descriptor %d failed: %s", fd, std::strerror(errno));
    }
}

Reactor::ArmResult Reactor::arm(int fd, bool write, const std::shared_ptr<ReactorSink>& sink) {
    if (fd < 0 || epollFd_ < 0) return ArmResult::Failed;
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(fd);
    bool fresh = it == entries_.end();
    if (fresh) {
        uint32_t gen = nextGeneration_++;
        if (nextGeneration_ == 0) nextGeneration_ = 1;
        it = entries_.emplace(fd, Entry{gen, false, {}}).first;
    }
    Entry& e = it->second;
    auto sub = std::find_if(e.subs.begin(), e.subs.end(), [&](const Sub& s) { return s.key == sink.get(); });
    if (sub == e.subs.end()) {
        e.subs.push_back(Sub{sink.get(), sink, write, true});
    } else {
        sub->armed = true;
    }
    if (e.alwaysReady) {
        return ArmResult::AlwaysReady;
    }
    if (fresh) {
        epoll_event ev{};
        ev.events = maskOf(e) | EPOLLONESHOT;
        ev.data.u64 = packData(fd, e.generation);
        if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) != 0) {
            int err = errno;
            if (err == EPERM) {
                // Regular files and the like are always ready, as with poll().
                e.alwaysReady = true;
                return ArmResult::AlwaysReady;
            }
            Log::warn("Reactor", "cannot watch descriptor %d: %s", fd, std::strerror(err));
            entries_.erase(it);
            return ArmResult::Failed;
        }
        return ArmResult::Armed;
    }
    updateLocked(fd, e);
    return ArmResult::Armed;
}

void Reactor::remove(int fd, const ReactorSink* sink) {
    std::weak_ptr<ReactorSink> dropped;  // released after the lock
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(fd);
    if (it == entries_.end()) return;
    Entry& e = it->second;
    auto sub = std::find_if(e.subs.begin(), e.subs.end(), [&](const Sub& s) { return s.key == sink; });
    if (sub == e.subs.end()) return;
    dropped = std::move(sub->sink);
    e.subs.erase(sub);
    if (e.alwaysReady) {
        if (e.subs.empty()) entries_.erase(it);
        return;
    }
    if (e.subs.empty()) {
        if (::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr) != 0 && errno != EBADF && errno != ENOENT) {
            Log::warn("Reactor", "removing descriptor %d failed: %s", fd, std::strerror(errno));
        }
        entries_.erase(it);
    } else {
        updateLocked(fd, e);
    }
}

void Reactor::threadLoop() {
    constexpr int kMaxEvents = 64;
    epoll_event events[kMaxEvents];
    std::vector<std::shared_ptr<ReactorSink>> ready;
    for (;;) {
        int n = ::epoll_wait(epollFd_, events, kMaxEvents, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            Log::warn("Reactor", "epoll_wait failed: %s", std::strerror(errno));
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (int i = 0; i < n; ++i) {
                int fd = static_cast<int>(static_cast<uint32_t>(events[i].data.u64));
                uint32_t gen = static_cast<uint32_t>(events[i].data.u64 >> 32);
                auto it = entries_.find(fd);
                if (it == entries_.end() || it->second.generation != gen) continue;  // stale report
                Entry& e = it->second;
                uint32_t got = events[i].events;
                for (auto s = e.subs.begin(); s != e.subs.end();) {
                    if (s->armed && (got & (s->write ? kWriteEvents : kReadEvents))) {
                        s->armed = false;
                        if (auto sink = s->sink.lock()) {
                            ready.push_back(std::move(sink));
                        } else {
                            s = e.subs.erase(s);
                            continue;
                        }
                    }
                    ++s;
                }
                // The one-shot registration is now disabled: re-arm whoever
                // still waits (e.g. the write source when only reading fired).
                if (e.subs.empty()) {
                    ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
                    entries_.erase(it);
                } else if (maskOf(e) != 0) {
                    updateLocked(fd, e);
                }
            }
        }
        for (auto& sink : ready) sink->fdReady();
        ready.clear();
    }
}

}  // namespace lumora
