#pragma once

#include <functional>
#include <mutex>

namespace lumora {

// The process-wide audio session: which kind of audio the application makes
// (the category) and who hears of interruptions. Process-wide; the last
// category set wins.
//
// On this platform nothing else takes the sound device away, so
// interruptions come only from beginInterruption()/endInterruption() (the
// sound backend's owner, or a test); the listener hears of them on the main
// run loop.
class AudioSession {
public:
    enum class Category {
        None,
        MediaPlayback,  // kAudioSessionCategory_MediaPlayback
        PlayAndRecord,  // kAudioSessionCategory_PlayAndRecord
    };
    enum class InterruptionState { Begin, End };
    using InterruptionListener = std::function<void(InterruptionState)>;

    static AudioSession& shared();

    // Sets the interruption listener (AudioSessionInitialize). Later calls
    // replace it.
    void initialize(InterruptionListener listener);
    bool isInitialized() const;

    void setCategory(Category category);
    Category category() const;

    void setActive(bool active);
    bool isActive() const;

    // Posts the change to the listener on the main run loop; the session is
    // inactive during an interruption.
    void beginInterruption();
    void endInterruption();

private:
    void post(InterruptionState state);

    mutable std::mutex mutex_;
    InterruptionListener listener_;
    bool initialized_ = false;
    Category category_ = Category::None;
    bool active_ = false;
};

}  // namespace lumora
