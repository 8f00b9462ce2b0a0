#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/audio/AudioTypes.h"

namespace lumora {

// The buffers one audio queue owns, keyed by the references handed to its
// owner, so that a reference that is not one of them is refused rather than
// followed. Not thread-safe: the queue guards it with its own mutex.
class AudioQueueBufferSet {
public:
    struct Owned {
        AudioQueueBuffer header;
        std::vector<uint8_t> data;
        std::vector<AudioStreamPacketDescription> descriptions;
        bool enqueued = false;
    };

    // A buffer of `bytes` bytes with room for `packetDescriptions`
    // descriptions, not yet in the set (made outside the queue's lock).
    static std::unique_ptr<Owned> make(uint32_t bytes, uint32_t packetDescriptions);
    AudioQueueBuffer* add(std::unique_ptr<Owned> owned);

    Owned* find(AudioQueueBuffer* buffer) const;
    // The buffer when it is one of the set's and not enqueued; otherwise
    // null with `status` set (kAudioQueueErr_InvalidBuffer or
    // kAudioQueueErr_BufferInQueue).
    Owned* findIdle(AudioQueueBuffer* buffer, OSStatus& status) const;
    // Refused like findIdle().
    OSStatus free(AudioQueueBuffer* buffer);
    void clear() { buffers_.clear(); }
    size_t enqueuedCount() const;

private:
    std::unordered_map<AudioQueueBuffer*, std::unique_ptr<Owned>> buffers_;
};

}  // namespace lumora
