#include "platform/audio/AudioSession.h"

#include "platform/runloop/RunLoop.h"

namespace lumora {

AudioSession& AudioSession::shared() {
    static AudioSession* instance = new AudioSession;  // never destroyed: work still winding down at exit may use it
    return *instance;
}

void AudioSession::initialize(InterruptionListener listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    listener_ = std::move(listener);
    initialized_ = true;
}

bool AudioSession::isInitialized() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return initialized_;
}

void AudioSession::setCategory(Category category) {
    std::lock_guard<std::mutex> lock(mutex_);
    category_ = category;
}

AudioSession::Category AudioSession::category() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return category_;
}

void AudioSession::setActive(bool active) {
    std::lock_guard<std::mutex> lock(mutex_);
    active_ = active;
}

bool AudioSession::isActive() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return active_;
}

void AudioSession::beginInterruption() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        active_ = false;
    }
    post(InterruptionState::Begin);
}

void AudioSession::endInterruption() { post(InterruptionState::End); }

void AudioSession::post(InterruptionState state) {
    RunLoop::main().perform([this, state] {
        InterruptionListener listener;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            listener = listener_;
        }
        if (listener) listener(state);
    });
}

}  // namespace lumora
