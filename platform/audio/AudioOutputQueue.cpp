#include "platform/audio/AudioOutputQueue.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio/AudioBackend.h"
#include "platform/audio/AudioQueueBufferSet.h"
#include "platform/audio/AudioSampleCoder.h"
#include "platform/runloop/RunLoop.h"

namespace lumora {

struct AudioOutputQueue::Impl : std::enable_shared_from_this<AudioOutputQueue::Impl> {
    enum class State { Stopped, Running, Paused };

    AudioStreamBasicDescription format;
    BufferDone callback;
    RunLoop* loop = nullptr;

    mutable std::mutex mutex;
    std::condition_variable changed;
    AudioQueueBufferSet buffers;
    std::deque<AudioQueueBuffer*> pending;
    State state = State::Stopped;
    bool drainStop = false;
    bool disposed = false;
    bool workerExited = false;
    uint64_t stopEpoch = 0;  // advanced by every immediate stop
    float volume = 1.0f;
    RunningListener listener;
    std::unique_ptr<AudioSink> sink;  // written by the worker only
    std::thread::id worker;

    void run();
    void handBack(AudioQueueBuffer* buffer);  // under mutex
    void notifyRunning(bool running) {
        RunningListener l;
        {
            std::lock_guard<std::mutex> lock(mutex);
            l = listener;
        }
        if (l) l(running);
    }
};

void AudioOutputQueue::Impl::handBack(AudioQueueBuffer* buffer) {
    if (auto* owned = buffers.find(buffer)) owned->enqueued = false;
    std::weak_ptr<Impl> weak = shared_from_this();
    loop->perform([weak, buffer] {
        auto self = weak.lock();
        if (!self) return;
        {
            std::lock_guard<std::mutex> lock(self->mutex);
            if (self->disposed || !self->buffers.find(buffer)) return;
        }
        self->callback(buffer);
    });
}

void AudioOutputQueue::Impl::run() {
    const uint32_t channels = AudioSampleCoder::channels(format);
    const size_t chunkFrames = std::max<uint32_t>(1, AudioSampleCoder::frameRate(format) / 100);  // 10 ms
    std::unique_lock<std::mutex> lock(mutex);
    while (true) {
        changed.wait(lock, [&] { return disposed || (state == State::Running && (!pending.empty() || drainStop)); });
        if (disposed) break;
        if (pending.empty()) {  // a stop that waits for the play-out
            lock.unlock();
            sink->drain();
            lock.lock();
            if (disposed) break;
            if (drainStop && pending.empty() && state == State::Running) {
                drainStop = false;
                state = State::Stopped;
                lock.unlock();
                notifyRunning(false);
                lock.lock();
            }
            continue;
        }
        AudioQueueBuffer* buffer = pending.front();
        pending.pop_front();
        std::vector<uint8_t> bytes(buffer->mAudioData, buffer->mAudioData + buffer->mAudioDataByteSize);
        const uint64_t epoch = stopEpoch;
        const float gain = volume;
        lock.unlock();

        std::vector<int16_t> pcm;
        AudioSampleCoder::decode(format, bytes.data(), bytes.size(), pcm);
        if (gain < 1.0f)
            for (int16_t& s : pcm) s = static_cast<int16_t>(static_cast<float>(s) * gain);
        const size_t frames = pcm.size() / channels;
        bool aborted = false;
        for (size_t at = 0; at < frames; at += chunkFrames) {
            lock.lock();
            changed.wait(lock, [&] { return disposed || stopEpoch != epoch || state != State::Paused; });
            aborted = disposed || stopEpoch != epoch;
            lock.unlock();
            if (aborted) break;
            size_t n = std::min(chunkFrames, frames - at);
            if (!sink->write(pcm.data() + at * channels, n)) break;  // device failure: the rest is dropped
        }
        if (aborted) sink->flush();

        lock.lock();
        if (disposed) break;
        handBack(buffer);
    }
    sink.reset();
    workerExited = true;
    changed.notify_all();
}

AudioOutputQueue::AudioOutputQueue(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

AudioOutputQueue::~AudioOutputQueue() { dispose(); }

std::unique_ptr<AudioOutputQueue> AudioOutputQueue::create(const AudioStreamBasicDescription& format,
                                                           BufferDone callback, RunLoop& callbackLoop,
                                                           OSStatus* status) {
    auto fail = [&](OSStatus s) {
        if (status) *status = s;
        return std::unique_ptr<AudioOutputQueue>();
    };
    if (!callback) return fail(kAudioQueueErr_InvalidParameter);
    if (!AudioSampleCoder::supports(format)) return fail(kAudioFormatUnsupportedDataFormatError);
    auto sink = AudioBackend::openSink(AudioSampleCoder::frameRate(format), AudioSampleCoder::channels(format));
    if (!sink) return fail(kAudioQueueErr_CannotStart);

    auto impl = std::make_shared<Impl>();
    impl->format = format;
    impl->callback = std::move(callback);
    impl->loop = &callbackLoop;
    impl->sink = std::move(sink);
    std::thread thread([impl] { impl->run(); });
    {
        std::lock_guard<std::mutex> lock(impl->mutex);
        impl->worker = thread.get_id();
    }
    thread.detach();
    if (status) *status = kAudioNoErr;
    return std::unique_ptr<AudioOutputQueue>(new AudioOutputQueue(std::move(impl)));
}

const AudioStreamBasicDescription& AudioOutputQueue::format() const { return impl_->format; }

OSStatus AudioOutputQueue::allocateBuffer(uint32_t bytes, AudioQueueBufferRef* out) {
    return allocateBufferWithPacketDescriptions(bytes, 0, out);
}

OSStatus AudioOutputQueue::allocateBufferWithPacketDescriptions(uint32_t bytes, uint32_t packetDescriptions,
                                                                AudioQueueBufferRef* out) {
    if (!out) return kAudioQueueErr_InvalidParameter;
    *out = nullptr;
    if (bytes == 0 || bytes > kMaxBufferBytes || packetDescriptions > bytes) return kAudioQueueErr_InvalidParameter;
    auto owned = AudioQueueBufferSet::make(bytes, packetDescriptions);
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErr_DisposalPending;
    *out = impl_->buffers.add(std::move(owned));
    return kAudioNoErr;
}

OSStatus AudioOutputQueue::allocateBufferWithData(const void* data, uint32_t bytes, uint32_t packetCount,
                                                  const AudioStreamPacketDescription* packetDescriptions,
                                                  AudioQueueBufferRef* out) {
    if (!out) return kAudioQueueErr_InvalidParameter;
    *out = nullptr;
    if (!data || bytes == 0 || bytes > kMaxBufferBytes || packetCount > bytes || (packetCount && !packetDescriptions))
        return kAudioQueueErr_InvalidParameter;
    // Filled while only this thread knows of it: once in the set, a dispose
    // may free it at any moment.
    auto owned = AudioQueueBufferSet::make(bytes, packetCount);
    std::memcpy(owned->header.mAudioData, data, bytes);
    owned->header.mAudioDataByteSize = bytes;
    if (packetCount)
        std::memcpy(owned->header.mPacketDescriptions, packetDescriptions, packetCount * sizeof(*packetDescriptions));
    owned->header.mPacketDescriptionCount = packetCount;
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErr_DisposalPending;
    *out = impl_->buffers.add(std::move(owned));
    return kAudioNoErr;
}

OSStatus AudioOutputQueue::freeBuffer(AudioQueueBufferRef buffer) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErr_DisposalPending;
    return impl_->buffers.free(buffer);
}

OSStatus AudioOutputQueue::enqueueBuffer(AudioQueueBufferRef buffer) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErr_DisposalPending;
    OSStatus status;
    auto* owned = impl_->buffers.findIdle(buffer, status);
    if (!owned) return status;
    if (buffer->mAudioDataByteSize == 0) return kAudioQueueErr_BufferEmpty;
    if (buffer->mAudioDataByteSize > buffer->mAudioDataBytesCapacity ||
        buffer->mPacketDescriptionCount > buffer->mPacketDescriptionCapacity)
        return kAudioQueueErr_InvalidParameter;
    owned->enqueued = true;
    impl_->pending.push_back(buffer);
    impl_->changed.notify_all();
    return kAudioNoErr;
}

