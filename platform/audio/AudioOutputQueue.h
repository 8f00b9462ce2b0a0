#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/audio/AudioTypes.h"

namespace lumora {

class RunLoop;

// An audio output queue: its owner allocates buffers from it, fills them and
// enqueues them; the queue plays them in order on its own thread through the
// sound backend (AudioBackend) and hands each one back through the
// buffer-done callback, on the run loop given at creation, once it was
// played. The owner then refills or frees it.
//
// Guarantees:
// - Every enqueued buffer comes back exactly once (played, or returned by an
//   immediate stop), unless the queue is disposed first.
// - After dispose() returned no callback of this queue runs, and every call
//   answers kAudioQueueErr_DisposalPending; buffers are freed with the
//   queue, so a stale buffer reference handed back later is refused, never
//   followed.
// - Buffers are only ever touched through the queue: a reference that is not
//   one of this queue's live buffers is refused with
//   kAudioQueueErr_InvalidBuffer.
// - All calls are thread-safe. The run loop given must outlive the queue
//   (the main run loop does). A buffer its owner fills through its
//   reference after allocateBuffer() is freed by a dispose() on another
//   thread under the owner's hands; an owner that may be disposed of from
//   elsewhere allocates with allocateBufferWithData(), which fills the
//   buffer before any other call can reach it.
class AudioOutputQueue {
public:
    using BufferDone = std::function<void(AudioQueueBufferRef)>;
    // Called on the queue's thread (or the caller's) when playback starts or
    // stops running.
    using RunningListener = std::function<void(bool running)>;

    // Largest buffer the queue allocates.
    static constexpr uint32_t kMaxBufferBytes = 4u << 20;

    // Opens the sound output for the format. Null, with `status` set, when
    // the format is not supported or the device does not open.
    static std::unique_ptr<AudioOutputQueue> create(const AudioStreamBasicDescription& format, BufferDone callback,
                                                    RunLoop& callbackLoop, OSStatus* status);
    ~AudioOutputQueue();  // disposes
    AudioOutputQueue(const AudioOutputQueue&) = delete;
    AudioOutputQueue& operator=(const AudioOutputQueue&) = delete;

    const AudioStreamBasicDescription& format() const;

    OSStatus allocateBuffer(uint32_t bytes, AudioQueueBufferRef* out);
    OSStatus allocateBufferWithPacketDescriptions(uint32_t bytes, uint32_t packetDescriptions,
                                                  AudioQueueBufferRef* out);
    // A buffer holding a copy of `bytes` bytes of `data` (its
    // mAudioDataByteSize set) and of the `packetCount` descriptions. The
    // copy is made before the buffer joins the queue, so a dispose() on
    // another thread never frees it while it is being filled.
    OSStatus allocateBufferWithData(const void* data, uint32_t bytes, uint32_t packetCount,
                                    const AudioStreamPacketDescription* packetDescriptions,
                                    AudioQueueBufferRef* out);
    // Refused while the buffer is enqueued (kAudioQueueErr_BufferInQueue).
    OSStatus freeBuffer(AudioQueueBufferRef buffer);
    // Plays the buffer's mAudioDataByteSize bytes after those enqueued before.
    OSStatus enqueueBuffer(AudioQueueBufferRef buffer);

    OSStatus start();
    OSStatus pause();
    // Immediate: stops at once and hands back every buffer not yet played.
    // Otherwise: plays what is enqueued, then stops.
    OSStatus stop(bool immediate);
    // Makes what is enqueued play out even when no more comes.
    OSStatus flush();
    // Stops at once and frees the queue's buffers.
    OSStatus dispose();

    OSStatus setVolume(float volume);  // 0..1
    float volume() const;

    OSStatus setRunningListener(RunningListener listener);
    bool isRunning() const;
    bool isPaused() const;
    // Buffers enqueued and not yet handed back.
    size_t enqueuedCount() const;

    struct Impl;

private:
    explicit AudioOutputQueue(std::shared_ptr<Impl> impl);
    std::shared_ptr<Impl> impl_;
};

}  // namespace lumora
