#include "platform/audio/NullAudioDevice.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "platform/Config.h"

namespace lumora {

namespace {

using Clock = std::chrono::steady_clock;

// The scaled play or capture time of `frames` frames.
Clock::duration scaledDuration(uint64_t frames, uint32_t rate) {
    double seconds = static_cast<double>(frames) / rate * Config::shared().timeScale;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// Paces a stream of frames against the clock; a stream that fell behind
// (nothing written for a while) starts a new schedule instead of rushing.
class Pacer {
public:
    explicit Pacer(uint32_t rate) : rate_(rate) {}
    Clock::time_point deadlineAfter(size_t frames) {
        auto now = Clock::now();
        if (frames_ == 0 || now > start_ + scaledDuration(frames_, rate_)) {
            start_ = now;
            frames_ = 0;
        }
        frames_ += frames;
        return start_ + scaledDuration(frames_, rate_);
    }

private:
    uint32_t rate_;
    Clock::time_point start_{};
    uint64_t frames_ = 0;
};

}  // namespace

class NullAudioSink final : public AudioSink {
public:
    NullAudioSink(NullAudioDevice& device, uint32_t rate, uint32_t channels)
        : device_(device), channels_(channels), pacer_(rate) {}

    bool write(const int16_t* frames, size_t frameCount) override {
        std::unique_lock<std::mutex> lock(device_.mutex_);
        device_.heldChanged_.wait(lock, [&] { return !device_.held_ || interrupted_; });
        if (interrupted_) return false;
        device_.played_.insert(device_.played_.end(), frames, frames + frameCount * channels_);
        auto deadline = pacer_.deadlineAfter(frameCount);
        device_.heldChanged_.wait_until(lock, deadline, [&] { return interrupted_.load(); });
        return !interrupted_;
    }
    void drain() override {}
    void flush() override {}
    void interrupt() override {
        std::lock_guard<std::mutex> lock(device_.mutex_);
        interrupted_ = true;
        device_.heldChanged_.notify_all();
    }

private:
    NullAudioDevice& device_;
    uint32_t channels_;
    Pacer pacer_;
    std::atomic<bool> interrupted_{false};
};

class NullAudioSource final : public AudioSource {
public:
    NullAudioSource(NullAudioDevice& device, uint32_t rate, uint32_t channels)
        : device_(device), channels_(channels), pacer_(rate) {}

    bool read(int16_t* frames, size_t frameCount) override {
        NullAudioDevice::Generator generator;
        uint64_t first;
        {
            std::unique_lock<std::mutex> lock(device_.mutex_);
            auto deadline = pacer_.deadlineAfter(frameCount);
            device_.heldChanged_.wait_until(lock, deadline, [&] { return interrupted_.load(); });
            if (interrupted_) return false;
            generator = device_.generator_;
            first = device_.captured_;
            device_.captured_ += frameCount;
        }
        for (size_t f = 0; f < frameCount; ++f)
            for (uint32_t c = 0; c < channels_; ++c)
                frames[f * channels_ + c] = generator ? generator(first + f, c) : 0;
        return true;
    }
    void interrupt() override {
        std::lock_guard<std::mutex> lock(device_.mutex_);
        interrupted_ = true;
        device_.heldChanged_.notify_all();
    }

private:
    NullAudioDevice& device_;
    uint32_t channels_;
    Pacer pacer_;
    std::atomic<bool> interrupted_{false};
};

NullAudioDevice& NullAudioDevice::shared() {
    // Never destroyed: queues still winding down at exit may write to it.
    static NullAudioDevice* instance = new NullAudioDevice;
    return *instance;
}

std::vector<int16_t> NullAudioDevice::played() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return played_;
}

size_t NullAudioDevice::playedCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return played_.size();
}

void NullAudioDevice::clearPlayed() {
    std::lock_guard<std::mutex> lock(mutex_);
    played_.clear();
}

void NullAudioDevice::setOutputHeld(bool held) {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = held;
    heldChanged_.notify_all();
}

void NullAudioDevice::setGenerator(Generator generator) {
    std::lock_guard<std::mutex> lock(mutex_);
    generator_ = std::move(generator);
}

uint64_t NullAudioDevice::capturedFrames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return captured_;
}

void NullAudioDevice::resetCapture() {
    std::lock_guard<std::mutex> lock(mutex_);
    captured_ = 0;
}

std::unique_ptr<AudioSink> NullAudioDevice::openSink(uint32_t rate, uint32_t channels) {
    return std::make_unique<NullAudioSink>(*this, std::max<uint32_t>(rate, 1), std::max<uint32_t>(channels, 1));
}

std::unique_ptr<AudioSource> NullAudioDevice::openSource(uint32_t rate, uint32_t channels) {
    return std::make_unique<NullAudioSource>(*this, std::max<uint32_t>(rate, 1), std::max<uint32_t>(channels, 1));
}

}  // namespace lumora
