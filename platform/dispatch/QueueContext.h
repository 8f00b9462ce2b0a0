#pragma once

#include <vector>

namespace lumora {

class DispatchQueue;

// What the calling thread runs on: the stack of queues whose tasks it runs
// right now (a serial queue draining inside its target pushes both, the
// target first), plus the queues "lent" to it by a thread that waits in
// sync() for it. Only the thread itself touches its context.
class QueueContext {
public:
    // Innermost queue, or nullptr.
    static DispatchQueue* innermost();
    // True when the thread holds the queue (runs its task, directly or
    // through a queue targeting it, or on behalf of a sync() caller that does).
    static bool holds(const DispatchQueue* queue);
    // A copy of everything the thread holds, to lend to a sync() worker.
    static std::vector<DispatchQueue*> snapshot();

    // Pushes a queue for the lifetime of the object.
    class Frame {
    public:
        explicit Frame(DispatchQueue* queue);
        ~Frame();
        Frame(const Frame&) = delete;
        Frame& operator=(const Frame&) = delete;
    };

    // Lends the queues of a waiting sync() caller for the object's lifetime.
    class Lent {
    public:
        explicit Lent(std::vector<DispatchQueue*> queues);
        ~Lent();
        Lent(const Lent&) = delete;
        Lent& operator=(const Lent&) = delete;

    private:
        std::vector<DispatchQueue*> saved_;
    };
};

}  // namespace lumora
