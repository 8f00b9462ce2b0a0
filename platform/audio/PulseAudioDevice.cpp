#include "platform/audio/PulseAudioDevice.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>
#include <pulse/simple.h>

#include <chrono>
#include <thread>

namespace lumora {

namespace {

constexpr const char* kApplicationName = "lumora";

pa_sample_spec sampleFormatFor(uint32_t rate, uint32_t channels) {
    pa_sample_spec sample{};
    sample.format = PA_SAMPLE_S16NE;
    sample.rate = rate;
    sample.channels = static_cast<uint8_t>(channels);
    return sample;
}

// Keeps about 100 ms in the server, as a sound card's buffer would.
pa_buffer_attr attrFor(const pa_sample_spec& sample) {
    pa_buffer_attr attr{};
    uint32_t bytes = static_cast<uint32_t>(pa_usec_to_bytes(100000, &sample));
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = bytes;
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(20000, &sample));
    return attr;
}

class PulseSink final : public AudioSink {
public:
    PulseSink(pa_simple* s, uint32_t channels) : s_(s), channels_(channels) {}
    ~PulseSink() override { pa_simple_free(s_); }
    bool write(const int16_t* frames, size_t frameCount) override {
        int err = 0;
        return pa_simple_write(s_, frames, frameCount * channels_ * sizeof(int16_t), &err) == 0;
    }
    void drain() override {
        int err = 0;
        pa_simple_drain(s_, &err);
    }
    void flush() override {
        int err = 0;
        pa_simple_flush(s_, &err);
    }
    // A blocked simple-API write returns by itself within the buffer time.
    void interrupt() override {}

private:
    pa_simple* s_;
    uint32_t channels_;
};

class PulseSource final : public AudioSource {
public:
    PulseSource(pa_simple* s, uint32_t channels) : s_(s), channels_(channels) {}
    ~PulseSource() override { pa_simple_free(s_); }
    bool read(int16_t* frames, size_t frameCount) override {
        int err = 0;
        return pa_simple_read(s_, frames, frameCount * channels_ * sizeof(int16_t), &err) == 0;
    }
    void interrupt() override {}

private:
    pa_simple* s_;
    uint32_t channels_;
};

pa_simple* openStream(pa_stream_direction_t dir, uint32_t rate, uint32_t channels, std::string* why) {
    pa_sample_spec sample = sampleFormatFor(rate, channels);
    if (!pa_sample_spec_valid(&sample)) {
        if (why) *why = "unsupported sample format";
        return nullptr;
    }
    pa_buffer_attr attr = attrFor(sample);
    int err = 0;
    pa_simple* s = pa_simple_new(nullptr, kApplicationName, dir, nullptr,
                                 dir == PA_STREAM_PLAYBACK ? "device audio" : "talk audio", &sample, nullptr, &attr, &err);
    if (!s && why) *why = pa_strerror(err);
    return s;
}

}  // namespace

std::unique_ptr<AudioSink> PulseAudioDevice::openSink(uint32_t rate, uint32_t channels, std::string* why) {
    pa_simple* s = openStream(PA_STREAM_PLAYBACK, rate, channels, why);
    return s ? std::make_unique<PulseSink>(s, channels) : nullptr;
}

std::unique_ptr<AudioSource> PulseAudioDevice::openSource(uint32_t rate, uint32_t channels, std::string* why) {
    pa_simple* s = openStream(PA_STREAM_RECORD, rate, channels, why);
    return s ? std::make_unique<PulseSource>(s, channels) : nullptr;
}

bool PulseAudioDevice::serverAnswers() {
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop) return false;
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), kApplicationName);
    bool ready = false;
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (std::chrono::steady_clock::now() < deadline) {
            pa_mainloop_iterate(loop, 0, nullptr);
            pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY) {
                ready = true;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(state)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pa_context_disconnect(context);
    }
    if (context) pa_context_unref(context);
    pa_mainloop_free(loop);
    return ready;
}

}  // namespace lumora
