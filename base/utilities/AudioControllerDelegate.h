#pragma once

#include <cstdint>
#include <vector>

namespace lumora {

// Where the talk controller hands audio to send to the device.
class AudioControllerDelegate {
public:
    virtual ~AudioControllerDelegate() = default;
    // Bytes ready to go out in one audio message (main thread). Sent only
    // when implementsOnRecordBufferReady() answers true.
    virtual void onRecordBufferReady(const std::vector<uint8_t>& data) { (void)data; }
    virtual bool implementsOnRecordBufferReady() const { return false; }
};

}  // namespace lumora
