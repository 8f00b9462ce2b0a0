#include "base/utilities/AudioController.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/audio/AudioSession.h"
#include "platform/Config.h"
#include "platform/runloop/RunLoop.h"
#include "platform/Log.h"

namespace lumora {

AudioController::AudioController(std::weak_ptr<AudioControllerDelegate> delegate) : delegate_(std::move(delegate)) {}

std::shared_ptr<AudioController> AudioController::create(std::weak_ptr<AudioControllerDelegate> delegate) {
    return std::shared_ptr<AudioController>(new AudioController(std::move(delegate)));
}

AudioController::~AudioController() {
    ++playGeneration_;
    accepting_ = false;
    invalidateEncoderTimer();
    if (m_pAudioRecorder) m_pAudioRecorder->reallyStopRecording();
    std::shared_ptr<AudioQueue> queue;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        queue = std::move(m_pAudioQueue);
    }
    if (queue) queue->dispose();
    // The G.726 state goes with m_pAudioEncDec.
}

std::shared_ptr<AudioControllerDelegate> AudioController::delegate() const {
    std::lock_guard<std::mutex> lock(delegateMutex_);
    return delegate_.lock();
}

void AudioController::setDelegate(std::weak_ptr<AudioControllerDelegate> delegate) {
    std::lock_guard<std::mutex> lock(delegateMutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<AudioQueue> AudioController::audioQueue() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return m_pAudioQueue;
}

std::shared_ptr<AudioDecEnc> AudioController::codec() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return m_pAudioEncDec;
}

void AudioController::ensureCodec() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (!m_pAudioEncDec) {
        m_pAudioEncDec = std::make_shared<AudioDecEnc>();
        m_pAudioEncDec->initDecoder();
    }
}

size_t AudioController::waitingPacketCount() const {
    std::lock_guard<std::mutex> lock(m_listMonitor);
    return m_pAudioBuffer.size();
}

bool AudioController::isFirstPacket() const {
    std::lock_guard<std::mutex> lock(m_listMonitor);
    return m_bFirstPacket;
}

size_t AudioController::pendingTalkBytes() const {
    std::lock_guard<std::mutex> lock(talkMutex_);
    return m_pAudioData.size();
}

// ---- formats ---------------------------------------------------------------

bool AudioController::outputFormatFor(int waveFormat, int channel, int bitsPerSample, int samplePerSecond,
                                      AudioStreamBasicDescription* format) {
    AudioStreamBasicDescription f{};
    f.mSampleRate = static_cast<double>(samplePerSecond);
    const uint32_t channels = static_cast<uint32_t>(std::max(channel, 0));
    const uint32_t bits = static_cast<uint32_t>(std::max(bitsPerSample, 0));
    switch (waveFormat) {
    case kWaveFormatPCM:
        f.mFormatID = kAudioFormatLinearPCM;
        f.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
        f.mBytesPerPacket = 2;
        f.mFramesPerPacket = 1;
        f.mBytesPerFrame = 2;
        f.mChannelsPerFrame = 1;
        f.mBitsPerChannel = bits;
        break;
    case kWaveFormatIMAADPCM:
        f.mFormatID = kAudioFormatDVIIntelIMA;
        f.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
        f.mBytesPerPacket = 164;
        f.mFramesPerPacket = 164;
        f.mBytesPerFrame = 1;
        f.mChannelsPerFrame = channels;
        f.mBitsPerChannel = bits;
        break;
    case kWaveFormatALaw:
    case kWaveFormatG726:
        f.mFormatID = kAudioFormatALaw;
        f.mBytesPerPacket = 2;
        f.mFramesPerPacket = 1;
        f.mBytesPerFrame = 2;
        f.mChannelsPerFrame = channels;
        f.mBitsPerChannel = bits;
        break;
    case kWaveFormatULaw:
        f.mSampleRate = 8000.0;
        f.mFormatID = kAudioFormatULaw;
        f.mBytesPerPacket = 2;
        f.mFramesPerPacket = 1;
        f.mBytesPerFrame = 2;
        f.mChannelsPerFrame = 1;
        f.mBitsPerChannel = 16;
        break;
    default:
        return false;
    }
    if (format) *format = f;
    return true;
}

