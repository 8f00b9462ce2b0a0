#pragma once

#include <memory>
#include <string>

#include "platform/audio/AudioBackend.h"

namespace lumora {

// Sound through a PulseAudio server, one simple-API stream per sink or
// source (each used from one thread: the queue's own).
class PulseAudioDevice {
public:
    static std::unique_ptr<AudioSink> openSink(uint32_t rate, uint32_t channels, std::string* why);
    static std::unique_ptr<AudioSource> openSource(uint32_t rate, uint32_t channels, std::string* why);
    // Connects once without starting a server; true when one answered.
    static bool serverAnswers();
};

}  // namespace lumora
