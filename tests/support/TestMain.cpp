#include <gtest/gtest.h>

#include <csignal>

#include "platform/runloop/RunLoop.h"

int main(int argc, char** argv) {
    // The test thread is the main thread: it owns the main run loop.
    lumora::RunLoop::main();
    // Sockets that meet a closed peer must report an error, not kill the run.
    std::signal(SIGPIPE, SIG_IGN);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
