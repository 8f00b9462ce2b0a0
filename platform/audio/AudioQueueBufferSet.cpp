#include "platform/audio/AudioQueueBufferSet.h"

namespace lumora {

std::unique_ptr<AudioQueueBufferSet::Owned> AudioQueueBufferSet::make(uint32_t bytes, uint32_t packetDescriptions) {
    auto owned = std::make_unique<Owned>();
    owned->data.assign(bytes, 0);
    owned->descriptions.resize(packetDescriptions);
    owned->header.mAudioDataBytesCapacity = bytes;
    owned->header.mAudioData = owned->data.data();
    owned->header.mPacketDescriptionCapacity = packetDescriptions;
    owned->header.mPacketDescriptions = packetDescriptions ? owned->descriptions.data() : nullptr;
    return owned;
}

AudioQueueBuffer* AudioQueueBufferSet::add(std::unique_ptr<Owned> owned) {
    AudioQueueBuffer* ref = &owned->header;
    buffers_.emplace(ref, std::move(owned));
    return ref;
}

AudioQueueBufferSet::Owned* AudioQueueBufferSet::find(AudioQueueBuffer* buffer) const {
    auto it = buffers_.find(buffer);
    return it == buffers_.end() ? nullptr : it->second.get();
}

AudioQueueBufferSet::Owned* AudioQueueBufferSet::findIdle(AudioQueueBuffer* buffer, OSStatus& status) const {
    Owned* owned = find(buffer);
    status = !owned ? kAudioQueueErr_InvalidBuffer : owned->enqueued ? kAudioQueueErr_BufferInQueue : kAudioNoErr;
    return status == kAudioNoErr ? owned : nullptr;
}

OSStatus AudioQueueBufferSet::free(AudioQueueBuffer* buffer) {
    OSStatus status;
    if (findIdle(buffer, status)) buffers_.erase(buffer);
    return status;
}

size_t AudioQueueBufferSet::enqueuedCount() const {
    size_t n = 0;
    for (auto& [ref, owned] : buffers_)
        if (owned->enqueued) ++n;
    return n;
}

}  // namespace lumora
