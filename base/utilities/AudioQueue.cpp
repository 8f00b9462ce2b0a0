#include "base/utilities/AudioQueue.h"

#include <cstdio>

#include "platform/runloop/RunLoop.h"
#include "platform/Log.h"

namespace lumora {

AudioQueue::AudioQueue(std::weak_ptr<AudioQueueDelegate> delegate) : delegate_(std::move(delegate)) {}

std::shared_ptr<AudioQueue> AudioQueue::initQueueWithDelegate(std::weak_ptr<AudioQueueDelegate> delegate) {
    return std::shared_ptr<AudioQueue>(new AudioQueue(std::move(delegate)));
}

AudioQueue::~AudioQueue() { dispose(); }

std::shared_ptr<AudioOutputQueue> AudioQueue::output() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_;
}

OSStatus AudioQueue::setAudioStreamBasicDescription(const AudioStreamBasicDescription& format) {
    uint64_t generation;
    std::shared_ptr<AudioOutputQueue> old;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        generation = ++generation_;
        old = std::move(queue_);
    }
    if (old) old->dispose();  // its callbacks stop here

    std::weak_ptr<AudioQueue> weak = weak_from_this();
    OSStatus status = kAudioNoErr;
    std::shared_ptr<AudioOutputQueue> queue = AudioOutputQueue::create(
        format,
        [weak, generation](AudioQueueBufferRef buffer) {
            if (auto self = weak.lock()) self->bufferDone(generation, buffer);
        },
        RunLoop::current(), &status);
    if (!queue) {
        Log::warn("AudioQueue", "no output queue for format 0x%08X: %d", format.mFormatID, status);
        return status;
    }
    status = queue->setRunningListener([weak, generation](bool running) {
        if (auto self = weak.lock()) self->runningChanged(generation, running);
    });
    if (status != kAudioNoErr) return status;
    std::lock_guard<std::mutex> lock(mutex_);
    if (generation_ == generation) queue_ = std::move(queue);
    return status;
}

void AudioQueue::bufferDone(uint64_t generation, AudioQueueBufferRef buffer) {
    if (this->generation() != generation) return;
    if (auto delegate = delegate_.lock()) delegate->audioQueueIsDoneWithBuffer(*this, buffer);
}

void AudioQueue::runningChanged(uint64_t generation, bool running) {
    if (this->generation() != generation) return;
    auto delegate = delegate_.lock();
    if (!delegate) return;
    if (running)
        delegate->audioQueuePlaybackIsStarting(*this);
    else
        delegate->audioQueuePlaybackIsComplete(*this);
}

OSStatus AudioQueue::start() {
    auto q = output();
    return q ? q->start() : kAudioQueueErr_InvalidParameter;
}

OSStatus AudioQueue::pause() {
    auto q = output();
    return q ? q->pause() : kAudioQueueErr_InvalidParameter;
}

OSStatus AudioQueue::stop() {
    auto q = output();
    return q ? q->stop(true) : kAudioQueueErr_InvalidParameter;
}

OSStatus AudioQueue::endOfStream() {
    auto q = output();
    if (!q) return kAudioQueueErr_InvalidParameter;
    OSStatus status = q->flush();
    if (status == kAudioNoErr) status = q->stop(false);
    return status;
}

OSStatus AudioQueue::allocateBufferWithData(const uint8_t* data, size_t length, uint32_t packetCount,
                                            const AudioStreamPacketDescription* packetDescriptions,
                                            AudioQueueBufferRef* outBufferRef) {
    if (!outBufferRef) return kAudioQueueErr_InvalidParameter;
    *outBufferRef = nullptr;
    if (!data || length == 0 || length > AudioOutputQueue::kMaxBufferBytes || (packetCount && !packetDescriptions))
        return kAudioQueueErr_InvalidParameter;
    auto q = output();
    if (!q) return kAudioQueueErr_InvalidParameter;
    // Filled inside the output queue before it is published: a dispose or a
    // new format on another thread frees the old queue's buffers, and must
    // not do so while this thread is still copying into one.
    return q->allocateBufferWithData(data, static_cast<uint32_t>(length), packetCount, packetDescriptions,
                                     outBufferRef);
}

OSStatus AudioQueue::FreeBuffer(AudioQueueBufferRef buffer) {
    auto q = output();
    return q ? q->freeBuffer(buffer) : kAudioQueueErr_InvalidBuffer;
}

OSStatus AudioQueue::enqueueBuffer(AudioQueueBufferRef buffer) {
    auto q = output();
    return q ? q->enqueueBuffer(buffer) : kAudioQueueErr_InvalidBuffer;
}

void AudioQueue::dispose() {
    std::shared_ptr<AudioOutputQueue> old;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++generation_;
        old = std::move(queue_);
    }
    if (old) old->dispose();
}

bool AudioQueue::hasOutputQueue() const { return output() != nullptr; }

bool AudioQueue::isRunning() const {
    auto q = output();
    return q && q->isRunning();
}

bool AudioQueue::isPaused() const {
    auto q = output();
    return q && q->isPaused();
}

size_t AudioQueue::enqueuedCount() const {
    auto q = output();
    return q ? q->enqueuedCount() : 0;
}

uint64_t AudioQueue::generation() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return generation_;
}

}  // namespace lumora
