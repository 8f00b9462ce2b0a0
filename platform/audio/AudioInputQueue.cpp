#include "platform/audio/AudioInputQueue.h"

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

struct AudioInputQueue::Impl : std::enable_shared_from_this<AudioInputQueue::Impl> {
    explicit Impl(const AudioStreamBasicDescription& f) : format(f), coder(f) {}

    AudioStreamBasicDescription format;
    AudioSampleCoder coder;  // worker only
    InputCallback callback;
    RunLoop* loop = nullptr;

    mutable std::mutex mutex;
    std::condition_variable changed;
    AudioQueueBufferSet buffers;
    std::deque<AudioQueueBuffer*> pending;  // enqueued, oldest first; the front is being filled
    bool running = false;
    bool disposed = false;
    bool workerExited = false;
    bool metering = false;
    uint64_t epoch = 0;  // advanced by every stop
    uint64_t dropped = 0;
    std::unique_ptr<AudioSource> source;
    std::thread::id worker;

    size_t usableBytes(const AudioQueueBuffer* b) const {
        size_t g = std::max<size_t>(1, coder.packetBytes());
        return b->mAudioDataBytesCapacity / g * g;
    }
    void handOver(AudioQueueBuffer* buffer);  // under mutex; the buffer is the front of pending
    void run();
};

void AudioInputQueue::Impl::handOver(AudioQueueBuffer* buffer) {
    pending.pop_front();
    if (auto* owned = buffers.find(buffer)) owned->enqueued = false;
    const size_t g = std::max<size_t>(1, coder.packetBytes());
    const uint32_t packets = static_cast<uint32_t>(buffer->mAudioDataByteSize / g);
    std::weak_ptr<Impl> weak = shared_from_this();
    loop->perform([weak, buffer, packets] {
        auto self = weak.lock();
        if (!self) return;
        {
            std::lock_guard<std::mutex> lock(self->mutex);
            if (self->disposed || !self->buffers.find(buffer)) return;
        }
        self->callback(buffer, packets);
    });
}

void AudioInputQueue::Impl::run() {
    const uint32_t channels = AudioSampleCoder::channels(format);
    const size_t chunkFrames = std::max<uint32_t>(1, AudioSampleCoder::frameRate(format) / 100);  // 10 ms
    std::vector<int16_t> frames(chunkFrames * channels);
    std::vector<uint8_t> staging;
    std::unique_lock<std::mutex> lock(mutex);
    while (true) {
        changed.wait(lock, [&] { return disposed || (running && source); });
        if (disposed) break;
        const uint64_t readEpoch = epoch;
        AudioSource* src = source.get();
        lock.unlock();
        bool ok = src->read(frames.data(), chunkFrames);
        staging.clear();
        if (ok) coder.encode(frames.data(), chunkFrames, staging);
        lock.lock();
        if (disposed) break;
        if (!ok) {
            // The device failed: stop instead of spinning on it.
            running = false;
            continue;
        }
        if (!running || epoch != readEpoch) continue;
        size_t at = 0;
        while (at < staging.size()) {
            if (pending.empty()) {
                dropped += staging.size() - at;
                break;
            }
            AudioQueueBuffer* b = pending.front();
            size_t usable = usableBytes(b);
            size_t n = std::min(usable - b->mAudioDataByteSize, staging.size() - at);
            std::memcpy(b->mAudioData + b->mAudioDataByteSize, staging.data() + at, n);
            b->mAudioDataByteSize += static_cast<uint32_t>(n);
            at += n;
            if (b->mAudioDataByteSize >= usable) handOver(b);
        }
    }
    source.reset();
    workerExited = true;
    changed.notify_all();
}

