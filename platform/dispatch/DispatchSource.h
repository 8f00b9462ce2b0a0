#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/dispatch/DispatchQueue.h"

namespace lumora {

class DispatchSource;
using DispatchSourcePtr = std::shared_ptr<DispatchSource>;

// Event sources that run a handler on a queue: timers, and readiness of a
// file descriptor for reading or writing (watched by one epoll reactor for
// the whole process).
//
// Rules, as every user relies on them:
// - A source is created suspended (suspend count 1); resume() once to start.
//   suspend()/resume() are counted and must balance.
// - Events coalesce: while an event handler is pending or running, further
//   readiness or timer fires are merged into it (data() says how much).
// - A read source fires again and again while the descriptor stays readable
//   and the source is resumed (level-triggered); the same for write sources.
// - cancel() stops all further events: an event handler never starts after
//   cancel() returned on the source's own queue, and never after the cancel
//   handler. The cancel handler runs exactly once, on the source's queue,
//   after the last event handler finished, and only while the source is not
//   suspended (a suspended source delivers it on its resume). The descriptor
//   must stay open until the cancel handler ran; close it there.
// - Handlers run on the queue given at creation. The source keeps itself
//   alive until its cancel handler ran.
class DispatchSource : public std::enable_shared_from_this<DispatchSource> {
public:
    enum class Type { Timer, Read, Write };

    // Interval for one-shot timers.
    static constexpr std::chrono::nanoseconds kForever = std::chrono::nanoseconds::max();

    virtual ~DispatchSource() = default;

    static DispatchSourcePtr makeTimer(DispatchQueuePtr queue);
    static DispatchSourcePtr makeRead(int fd, DispatchQueuePtr queue);
    static DispatchSourcePtr makeWrite(int fd, DispatchQueuePtr queue);

    virtual Type type() const = 0;
    virtual int fd() const = 0;  // -1 for timers

    virtual void setEventHandler(DispatchTask handler) = 0;
    virtual void setCancelHandler(DispatchTask handler) = 0;

    // Timers: the first fire at now + start, then every interval (kForever:
    // one shot). The leeway lets the system fire that much later. Calling it
    // again re-arms the timer from now; pending fires of the old schedule are
    // dropped.
    virtual void setTimer(std::chrono::nanoseconds start, std::chrono::nanoseconds interval,
                          std::chrono::nanoseconds leeway = std::chrono::nanoseconds(0)) = 0;

    // Valid inside the event handler. Read sources: an estimate of the bytes
    // waiting (FIONREAD; at least 1 when readable, e.g. for a listening
    // socket or at end of stream the estimate may be 0). Write sources: an
    // estimate of the free send buffer. Timers: the number of fires merged
    // into this call.
    virtual unsigned long data() const = 0;

    virtual void suspend() = 0;
    virtual void resume() = 0;
    virtual void cancel() = 0;
    virtual bool isCancelled() const = 0;
};

}  // namespace lumora
