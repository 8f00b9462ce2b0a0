#include <gtest/gtest.h>

#include <csignal>

int main(int argc, char** argv) {
    // Sockets that meet a closed peer must report an error, not kill the run.
    std::signal(SIGPIPE, SIG_IGN);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
