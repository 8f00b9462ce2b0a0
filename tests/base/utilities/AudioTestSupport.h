#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "platform/Config.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/runloop/RunLoop.h"

namespace lumora::test {

// The null sound device at a quick pace: 1 s of audio takes 50 ms.
inline void useNullAudio(double timeScale = 0.05) {
    Config::shared().audioBackend = "null";
    Config::shared().timeScale = timeScale;
    NullAudioDevice::shared().clearPlayed();
    NullAudioDevice::shared().setOutputHeld(false);
    NullAudioDevice::shared().setGenerator({});
    NullAudioDevice::shared().resetCapture();
}

// Runs the main run loop until the condition holds (generous time-out).
inline bool pumpUntil(const std::function<bool()>& pred, std::chrono::seconds timeout = std::chrono::seconds(30)) {
    return RunLoop::main().runUntil(pred, timeout);
}

inline void pumpFor(std::chrono::milliseconds d) { RunLoop::main().runFor(d); }

inline std::vector<uint8_t> randomBytes(size_t n, std::mt19937& rng) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

}  // namespace lumora::test
