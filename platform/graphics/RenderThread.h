#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace lumora {

class GLContext;

// A thread that does OpenGL ES work for many views, off the main (GUI)
// thread. It owns one GL context, made current on the thread when the thread
// starts and kept current for its whole life, so the views it serves never
// switch contexts. No other code ever makes a context current on it: in
// particular a GUI toolkit's own GL context (Qt's under xcb) is never current
// here, so the two cannot collide.
//
// Tasks run one at a time in the order they were given. The thread ends when
// the last owner lets go; tasks still queued run first. The shared threads
// stop when the process exits, before the GL driver's own exit handlers.
//
// shared() hands out one of a few process-wide render threads (the one
// serving the fewest views), so a screen of sixteen video tiles uses a
// couple of threads, not sixteen.
class RenderThread : public std::enable_shared_from_this<RenderThread> {
public:
    using Task = std::function<void()>;

    // A new render thread named `name`. Its context is made on the thread; a
    // thread without a context (no EGL here) still runs tasks, and
    // context() is then null.
    static std::shared_ptr<RenderThread> create(std::string name);

    // One of the process's shared render threads: the least used one. Each
    // call counts as a user until the matching release(); views call this
    // when they are made and release() when they go.
    static std::shared_ptr<RenderThread> shared();
    static void release(const std::shared_ptr<RenderThread>& thread);
    // How many shared render threads exist at most.
    static size_t sharedCount();

    // Call first thing in main, before any thread starts (it sets the
    // environment): the software GL driver draws on the calling render
    // thread instead of waking its own rasteriser threads for every
    // drawing. The render threads already spread many views over cores; for
    // tile-sized video the wake-ups cost more than they save (about 15% of
    // the CPU of 16 live views, bench/VideoViewsBench). A value already in
    // the environment is kept.
    static void prepareDriver();

    // The shared threads end when the process exits, and must do so before
    // the GL driver tears down its own state. The driver registers some of
    // its exit handlers lazily, on the first drawing in a new state; exit
    // handlers run last-registered first, so drawing code calls this after
    // such a first drawing to register the ending again, behind them (a few
    // dozen times at most in a process).
    static void endBeforeDriverTeardown();
    static constexpr size_t kMaxExitHandlers = 64;

    ~RenderThread();
    RenderThread(const RenderThread&) = delete;
    RenderThread& operator=(const RenderThread&) = delete;

    const std::string& name() const { return state_->name; }

    // Queues the task. Thread-safe, never blocks.
    void async(Task task);
    // Runs the task on the thread and waits for it; runs inline when called
    // on the thread itself.
    void sync(const Task& task);
    // Waits until every task queued before this call has run.
    void flush() { sync([] {}); }

    bool isCurrent() const { return std::this_thread::get_id() == state_->id; }

    // The thread's context, current on it. Touch only on the thread.
    GLContext* context() const;

    // Tasks queued and not yet started (diagnostics, benchmarks).
    size_t queuedCount() const;

private:
    // What the thread itself uses: it keeps this alive while it runs, so a
    // last owner letting go from inside a task does not pull it away.
    struct State {
        std::string name;
        std::unique_ptr<GLContext> context;
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<Task> tasks;
        bool stopping = false;
        bool started = false;
        bool running = false;  // a task runs now
        bool frozen = false;
        std::thread::id id;
    };
    explicit RenderThread(std::string name);
    static void main(std::shared_ptr<State> state);
    // Runs what is queued, then ends the thread; later tasks never run.
    void end();
    // At exit: waits for the task that runs now, then never runs another
    // and never touches GL again (the context is not destroyed either: the
    // driver may already be half torn down).
    void freeze();

    std::shared_ptr<State> state_;
    std::thread thread_;
    size_t users_ = 0;  // shared() bookkeeping, under the pool's lock
    friend struct RenderThreadPool;
};

}  // namespace lumora
