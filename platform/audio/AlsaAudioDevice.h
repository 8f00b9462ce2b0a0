#pragma once

#include <memory>
#include <string>

#include "platform/audio/AudioBackend.h"

namespace lumora {

// Sound through an ALSA PCM device (Config::alsaDevice), one PCM per sink or
// source, each used from one thread: the queue's own.
class AlsaAudioDevice {
public:
    static std::unique_ptr<AudioSink> openSink(const std::string& device, uint32_t rate, uint32_t channels,
                                               std::string* why);
    static std::unique_ptr<AudioSource> openSource(const std::string& device, uint32_t rate, uint32_t channels,
                                                   std::string* why);
};

}  // namespace lumora
