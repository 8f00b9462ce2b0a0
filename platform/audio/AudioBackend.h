#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace lumora {

// A sound output: takes signed 16-bit interleaved frames at the rate and
// channel count it was opened with, and blocks while the device is full
// (so writes pace themselves at the device's speed).
class AudioSink {
public:
    virtual ~AudioSink() = default;
    // False when the device failed; the caller then drops the audio.
    virtual bool write(const int16_t* frames, size_t frameCount) = 0;
    // Waits until everything written has been played.
    virtual void drain() = 0;
    // Drops what was written and not yet played.
    virtual void flush() = 0;
    // From another thread: makes a write or drain that blocks return soon.
    virtual void interrupt() = 0;
};

// A sound input: gives signed 16-bit interleaved frames, blocking until the
// device has captured them.
class AudioSource {
public:
    virtual ~AudioSource() = default;
    virtual bool read(int16_t* frames, size_t frameCount) = 0;
    virtual void interrupt() = 0;
};

// Opens sinks and sources on the sound backend that Config::audioBackend
// names: "pulse" (a PulseAudio server), "alsa" (the ALSA device
// Config::alsaDevice) or "null" (no sound card: NullAudioDevice plays and
// records in real time scaled by Config::timeScale). Empty: "pulse" when a
// PulseAudio server answers, else "null".
class AudioBackend {
public:
    // The backend now in use ("pulse", "alsa" or "null").
    static std::string name();

    // Null with `why` set when the device cannot be opened.
    static std::unique_ptr<AudioSink> openSink(uint32_t rate, uint32_t channels, std::string* why = nullptr);
    static std::unique_ptr<AudioSource> openSource(uint32_t rate, uint32_t channels, std::string* why = nullptr);

    // True when a PulseAudio server accepts a connection (asked once per
    // process; never starts a server).
    static bool pulseServerAnswers();
};

}  // namespace lumora
