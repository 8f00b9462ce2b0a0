#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "base/decoder/AudioDecEncLib/G726/AudioDecEnc.h"
#include "base/utilities/AudioControllerDelegate.h"
#include "base/utilities/AudioQueue.h"
#include "base/utilities/AudioRecordDelegate.h"
#include "base/utilities/AudioRecorder.h"
#include "platform/audio/AudioTypes.h"
#include "platform/dispatch/DispatchQueue.h"

namespace lumora {

class RunLoopTimer;

// Plays a device's audio, or captures talk audio for it; a session keeps one
// controller for each.
//
// Playback: startAudioPlay() opens an output queue for the stream's
// wave-format code; playAudioBuffer() hands it one audio frame at a time.
// Frames lose an optional 4-byte header and wait in a list (the jitter
// buffer); playback starts once more than 24 wait, one frame per finished
// buffer, refilled on the serial queue "com.lumora.audioplay"; G.726 frames
// are decoded to A-law on the way. A dry list pauses playback (once no
// buffer is left in flight) until more
// than 24 wait again; while more than 100 wait, every new frame puts one
// more buffer in flight, which drains the backlog. stopAudioPlay() empties
// the list and lets what is queued play out.
//
// Talk: startAudioRecord() captures the microphone at 8000 samples per
// second and hands the delegate each captured buffer, or for G.726 one
// 80-byte packet per 320 captured bytes, sent by a 0.025 s timer on the
// calling (main) run loop, at most one packet per tick.
//
// Threads: start and stop on the main thread; playAudioBuffer() from any
// thread (the device link's). Made with create() and owned through
// shared_ptr: queued refills, output and input callbacks and the timer hold
// only weak references, so nothing runs on a released controller. The
// delegate is held weakly.
class AudioController : public AudioQueueDelegate,
                        public AudioRecordDelegate,
                        public std::enable_shared_from_this<AudioController> {
public:
    static constexpr const char* kPlayQueueLabel = "com.lumora.audioplay";

    // Wave-format codes.
    static constexpr int kWaveFormatPCM = 1;
    static constexpr int kWaveFormatIMAADPCM = 8;
    static constexpr int kWaveFormatALaw = 0x7A19;
    static constexpr int kWaveFormatG726 = 0x7A20;
    static constexpr int kWaveFormatULaw = 0x7A25;

    static constexpr size_t kStartPackets = 24;     // playback starts above this many
    static constexpr size_t kBacklogPackets = 100;  // above this, every frame adds a buffer
    // Limits on what a device can make the list hold.
    static constexpr size_t kMaxWaitingPackets = 1000;  // the oldest are dropped beyond it
    static constexpr size_t kMaxPacketBytes = 204800;   // a larger frame is dropped
    static constexpr size_t kG726DecodeArea = 2048;     // A-law bytes per decoding step
    static constexpr size_t kG726DecodeStep = kG726DecodeArea / 4;  // G.726 bytes per step
    static constexpr size_t kTalkPacketBytes = 320;  // A-law bytes per G.726 packet
    static constexpr size_t kG726EncodeArea = 1024;
    static constexpr std::chrono::milliseconds kEncodeInterval{25};

    static std::shared_ptr<AudioController> create(std::weak_ptr<AudioControllerDelegate> delegate = {});
    ~AudioController() override;
    AudioController(const AudioController&) = delete;
    AudioController& operator=(const AudioController&) = delete;

    // ---- playback ----
    // False when the code has no output format or the output does not open
    // (nothing then plays and frames are not kept).
    bool startAudioPlay(int waveFormat, int channel, int bitsPerSample, int samplePerSecond);
    void playAudioBuffer(const uint8_t* data, size_t length);
    void playAudioBuffer(const std::vector<uint8_t>& data) { playAudioBuffer(data.data(), data.size()); }
    void stopAudioPlay();

    void audioQueueIsDoneWithBuffer(AudioQueue& queue, AudioQueueBufferRef buffer) override;
    void audioQueuePlaybackIsStarting(AudioQueue&) override {}
    void audioQueuePlaybackIsComplete(AudioQueue&) override {}
    // One refill (on the playback queue): frees the finished buffer and
    // queues the next frame, or pauses on a dry list.
    void audioWithBuffer(AudioQueue& queue, AudioQueueBufferRef buffer);

    // ---- talk ----
    // False when capture could not start.
    bool startAudioRecord(unsigned waveFormat);
    void onAudioDataReady(const uint8_t* data, size_t length) override;
    void encode726();
    void stopAudioRecord();

    std::shared_ptr<AudioControllerDelegate> delegate() const;
    void setDelegate(std::weak_ptr<AudioControllerDelegate> delegate);

    // The output format of a wave-format code; false for a code outside the
    // table (no format, nothing plays).
    static bool outputFormatFor(int waveFormat, int channel, int bitsPerSample, int samplePerSecond,
                                AudioStreamBasicDescription* format);
    // The recorder's capture type for a talk wave-format code.
    static int captureTypeFor(unsigned waveFormat);
    // Where a frame's audio starts and its length once the optional header
    // (00 01 14 00, 00 01 52 00 or 00 01 A0 00) is taken off.
    static size_t frameHeaderLength(const uint8_t* data, size_t length);

    // State, for those who watch the controller.
    int waveFormat() const { return m_waveFormat; }
    size_t waitingPacketCount() const;
    bool isFirstPacket() const;
    size_t pendingTalkBytes() const;
    std::shared_ptr<AudioQueue> audioQueue() const;
    std::shared_ptr<AudioRecorder> recorder() const { return m_pAudioRecorder; }
    bool isEncoderTimerRunning() const;

private:
    explicit AudioController(std::weak_ptr<AudioControllerDelegate> delegate);
    void refill(uint64_t generation, AudioQueueBufferRef buffer);
    std::vector<uint8_t> decodeG726(const std::vector<uint8_t>& packet);
    std::shared_ptr<AudioDecEnc> codec() const;
    // Makes the G.726 state (16 kbit/s A-law, used both ways) when there is none.
    void ensureCodec();
    void invalidateEncoderTimer();

    mutable std::mutex delegateMutex_;
    std::weak_ptr<AudioControllerDelegate> delegate_;  // not owned

    // Playback. The list and the first-packet flag are the monitor's; the
    // pause on a dry list and the start rule also run under it, so a pause
    // can never land after the start that followed it.
    mutable std::mutex m_listMonitor;
    std::deque<std::vector<uint8_t>> m_pAudioBuffer;
    bool m_bFirstPacket = true;
    uint64_t droppedPackets_ = 0;

    mutable std::mutex stateMutex_;  // around the pointers below
    std::shared_ptr<AudioQueue> m_pAudioQueue;
    std::shared_ptr<AudioDecEnc> m_pAudioEncDec;
    DispatchQueuePtr _audioPlayQueue;

    std::atomic<int> m_waveFormat{0};
    std::atomic<int> m_nAudioChannel{0};
    std::atomic<int> m_nBitsPerChannel{0};
    std::atomic<int> m_nSamplePerSecond{0};
    std::atomic<bool> accepting_{false};         // between a good start and the stop
    std::atomic<uint64_t> playGeneration_{0};   // advanced by every start and stop

    // Talk (main thread).
    std::shared_ptr<AudioRecorder> m_pAudioRecorder;
    mutable std::mutex talkMutex_;
    std::vector<uint8_t> m_pAudioData;
    std::shared_ptr<RunLoopTimer> m_tmEncoder;
    bool m_bStopEncoder = true;
};

}  // namespace lumora