int AudioController::captureTypeFor(unsigned waveFormat) {
    switch (waveFormat) {
    case kWaveFormatULaw: return 3;
    case kWaveFormatIMAADPCM: return 2;
    default: return 0;  // PCM, A-law, G.726 and unknown codes capture A-law
    }
}

size_t AudioController::frameHeaderLength(const uint8_t* data, size_t length) {
    if (!data || length < 4) return 0;
    if (data[0] == 0x00 && data[1] == 0x01 && data[3] == 0x00 &&
        (data[2] == 0x14 || data[2] == 0x52 || data[2] == 0xA0))
        return 4;
    return 0;
}

// ---- playback --------------------------------------------------------------

bool AudioController::startAudioPlay(int waveFormat, int channel, int bitsPerSample, int samplePerSecond) {
    std::shared_ptr<AudioQueue> queue;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!m_pAudioQueue) {
            AudioSession::shared().setActive(true);
            m_pAudioQueue = AudioQueue::initQueueWithDelegate(weak_from_this());
        }
        queue = m_pAudioQueue;
        _audioPlayQueue = DispatchQueue::createSerial(kPlayQueueLabel);
    }
    m_waveFormat = waveFormat;
    m_nAudioChannel = channel;
    m_nBitsPerChannel = bitsPerSample;
    m_nSamplePerSecond = samplePerSecond;
    ++playGeneration_;
    {
        std::lock_guard<std::mutex> lock(m_listMonitor);
        m_bFirstPacket = true;
    }

    AudioStreamBasicDescription format{};
    OSStatus status = kAudioFormatUnsupportedDataFormatError;
    if (outputFormatFor(waveFormat, channel, bitsPerSample, samplePerSecond, &format))
        status = queue->setAudioStreamBasicDescription(format);
    else
        queue->dispose();  // no format: no output queue, nothing plays
    if (waveFormat == kWaveFormatG726) ensureCodec();
    queue->start();
    accepting_ = status == kAudioNoErr;
    if (!accepting_) Log::warn("AudioController", "cannot play wave format 0x%X (%d)", waveFormat, status);
    return accepting_;
}

void AudioController::playAudioBuffer(const uint8_t* data, size_t length) {
    if (!accepting_ || !data) return;
    size_t header = frameHeaderLength(data, length);
    data += header;
    length -= header;
    if (length == 0) return;  // nothing to play; an empty buffer would stall the refills
    if (length > kMaxPacketBytes) {
        Log::warn("AudioController", "audio frame of %zu bytes dropped", length);
        return;
    }
    auto queue = audioQueue();
    if (!queue) return;
    bool kick = false;
    {
        std::lock_guard<std::mutex> lock(m_listMonitor);
        if (m_pAudioBuffer.size() >= kMaxWaitingPackets) {
            m_pAudioBuffer.pop_front();
            if (++droppedPackets_ % 100 == 1)
                Log::warn("AudioController", "playback behind, %llu frames dropped",
                            static_cast<unsigned long long>(droppedPackets_));
        }
        m_pAudioBuffer.emplace_back(data, data + length);
        const size_t waiting = m_pAudioBuffer.size();
        if ((waiting > kStartPackets && m_bFirstPacket) || waiting > kBacklogPackets) {
            queue->start();
            kick = true;
            m_bFirstPacket = false;
        }
    }
    if (kick) audioQueueIsDoneWithBuffer(*queue, nullptr);
}

