#pragma once

#include <chrono>
#include <thread>

namespace lumora::test {

// Polls the condition until it holds or the (generous) time-out passed;
// answers its last value. For waiting on other threads without asserting on
// timing.
template <class Pred>
bool waitFor(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace lumora::test
