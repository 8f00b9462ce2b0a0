#include "platform/audio/AudioBackend.h"

#include <cstdio>
#include <mutex>

#include "platform/audio/AlsaAudioDevice.h"
#include "platform/Config.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/PulseAudioDevice.h"
#include "platform/Log.h"

namespace lumora {

bool AudioBackend::pulseServerAnswers() {
    static std::once_flag once;
    static bool answers = false;
    std::call_once(once, [] { answers = PulseAudioDevice::serverAnswers(); });
    return answers;
}

std::string AudioBackend::name() {
    const std::string& chosen = Config::shared().audioBackend;
    if (chosen == "pulse" || chosen == "alsa" || chosen == "null") return chosen;
    return pulseServerAnswers() ? "pulse" : "null";
}

std::unique_ptr<AudioSink> AudioBackend::openSink(uint32_t rate, uint32_t channels, std::string* why) {
    std::string backend = name();
    std::string reason;
    std::unique_ptr<AudioSink> sink;
    if (backend == "pulse")
        sink = PulseAudioDevice::openSink(rate, channels, &reason);
    else if (backend == "alsa")
        sink = AlsaAudioDevice::openSink(Config::shared().alsaDevice, rate, channels, &reason);
    else
        sink = NullAudioDevice::shared().openSink(rate, channels);
    if (!sink) {
        Log::warn("audio", "cannot open %s output (%u Hz, %u channels): %s", backend.c_str(), rate, channels,
                    reason.c_str());
        if (why) *why = reason;
    }
    return sink;
}

std::unique_ptr<AudioSource> AudioBackend::openSource(uint32_t rate, uint32_t channels, std::string* why) {
    std::string backend = name();
    std::string reason;
    std::unique_ptr<AudioSource> source;
    if (backend == "pulse")
        source = PulseAudioDevice::openSource(rate, channels, &reason);
    else if (backend == "alsa")
        source = AlsaAudioDevice::openSource(Config::shared().alsaDevice, rate, channels, &reason);
    else
        source = NullAudioDevice::shared().openSource(rate, channels);
    if (!source) {
        Log::warn("audio", "cannot open %s input (%u Hz, %u channels): %s", backend.c_str(), rate, channels,
                    reason.c_str());
        if (why) *why = reason;
    }
    return source;
}

}  // namespace lumora
