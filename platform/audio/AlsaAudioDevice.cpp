#include "platform/audio/AlsaAudioDevice.h"

#include <alsa/asoundlib.h>

namespace lumora {

namespace {

constexpr unsigned kLatencyUs = 100000;

snd_pcm_t* openPcm(const std::string& device, snd_pcm_stream_t dir, uint32_t rate, uint32_t channels,
                   std::string* why) {
    snd_pcm_t* pcm = nullptr;
    int err = snd_pcm_open(&pcm, device.c_str(), dir, 0);
    if (err >= 0)
        err = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, channels, rate, 1,
                                 kLatencyUs);
    if (err < 0) {
        if (why) *why = snd_strerror(err);
        if (pcm) snd_pcm_close(pcm);
        return nullptr;
    }
    return pcm;
}

class AlsaSink final : public AudioSink {
public:
    AlsaSink(snd_pcm_t* pcm, uint32_t channels) : pcm_(pcm), channels_(channels) {}
    ~AlsaSink() override { snd_pcm_close(pcm_); }
    bool write(const int16_t* frames, size_t frameCount) override {
        while (frameCount > 0) {
            snd_pcm_sframes_t n = snd_pcm_writei(pcm_, frames, frameCount);
            if (n < 0) {
                if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0) return false;
                continue;
            }
            frames += static_cast<size_t>(n) * channels_;
            frameCount -= static_cast<size_t>(n);
        }
        return true;
    }
    void drain() override {
        snd_pcm_drain(pcm_);
        snd_pcm_prepare(pcm_);
    }
    void flush() override {
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
    }
    void interrupt() override {}

private:
    snd_pcm_t* pcm_;
    uint32_t channels_;
};

class AlsaSource final : public AudioSource {
public:
    AlsaSource(snd_pcm_t* pcm, uint32_t channels) : pcm_(pcm), channels_(channels) {}
    ~AlsaSource() override { snd_pcm_close(pcm_); }
    bool read(int16_t* frames, size_t frameCount) override {
        while (frameCount > 0) {
            snd_pcm_sframes_t n = snd_pcm_readi(pcm_, frames, frameCount);
            if (n < 0) {
                if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0) return false;
                continue;
            }
            frames += static_cast<size_t>(n) * channels_;
            frameCount -= static_cast<size_t>(n);
        }
        return true;
    }
    void interrupt() override {}

private:
    snd_pcm_t* pcm_;
    uint32_t channels_;
};

}  // namespace

std::unique_ptr<AudioSink> AlsaAudioDevice::openSink(const std::string& device, uint32_t rate, uint32_t channels,
                                                     std::string* why) {
    snd_pcm_t* pcm = openPcm(device, SND_PCM_STREAM_PLAYBACK, rate, channels, why);
    return pcm ? std::make_unique<AlsaSink>(pcm, channels) : nullptr;
}

std::unique_ptr<AudioSource> AlsaAudioDevice::openSource(const std::string& device, uint32_t rate,
                                                         uint32_t channels, std::string* why) {
    snd_pcm_t* pcm = openPcm(device, SND_PCM_STREAM_CAPTURE, rate, channels, why);
    return pcm ? std::make_unique<AlsaSource>(pcm, channels) : nullptr;
}

}  // namespace lumora
