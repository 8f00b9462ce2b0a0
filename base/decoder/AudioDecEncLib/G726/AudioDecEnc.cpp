#include "base/decoder/AudioDecEncLib/G726/AudioDecEnc.h"

namespace lumora {

AudioDecEnc::~AudioDecEnc() { g726_state_destroy(&_handle); }

bool AudioDecEnc::create() {
    std::lock_guard<std::mutex> guard(_lock);
    g726_state_destroy(&_handle);
    return g726_state_create(G726_16, AUDIO_ENCODING_ALAW, &_handle) == 1;
}

void AudioDecEnc::destroy() {
    std::lock_guard<std::mutex> guard(_lock);
    g726_state_destroy(&_handle);
}

bool AudioDecEnc::initDecoder() { return create(); }
bool AudioDecEnc::initEncoder() { return create(); }
void AudioDecEnc::freeDecoder() { destroy(); }
void AudioDecEnc::freeEncoder() { destroy(); }

bool AudioDecEnc::hasState() const {
    std::lock_guard<std::mutex> guard(_lock);
    return _handle != nullptr;
}

int AudioDecEnc::G726Dec(const uint8_t* data, uint8_t* sound, int length, size_t soundCapacity) {
    std::lock_guard<std::mutex> guard(_lock);
    if (!_handle || !data || !sound || length <= 0) return 0;
    int outLen = 0;
    g726_decode(_handle, data, length, sound, soundCapacity, &outLen);
    return outLen;
}

int AudioDecEnc::G726Enc(const uint8_t* samples, uint8_t* stream, int length, size_t streamCapacity) {
    std::lock_guard<std::mutex> guard(_lock);
    if (!_handle || !samples || !stream || length <= 0) return 0;
    int outLen = 0;
    g726_encode(_handle, samples, length, stream, streamCapacity, &outLen);
    return outLen;
}

}  // namespace lumora