void AudioController::audioQueueIsDoneWithBuffer(AudioQueue&, AudioQueueBufferRef buffer) {
    const uint64_t generation = playGeneration_;
    DispatchQueuePtr playQueue;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!_audioPlayQueue) _audioPlayQueue = DispatchQueue::createSerial(kPlayQueueLabel);
        playQueue = _audioPlayQueue;
    }
    std::weak_ptr<AudioController> weak = weak_from_this();
    playQueue->async([weak, generation, buffer] {
        if (auto self = weak.lock()) self->refill(generation, buffer);
    });
}

void AudioController::audioWithBuffer(AudioQueue&, AudioQueueBufferRef buffer) { refill(playGeneration_, buffer); }

std::vector<uint8_t> AudioController::decodeG726(const std::vector<uint8_t>& packet) {
    std::vector<uint8_t> sound;
    auto decoder = codec();
    if (!decoder) return sound;
    // A frame longer than one step is decoded step by step, so none of it is
    // cut off by the decoding area.
    uint8_t area[kG726DecodeArea];
    for (size_t at = 0; at < packet.size(); at += kG726DecodeStep) {
        std::memset(area, 0, sizeof area);
        size_t n = std::min(kG726DecodeStep, packet.size() - at);
        int out = decoder->G726Dec(packet.data() + at, area, static_cast<int>(n), sizeof area);
        if (out <= 0) break;
        sound.insert(sound.end(), area, area + out);
    }
    return sound;
}

void AudioController::refill(uint64_t generation, AudioQueueBufferRef buffer) {
    auto queue = audioQueue();
    if (!queue) return;
    // The output queue checks the reference: a buffer of an earlier output
    // queue is refused, never followed.
    if (buffer) queue->FreeBuffer(buffer);
    if (generation != playGeneration_) return;  // a refill of a stopped or restarted stream
    const int code = m_waveFormat;
    if (code != kWaveFormatPCM && code != kWaveFormatIMAADPCM && code != kWaveFormatALaw &&
        code != kWaveFormatG726 && code != kWaveFormatULaw)
        return;
    while (true) {
        std::vector<uint8_t> packet;
        {
            std::lock_guard<std::mutex> lock(m_listMonitor);
            if (generation != playGeneration_) return;
            if (m_pAudioBuffer.empty()) {
                // Dry: pause once nothing else is in flight; pausing earlier
                // would hold back buffers already queued until 25 new
                // frames came.
                if (queue->enqueuedCount() == 0) {
                    queue->pause();
                    m_bFirstPacket = true;
                }
                return;
            }
            packet = std::move(m_pAudioBuffer.front());
            m_pAudioBuffer.pop_front();
        }
        std::vector<uint8_t> sound = code == kWaveFormatG726 ? decodeG726(packet) : std::move(packet);
        if (sound.empty()) continue;
        AudioStreamPacketDescription description{0, 1, static_cast<uint32_t>(sound.size())};
        AudioQueueBufferRef next = nullptr;
        OSStatus status = queue->allocateBufferWithData(sound.data(), sound.size(), 1, &description, &next);
        if (status == kAudioNoErr) {
            status = queue->enqueueBuffer(next);
            if (status == kAudioNoErr) return;
            queue->FreeBuffer(next);
        }
        // This frame cannot be played: go on with the next one, or no
        // finished buffer would ever come back to ask for it.
    }
}

void AudioController::stopAudioPlay() {
    accepting_ = false;
    {
        std::lock_guard<std::mutex> lock(m_listMonitor);
        ++playGeneration_;
        m_pAudioBuffer.clear();
        m_bFirstPacket = true;
    }
    std::shared_ptr<AudioDecEnc> decoder;
    std::shared_ptr<AudioQueue> queue;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        queue = m_pAudioQueue;
        _audioPlayQueue.reset();
        if (m_waveFormat == kWaveFormatG726) decoder = std::move(m_pAudioEncDec);
    }
    if (queue) queue->endOfStream();  // what is queued plays out
    if (decoder) decoder->freeDecoder();
}

// ---- talk ------------------------------------------------------------------

