#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/audio/AudioBackend.h"

namespace lumora {

// The sound card of machines without one: what is played is kept (for
// tests to read back), what is recorded comes from a generator. Both run at
// real time scaled by Config::timeScale, so 1 s of audio at timeScale 0.01
// takes 10 ms. Process-wide.
class NullAudioDevice {
public:
    // Sample number (per channel, counted from the first frame ever
    // captured) to sample value.
    using Generator = std::function<int16_t(uint64_t frame, uint32_t channel)>;

    static NullAudioDevice& shared();

    // Output.
    std::vector<int16_t> played() const;  // every sample played, interleaved
    size_t playedCount() const;
    void clearPlayed();
    // While held, writes block as on a stalled device (until released or
    // interrupted).
    void setOutputHeld(bool held);

    // Input: the generator (silence when none is set).
    void setGenerator(Generator generator);
    uint64_t capturedFrames() const;
    void resetCapture();  // frame numbers start again at 0

    std::unique_ptr<AudioSink> openSink(uint32_t rate, uint32_t channels);
    std::unique_ptr<AudioSource> openSource(uint32_t rate, uint32_t channels);

private:
    friend class NullAudioSink;
    friend class NullAudioSource;

    mutable std::mutex mutex_;
    std::condition_variable heldChanged_;
    std::vector<int16_t> played_;
    bool held_ = false;
    Generator generator_;
    uint64_t captured_ = 0;
};

}  // namespace lumora
