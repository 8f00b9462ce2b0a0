#pragma once

#include <cstddef>
#include <cstdint>

namespace lumora {

// Where an AudioRecorder hands captured audio (required).
class AudioRecordDelegate {
public:
    virtual ~AudioRecordDelegate() = default;
    // Captured bytes in the recorder's format; valid during the call only.
    virtual void onAudioDataReady(const uint8_t* data, size_t length) = 0;
};

}  // namespace lumora