void AudioController::invalidateEncoderTimer() {
    std::shared_ptr<RunLoopTimer> timer;
    {
        std::lock_guard<std::mutex> lock(talkMutex_);
        timer = std::move(m_tmEncoder);
    }
    if (timer) timer->invalidate();
}

bool AudioController::isEncoderTimerRunning() const {
    std::lock_guard<std::mutex> lock(talkMutex_);
    return m_tmEncoder && m_tmEncoder->isValid();
}

bool AudioController::startAudioRecord(unsigned waveFormat) {
    if (!m_pAudioRecorder) m_pAudioRecorder = AudioRecorder::create();
    m_waveFormat = static_cast<int>(waveFormat);
    m_pAudioRecorder->setDelegate(weak_from_this());
    bool started = m_pAudioRecorder->startRecording("audio.caf", captureTypeFor(waveFormat));

    if (waveFormat == kWaveFormatG726) {
        invalidateEncoderTimer();  // a timer of an earlier capture must not tick beside the new one
        std::lock_guard<std::mutex> lock(talkMutex_);
        m_pAudioData.clear();
        m_bStopEncoder = !started;
        if (started) {
            std::weak_ptr<AudioController> weak = weak_from_this();
            m_tmEncoder = RunLoopTimer::scheduled(RunLoop::current(), Config::shared().scaled(kEncodeInterval), true,
                                                  [weak](RunLoopTimer& timer) {
                                                      auto self = weak.lock();
                                                      if (!self) {
                                                          timer.invalidate();
                                                          return;
                                                      }
                                                      self->encode726();
                                                  });
        }
    }
    ensureCodec();
    return started;
}

void AudioController::onAudioDataReady(const uint8_t* data, size_t length) {
    auto d = delegate();
    if (!d || !d->implementsOnRecordBufferReady() || !data || length == 0) return;
    switch (m_waveFormat) {
    case kWaveFormatPCM:
    case kWaveFormatIMAADPCM:
    case kWaveFormatALaw:
    case kWaveFormatULaw:  // mu-law talk is captured as mu-law: send it as it is
        d->onRecordBufferReady(std::vector<uint8_t>(data, data + length));
        break;
    case kWaveFormatG726: {
        ensureCodec();
        std::lock_guard<std::mutex> lock(talkMutex_);
        m_pAudioData.insert(m_pAudioData.end(), data, data + length);
        break;
    }
    default:
        break;
    }
}

void AudioController::encode726() {
    uint8_t samples[kTalkPacketBytes] = {};
    {
        std::lock_guard<std::mutex> lock(talkMutex_);
        if (m_bStopEncoder) {
            auto timer = std::move(m_tmEncoder);
            if (timer) timer->invalidate();
            return;
        }
        if (m_pAudioData.size() < kTalkPacketBytes) return;
        std::memcpy(samples, m_pAudioData.data(), kTalkPacketBytes);
        m_pAudioData.erase(m_pAudioData.begin(), m_pAudioData.begin() + kTalkPacketBytes);
    }
    uint8_t stream[kG726EncodeArea] = {};
    auto encoder = codec();
    int n = encoder ? encoder->G726Enc(samples, stream, static_cast<int>(kTalkPacketBytes), sizeof stream) : 0;
    if (n <= 0) return;  // no encoder state: nothing to send, not an empty packet
    auto d = delegate();
    if (d && d->implementsOnRecordBufferReady()) d->onRecordBufferReady(std::vector<uint8_t>(stream, stream + n));
}

void AudioController::stopAudioRecord() {
    if (m_pAudioRecorder) m_pAudioRecorder->stopRecording();
    if (m_waveFormat == kWaveFormatG726) {
        std::shared_ptr<AudioDecEnc> encoder;
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            encoder = std::move(m_pAudioEncDec);
        }
        if (encoder) encoder->freeDecoder();
    }
    std::lock_guard<std::mutex> lock(talkMutex_);
    m_bStopEncoder = true;  // the timer ends at its next tick
}

}  // namespace lumora
