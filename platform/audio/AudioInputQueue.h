#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/audio/AudioTypes.h"

namespace lumora {

class RunLoop;

// An audio input queue: its owner allocates buffers from it and enqueues
// them; while the queue runs, its thread captures from the sound backend
// (AudioBackend), encodes into the queue's format and fills the enqueued
// buffers in order. Each full buffer goes to the input callback, on the run
// loop given at creation, with its byte size and packet count set; the owner
// reads it and enqueues it again. Audio captured while no buffer is enqueued
// is dropped, as a sound card drops it.
//
// Guarantees as for AudioOutputQueue: after dispose() no callback runs and
// stale buffer references are refused; all calls are thread-safe; the run
// loop given must outlive the queue.
class AudioInputQueue {
public:
    using InputCallback = std::function<void(AudioQueueBufferRef buffer, uint32_t packetCount)>;

    static constexpr uint32_t kMaxBufferBytes = 4u << 20;

    // Null, with `status` set, when the format is not supported.
    static std::unique_ptr<AudioInputQueue> create(const AudioStreamBasicDescription& format, InputCallback callback,
                                                   RunLoop& callbackLoop, OSStatus* status);
    ~AudioInputQueue();  // disposes
    AudioInputQueue(const AudioInputQueue&) = delete;
    AudioInputQueue& operator=(const AudioInputQueue&) = delete;

    const AudioStreamBasicDescription& format() const;

    OSStatus allocateBuffer(uint32_t bytes, AudioQueueBufferRef* out);
    OSStatus freeBuffer(AudioQueueBufferRef buffer);  // refused while enqueued
    OSStatus enqueueBuffer(AudioQueueBufferRef buffer);

    // Opens the sound input (kAudioQueueErr_CannotStart when it does not).
    OSStatus start();
    // Immediate: stops at once; a partly filled buffer stays enqueued.
    // Otherwise: a partly filled buffer is handed over first.
    OSStatus stop(bool immediate);
    OSStatus flush();
    // Stops at once and frees the queue's buffers.
    OSStatus dispose();

    OSStatus setLevelMetering(bool enabled);
    bool levelMetering() const;
    // Bytes of the largest packet the format gives: a whole ADPCM block, or
    // one frame.
    uint32_t maximumOutputPacketSize() const;

    bool isRunning() const;
    size_t enqueuedCount() const;
    // Bytes captured while no buffer was enqueued.
    uint64_t droppedBytes() const;

    struct Impl;

private:
    explicit AudioInputQueue(std::shared_ptr<Impl> impl);
    std::shared_ptr<Impl> impl_;
};

}  // namespace lumora
