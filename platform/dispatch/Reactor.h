#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace lumora {

// Something the reactor reports readiness to (a read or write source).
class ReactorSink {
public:
    virtual ~ReactorSink() = default;
    // Called on the reactor thread, without any reactor lock held, once per
    // arm() that the descriptor became ready for.
    virtual void fdReady() = 0;
};

// One epoll thread for every descriptor source of the process.
//
// - One epoll registration per descriptor, whatever number of sources watch
//   it (a read and a write source often share a socket); its event mask is
//   the union of the sources that are armed right now.
// - Registrations are EPOLLONESHOT: a readiness report disarms the sources it
//   went to, and each re-arms after its handler ran. That gives
//   level-triggered sources whose events coalesce while a handler is pending.
// - Every registration carries a generation number in its epoll data, so a
//   report that epoll_wait returned for a descriptor that was removed (and
//   whose number may already be reused) meanwhile is dropped.
// - remove() takes the descriptor out of epoll before it returns: a source
//   calls it from cancel() before its cancel handler (which may close the
//   descriptor) can be queued.
class Reactor {
public:
    enum class ArmResult {
        Armed,        // watched by epoll
        AlwaysReady,  // epoll cannot watch it (a regular file): treat as ready
        Failed,       // a bad descriptor; never reported
    };

    static Reactor& shared();

    // Arms the sink (identified by its address) for one readiness report.
    ArmResult arm(int fd, bool write, const std::shared_ptr<ReactorSink>& sink);
    // Forgets the sink; the last sink of a descriptor takes it out of epoll.
    void remove(int fd, const ReactorSink* sink);

    Reactor();
    Reactor(const Reactor&) = delete;
    Reactor& operator=(const Reactor&) = delete;

private:
    struct Sub {
        const ReactorSink* key;
        std::weak_ptr<ReactorSink> sink;
        bool write;
        bool armed;
    };
    struct Entry {
        uint32_t generation;
        bool alwaysReady = false;
        std::vector<Sub> subs;
    };
    static uint32_t maskOf(const Entry& e);
    void updateLocked(int fd, Entry& e);
    void threadLoop();

    int epollFd_ = -1;
    std::mutex mutex_;
    std::map<int, Entry> entries_;
    uint32_t nextGeneration_ = 1;
};

}  // namespace lumora
