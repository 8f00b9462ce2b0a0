#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "base/utilities/AudioQueueDelegate.h"
#include "platform/audio/AudioOutputQueue.h"
#include "platform/audio/AudioTypes.h"

namespace lumora {

// The thin object around one platform output queue. Each
// setAudioStreamBasicDescription() makes a new output queue (disposing the
// one before); buffers belong to the output queue they were allocated from.
//
// Threads: every call may come from any thread. The delegate is held weakly;
// callbacks reach it only while it and this wrapper live, and never after
// the wrapper's output queue was replaced or disposed.
class AudioQueue : public std::enable_shared_from_this<AudioQueue> {
public:
    // initQueueWithDelegate:
    static std::shared_ptr<AudioQueue> initQueueWithDelegate(std::weak_ptr<AudioQueueDelegate> delegate);
    ~AudioQueue();  // disposes of the output queue at once
    AudioQueue(const AudioQueue&) = delete;
    AudioQueue& operator=(const AudioQueue&) = delete;

    // Makes an output queue for the format whose buffer-done callbacks run
    // on the calling thread's run loop, and listens to its running state.
    OSStatus setAudioStreamBasicDescription(const AudioStreamBasicDescription& format);

    OSStatus start();
    OSStatus pause();
    OSStatus stop();
    // Flushes, then stops without cutting off what is queued.
    OSStatus endOfStream();

    // A buffer of bytes.size() bytes holding a copy of them and of the
    // packet descriptions.
    OSStatus allocateBufferWithData(const uint8_t* data, size_t length, uint32_t packetCount,
                                    const AudioStreamPacketDescription* packetDescriptions,
                                    AudioQueueBufferRef* outBufferRef);
    OSStatus FreeBuffer(AudioQueueBufferRef buffer);
    OSStatus enqueueBuffer(AudioQueueBufferRef buffer);

    // Disposes of the output queue at once (what release did).
    void dispose();

    bool hasOutputQueue() const;
    bool isRunning() const;
    bool isPaused() const;
    size_t enqueuedCount() const;  // buffers in flight
    // Advanced by every new output queue: tells callbacks of an old one
    // apart.
    uint64_t generation() const;

private:
    explicit AudioQueue(std::weak_ptr<AudioQueueDelegate> delegate);
    std::shared_ptr<AudioOutputQueue> output() const;
    void bufferDone(uint64_t generation, AudioQueueBufferRef buffer);
    void runningChanged(uint64_t generation, bool running);

    std::weak_ptr<AudioQueueDelegate> delegate_;  // not owned
    mutable std::mutex mutex_;
    std::shared_ptr<AudioOutputQueue> queue_;
    uint64_t generation_ = 0;
};

}  // namespace lumora
