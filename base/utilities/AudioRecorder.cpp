#include "base/utilities/AudioRecorder.h"

#include <algorithm>
#include <cstdio>

#include "platform/ErrorCodes.h"
#include "platform/runloop/RunLoop.h"
#include "platform/Log.h"

namespace lumora {

std::shared_ptr<AudioRecorder> AudioRecorder::create() {
    return std::shared_ptr<AudioRecorder>(new AudioRecorder());
}

AudioRecorder::~AudioRecorder() {
    // Disposing of the queue stops its callbacks; buffers go with it.
    state_.queue.reset();
}

void AudioRecorder::setupAudioFormat(AudioStreamBasicDescription& f) {
    f.mSampleRate = kSampleRate;
    f.mFormatID = kAudioFormatALaw;
    f.mFormatFlags = 0;
    f.mBytesPerPacket = 2;
    f.mFramesPerPacket = 1;
    f.mBytesPerFrame = 2;
    f.mChannelsPerFrame = 1;
    f.mBitsPerChannel = 16;
}

void AudioRecorder::setupAudioFormatU(AudioStreamBasicDescription& f) {
    setupAudioFormat(f);
    f.mFormatID = kAudioFormatULaw;
}

void AudioRecorder::setupAdpcmAudioFormat(AudioStreamBasicDescription& f) {
    f.mSampleRate = kSampleRate;
    f.mFormatID = kAudioFormatDVIIntelIMA;
    f.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;  // 12
    f.mBytesPerPacket = 164;
    f.mFramesPerPacket = 324;
    f.mBytesPerFrame = 0;
    f.mChannelsPerFrame = 1;
    f.mBitsPerChannel = 8;
}

AudioStreamBasicDescription AudioRecorder::formatForType(int type) {
    AudioStreamBasicDescription f{};
    switch (type) {
    case 0:
    case 1: setupAudioFormat(f); break;
    case 2: setupAdpcmAudioFormat(f); break;
    case 3: setupAudioFormatU(f); break;
    default: break;
    }
    return f;
}

uint32_t AudioRecorder::bufferSizeFor(const AudioStreamBasicDescription& f, uint32_t maximumPacketSize) {
    uint32_t packet = f.mBytesPerPacket ? f.mBytesPerPacket : maximumPacketSize;
    double bytes = f.mSampleRate * packet * kBufferSeconds;
    if (!(bytes > 0)) return 0;
    return std::min<uint32_t>(static_cast<uint32_t>(std::min(bytes, double(kMaxBufferBytes))), kMaxBufferBytes);
}

Error AudioRecorder::failTo(const std::string& operation, OSStatus status) {
    Error error(errors::kOSStatusErrorDomain, status, operation);
    Log::warn("AudioRecorder", "%s failed: %d", operation.c_str(), status);
    return error;
}

std::shared_ptr<AudioRecordDelegate> AudioRecorder::delegate() const {
    std::lock_guard<std::mutex> lock(delegateMutex_);
    return delegate_.lock();
}

void AudioRecorder::setDelegate(std::weak_ptr<AudioRecordDelegate> delegate) {
    std::lock_guard<std::mutex> lock(delegateMutex_);
    delegate_ = std::move(delegate);
}

int64_t AudioRecorder::currentPacket() const { return state_.currentPacket; }
uint32_t AudioRecorder::bufferByteSize() const { return state_.bufferByteSize; }

bool AudioRecorder::startRecording(const std::string& filePath, int type) {
    // A capture still running (its stop may be pending) ends first, so its
    // queue is not left running and the pending stop cannot end this one.
    if (state_.queue) reallyStopRecording();
    const uint64_t generation = ++generation_;
    state_ = RecordState{};
    state_.audioFile = filePath;
    state_.dataFormat = formatForType(type);

    std::weak_ptr<AudioRecorder> weak = weak_from_this();
    OSStatus status = kAudioNoErr;
    state_.queue = AudioInputQueue::create(
        state_.dataFormat,
        [weak, generation](AudioQueueBufferRef buffer, uint32_t packets) {
            if (auto self = weak.lock()) self->inputReady(generation, buffer, packets);
        },
        RunLoop::current(), &status);
    if (!state_.queue) {
        failTo("AudioQueueNewInput", status);
        return false;
    }

    state_.bufferByteSize = bufferSizeFor(state_.dataFormat, state_.queue->maximumOutputPacketSize());
    for (int i = 0; i < kNumberRecordBuffers; ++i) {
        AudioQueueBufferRef buffer = nullptr;
        status = state_.queue->allocateBuffer(state_.bufferByteSize, &buffer);
        if (status != kAudioNoErr) {
            Log::warn("AudioRecorder", "Error allocating buffer %d", i);
            state_.queue.reset();
            return false;
        }
        state_.buffers.push_back(buffer);
        status = state_.queue->enqueueBuffer(buffer);
        if (status != kAudioNoErr) {
            Log::warn("AudioRecorder", "Error enqueuing buffer %d", i);
            state_.queue.reset();
            return false;
        }
    }
    if (state_.queue->setLevelMetering(true) != kAudioNoErr) {
        Log::warn("AudioRecorder", "Could not enable metering");
        state_.queue.reset();
        return false;
    }
    if (state_.queue->start() != kAudioNoErr) {
        Log::warn("AudioRecorder", "Could not start Audio Queue");
        state_.queue.reset();
        return false;
    }
    state_.currentPacket = 0;
    state_.recording = true;
    recording_ = true;
    return true;
}

void AudioRecorder::inputReady(uint64_t generation, AudioQueueBufferRef buffer, uint32_t packets) {
    if (generation != generation_ || !state_.queue || !state_.recording) return;
    // A copy: the delegate may stop the capture (and so free the buffer)
    // while it still looks at the bytes.
    std::vector<uint8_t> bytes(buffer->mAudioData, buffer->mAudioData + buffer->mAudioDataByteSize);
    state_.currentPacket += packets;
    if (!bytes.empty())
        if (auto d = delegate()) d->onAudioDataReady(bytes.data(), bytes.size());
    if (generation == generation_ && state_.queue && state_.recording) state_.queue->enqueueBuffer(buffer);
}

void AudioRecorder::stopRecording() {
    std::weak_ptr<AudioRecorder> weak = weak_from_this();
    const uint64_t generation = generation_;
    RunLoop::current().perform([weak, generation] {
        auto self = weak.lock();
        if (self && self->generation_ == generation) self->reallyStopRecording();
    });
}

void AudioRecorder::reallyStopRecording() {
    if (!state_.recording && !state_.queue) return;
    ++generation_;
    if (state_.queue) {
        state_.queue->flush();
        state_.queue->stop(false);
    }
    state_.recording = false;
    recording_ = false;
    if (state_.queue) {
        for (AudioQueueBufferRef b : state_.buffers) state_.queue->freeBuffer(b);
        state_.queue->dispose();
    }
    state_.buffers.clear();
    state_.queue.reset();
    state_.audioFile.clear();  // the (never opened) file reference is closed
}

}  // namespace lumora