AudioInputQueue::AudioInputQueue(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

AudioInputQueue::~AudioInputQueue() { dispose(); }

std::unique_ptr<AudioInputQueue> AudioInputQueue::create(const AudioStreamBasicDescription& format,
                                                         InputCallback callback, RunLoop& callbackLoop,
                                                         OSStatus* status) {
    auto fail = [&](OSStatus s) {
        if (status) *status = s;
        return std::unique_ptr<AudioInputQueue>();
    };
    if (!callback) return fail(kAudioQueueErr_InvalidParameter);
    if (!AudioSampleCoder::supports(format)) return fail(kAudioFormatUnsupportedDataFormatError);
    auto impl = std::make_shared<Impl>(format);
    impl->callback = std::move(callback);
    impl->loop = &callbackLoop;
    std::thread thread([impl] { impl->run(); });
    {
        std::lock_guard<std::mutex> lock(impl->mutex);
        impl->worker = thread.get_id();
    }
    thread.detach();
    if (status) *status = kAudioNoErr;
    return std::unique_ptr<AudioInputQueue>(new AudioInputQueue(std::move(impl)));
}

const AudioStreamBasicDescription& AudioInputQueue::format() const { return impl_->format; }

OSStatus AudioInputQueue::allocateBuffer(uint32_t bytes, AudioQueueBufferRef* out) {
    if (!out) return kAudioQueueErr_InvalidParameter;
    *out = nullptr;
    if (bytes == 0 || bytes > kMaxBufferBytes) return kAudioQueueErr_InvalidParameter;
    auto owned = AudioQueueBufferSet::make(bytes, 0);
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErr_DisposalPending;
    *out = impl_->buffers.add(std::move(owned));
    return kAudioNoErr;
}

OSStatus AudioInputQueue::freeBuffer(AudioQueueBufferRef buffer) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErr_DisposalPending;
    return impl_->buffers.free(buffer);
}

OSStatus AudioInputQueue::enqueueBuffer(AudioQueueBufferRef buffer) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErr_DisposalPending;
    OSStatus status;
    auto* owned = impl_->buffers.findIdle(buffer, status);
    if (!owned) return status;
    if (impl_->usableBytes(buffer) == 0) return kAudioQueueErr_InvalidParameter;  // smaller than one packet
    owned->enqueued = true;
    buffer->mAudioDataByteSize = 0;
    buffer->mPacketDescriptionCount = 0;
    impl_->pending.push_back(buffer);
    return kAudioNoErr;
}

OSStatus AudioInputQueue::start() {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        if (impl_->disposed) return kAudioQueueErr_DisposalPending;
        if (impl_->running) return kAudioNoErr;
        if (impl_->source) {
            impl_->running = true;
            impl_->changed.notify_all();
            return kAudioNoErr;
        }
    }
    auto source = AudioBackend::openSource(AudioSampleCoder::frameRate(impl_->format),
                                           AudioSampleCoder::channels(impl_->format));
    if (!source) return kAudioQueueErr_CannotStart;
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErr_DisposalPending;
    if (!impl_->source) impl_->source = std::move(source);
    impl_->running = true;
    impl_->changed.notify_all();
    return kAudioNoErr;
}

OSStatus AudioInputQueue::stop(bool immediate) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErr_DisposalPending;
    if (!impl_->running) return kAudioNoErr;
    impl_->running = false;
    ++impl_->epoch;
    if (!impl_->pending.empty()) {
        AudioQueueBuffer* front = impl_->pending.front();
        if (!immediate && front->mAudioDataByteSize > 0) impl_->handOver(front);
    }
    return kAudioNoErr;
}

OSStatus AudioInputQueue::flush() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->disposed ? kAudioQueueErr_DisposalPending : kAudioNoErr;
}

OSStatus AudioInputQueue::dispose() {
    std::unique_lock<std::mutex> lock(impl_->mutex);
    if (impl_->disposed) return kAudioNoErr;
    impl_->disposed = true;
    impl_->running = false;
    impl_->pending.clear();
    if (impl_->source) impl_->source->interrupt();
    impl_->changed.notify_all();
    if (std::this_thread::get_id() != impl_->worker) {
        impl_->changed.wait(lock, [&] { return impl_->workerExited; });
        impl_->buffers.clear();
    }
    return kAudioNoErr;
}

OSStatus AudioInputQueue::setLevelMetering(bool enabled) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErr_DisposalPending;
    impl_->metering = enabled;
    return kAudioNoErr;
}

bool AudioInputQueue::levelMetering() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->metering;
}

uint32_t AudioInputQueue::maximumOutputPacketSize() const {
    if (impl_->format.mFormatID == kAudioFormatDVIIntelIMA) return impl_->format.mBytesPerPacket;
    uint32_t ch = AudioSampleCoder::channels(impl_->format);
    if (impl_->format.mFormatID == kAudioFormatLinearPCM) return ch * (impl_->format.mBitsPerChannel == 8 ? 1 : 2);
    return ch;
}

bool AudioInputQueue::isRunning() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->running;
}

size_t AudioInputQueue::enqueuedCount() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->pending.size();
}

uint64_t AudioInputQueue::droppedBytes() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->dropped;
}

}  // namespace lumora
