#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/Log.h"
#include "platform/graphics/RenderThread.h"
#include "platform/runloop/RunLoop.h"

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer's runtime (GCC 12) guesses where a thread's dynamic
// thread-local block starts from a header an older C library put before it;
// on glibc 2.36 the guess now and then yields a wild range, and the leak
// checker crashes reading it at exit ("Tracer caught signal 11", in about
// every other run of a grid test on two cores). Without that tracking the
// blocks are still found, as heap blocks reached through each thread's
// block table, so no leak goes unseen. Weak: a test program with options of
// its own (tests/ui/web) defines them together with this one.
extern "C" __attribute__((weak)) const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }
#endif

namespace {

// Keeps every test quiet: the log is held in memory and written out only for
// a test that fails, below its failure messages.
class HeldLogPrinter : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { lumora::Log::takeHeld(); }
    void OnTestEnd(const ::testing::TestInfo& info) override {
        std::string held = lumora::Log::takeHeld();
        if (info.result()->Failed() && !held.empty()) {
            std::fprintf(stderr, "---- log of %s.%s ----\n%s----\n", info.test_suite_name(), info.name(), held.c_str());
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    // The GL driver set up as the program sets it up (no rasteriser threads
    // of its own); this also keeps the leak checker's exit-time walk away
    // from those threads' thread-local storage, which it now and then
    // misreads and crashes on (GCC 12's runtime on glibc 2.36).
    lumora::RenderThread::prepareDriver();
    // The test thread is the main thread: it owns the main run loop.
    lumora::RunLoop::main();
    // Sockets that meet a closed peer must report an error, not kill the run.
    std::signal(SIGPIPE, SIG_IGN);
    // Every line is kept (LUMORA_LOG may narrow it) and shown only on failure.
    lumora::Log::setLevel(lumora::Log::Level::Trace);
    lumora::Log::configureFromEnvironment();
    lumora::Log::setHolding(true);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new HeldLogPrinter);
    return RUN_ALL_TESTS();
}
