#include "platform/graphics/RenderThread.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <vector>

#include "platform/graphics/GLContext.h"

namespace lumora {

struct RenderThreadPool {
    std::mutex lock;
    std::vector<std::shared_ptr<RenderThread>> threads;
    bool exitHandlerSet = false;
    size_t exitHandlerCount = 0;

    static RenderThreadPool& get() {
        static RenderThreadPool* pool = new RenderThreadPool;  // lives as long as the process
        return *pool;
    }

    // At exit the GL driver tears down its own state (exit handlers it
    // registered when it was loaded): the shared threads must have finished
    // their work and ended before that. Registered after the driver's
    // handlers, this one runs before them.
    static void endAll() {
        static std::atomic<bool> ended{false};
        if (ended.exchange(true)) return;
        std::vector<std::shared_ptr<RenderThread>> all;
        {
            RenderThreadPool& pool = get();
            std::lock_guard<std::mutex> g(pool.lock);
            all = pool.threads;
        }
        for (auto& t : all) t->freeze();
    }
};

void RenderThread::prepareDriver() { ::setenv("LP_NUM_THREADS", "0", 0); }

void RenderThread::endBeforeDriverTeardown() {
    RenderThreadPool& pool = RenderThreadPool::get();
    {
        std::lock_guard<std::mutex> g(pool.lock);
        if (!pool.exitHandlerSet || pool.exitHandlerCount >= kMaxExitHandlers) return;
        ++pool.exitHandlerCount;
    }
    std::atexit(RenderThreadPool::endAll);
}

size_t RenderThread::sharedCount() {
    // llvmpipe rasterises on threads of its own; a few render threads keep
    // the GL calls of many views flowing without one thread per view.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return std::clamp<size_t>(cores / 4, 1, 4);
}

std::shared_ptr<RenderThread> RenderThread::shared() {
    RenderThreadPool& pool = RenderThreadPool::get();
    std::lock_guard<std::mutex> g(pool.lock);
    std::shared_ptr<RenderThread> best;
    for (auto& t : pool.threads)
        if (!best || t->users_ < best->users_) best = t;
    if (!best || (best->users_ > 0 && pool.threads.size() < sharedCount())) {
        best = create("com.lumora.render." + std::to_string(pool.threads.size() + 1));
        pool.threads.push_back(best);
        if (!pool.exitHandlerSet) {
            pool.exitHandlerSet = true;
            std::atexit(RenderThreadPool::endAll);
        }
        ++pool.exitHandlerCount;
    }
    ++best->users_;
    return best;
}

void RenderThread::release(const std::shared_ptr<RenderThread>& thread) {
    if (!thread) return;
    RenderThreadPool& pool = RenderThreadPool::get();
    std::lock_guard<std::mutex> g(pool.lock);
    if (thread->users_ > 0) --thread->users_;
}

std::shared_ptr<RenderThread> RenderThread::create(std::string name) {
    std::shared_ptr<RenderThread> t(new RenderThread(std::move(name)));
    std::shared_ptr<State> s = t->state_;
    t->thread_ = std::thread([s] { main(s); });
    // Wait for the context: callers may ask for it at once.
    std::unique_lock<std::mutex> g(s->mutex);
    s->wake.wait(g, [&] { return s->started; });
    return t;
}

RenderThread::RenderThread(std::string name) : state_(std::make_shared<State>()) { state_->name = std::move(name); }

RenderThread::~RenderThread() { end(); }

void RenderThread::end() {
    {
        std::lock_guard<std::mutex> g(state_->mutex);
        state_->stopping = true;
    }
    state_->wake.notify_all();
    if (thread_.joinable()) {
        if (isCurrent())
            thread_.detach();  // let go from one of its own tasks: it ends by itself
        else
            thread_.join();
    }
}

void RenderThread::freeze() {
    std::unique_lock<std::mutex> g(state_->mutex);
    state_->frozen = true;
    if (isCurrent()) return;
    state_->wake.wait(g, [&] { return !state_->running; });
}

GLContext* RenderThread::context() const { return state_->context.get(); }

void RenderThread::main(std::shared_ptr<State> s) {
    pthread_setname_np(pthread_self(), s->name.substr(0, 15).c_str());
    std::unique_ptr<GLContext> context = GLContext::create();
    if (context && !GLContext::setCurrentContext(context.get())) context.reset();
    {
        std::lock_guard<std::mutex> g(s->mutex);
        s->context = std::move(context);
        s->id = std::this_thread::get_id();
        s->started = true;
    }
    s->wake.notify_all();
    for (;;) {
        Task task;
        {
            std::unique_lock<std::mutex> g(s->mutex);
            s->running = false;
            s->wake.notify_all();
            // A frozen thread never runs GL again: it waits until the process is gone.
            s->wake.wait(g, [&] { return !s->frozen && (s->stopping || !s->tasks.empty()); });
            if (s->tasks.empty()) break;  // stopping, and everything ran
            task = std::move(s->tasks.front());
            s->tasks.pop_front();
            s->running = true;
        }
        task();
    }
    if (s->context) {
        GLContext::setCurrentContext(nullptr);
        s->context.reset();
    }
}

void RenderThread::async(Task task) {
    // The task may let go of this object's last owner as soon as it is
    // queued: only the state, held here, is used after that.
    std::shared_ptr<State> s = state_;
    {
        std::lock_guard<std::mutex> g(s->mutex);
        s->tasks.push_back(std::move(task));
    }
    s->wake.notify_one();
}

void RenderThread::sync(const Task& task) {
    if (isCurrent()) {
        task();
        return;
    }
    {
        // An ended thread runs nothing more: waiting for it would never end.
        std::lock_guard<std::mutex> g(state_->mutex);
        if (state_->stopping || state_->frozen) return;
    }
    std::mutex doneLock;
    std::condition_variable doneCv;
    bool done = false;
    async([&] {
        task();
        std::lock_guard<std::mutex> g(doneLock);
        done = true;
        doneCv.notify_one();
    });
    std::unique_lock<std::mutex> g(doneLock);
    doneCv.wait(g, [&] { return done; });
}

size_t RenderThread::queuedCount() const {
    std::lock_guard<std::mutex> g(state_->mutex);
    return state_->tasks.size();
}

}  // namespace lumora