OSStatus AudioOutputQueue::start() {
    bool wasRunning;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        if (impl_->disposed) return kAudioQueueErr_DisposalPending;
        wasRunning = impl_->state != Impl::State::Stopped;
        impl_->state = Impl::State::Running;
        impl_->changed.notify_all();
    }
    if (!wasRunning) impl_->notifyRunning(true);
    return kAudioNoErr;
}

OSStatus AudioOutputQueue::pause() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErr_DisposalPending;
    if (impl_->state == Impl::State::Running && !impl_->drainStop) impl_->state = Impl::State::Paused;
    return kAudioNoErr;
}

OSStatus AudioOutputQueue::stop(bool immediate) {
    bool wasRunning;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        if (impl_->disposed) return kAudioQueueErr_DisposalPending;
        wasRunning = impl_->state != Impl::State::Stopped;
        if (!wasRunning) return kAudioNoErr;
        if (immediate) {
            impl_->state = Impl::State::Stopped;
            impl_->drainStop = false;
            ++impl_->stopEpoch;
            for (AudioQueueBuffer* b : impl_->pending) impl_->handBack(b);
            impl_->pending.clear();
        } else {
            // A paused queue plays out too: what was enqueued is not lost.
            impl_->drainStop = true;
            impl_->state = Impl::State::Running;
        }
        impl_->changed.notify_all();
    }
    if (immediate) impl_->notifyRunning(false);
    return kAudioNoErr;
}

OSStatus AudioOutputQueue::flush() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->disposed ? kAudioQueueErr_DisposalPending : kAudioNoErr;
}

OSStatus AudioOutputQueue::dispose() {
    std::unique_lock<std::mutex> lock(impl_->mutex);
    if (impl_->disposed) return kAudioNoErr;
    impl_->disposed = true;
    impl_->state = Impl::State::Stopped;
    impl_->pending.clear();
    if (impl_->sink) impl_->sink->interrupt();
    impl_->changed.notify_all();
    if (std::this_thread::get_id() != impl_->worker) {
        impl_->changed.wait(lock, [&] { return impl_->workerExited; });
        impl_->buffers.clear();
    }
    return kAudioNoErr;
}

OSStatus AudioOutputQueue::setVolume(float volume) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErr_DisposalPending;
    if (!(volume >= 0.0f && volume <= 1.0f)) return kAudioQueueErr_InvalidParameter;
    impl_->volume = volume;
    return kAudioNoErr;
}

float AudioOutputQueue::volume() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->volume;
}

OSStatus AudioOutputQueue::setRunningListener(RunningListener listener) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErr_DisposalPending;
    impl_->listener = std::move(listener);
    return kAudioNoErr;
}

bool AudioOutputQueue::isRunning() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->state != Impl::State::Stopped;
}

bool AudioOutputQueue::isPaused() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->state == Impl::State::Paused;
}

size_t AudioOutputQueue::enqueuedCount() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->buffers.enqueuedCount();
}

}  // namespace lumora
