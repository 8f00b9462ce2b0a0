#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/utilities/AudioRecordDelegate.h"
#include "platform/audio/AudioInputQueue.h"
#include "platform/audio/AudioTypes.h"
#include "platform/Error.h"

namespace lumora {

// Captures the microphone through a platform input queue at 8000 samples per
// second and hands every filled buffer to its delegate. Capture types: 0 or
// 1 A-law, 2 IMA ADPCM, 3 mu-law (any other type has no format and does not
// start). Buffers hold 20 ms worth of packets at the format's packet size.
//
// Threads: start and stop on one thread with a run loop (the main thread);
// the input callbacks run on that thread's run loop. The delegate is held
// weakly. Each start makes a new input queue and each stop disposes of it.
class AudioRecorder : public std::enable_shared_from_this<AudioRecorder> {
public:
    static constexpr double kSampleRate = 8000.0;
    static constexpr double kBufferSeconds = 0.02;
    static constexpr uint32_t kMaxBufferBytes = 0x50000;
    // Buffers kept in the input queue, so capture goes on while one is with
    // the delegate.
    static constexpr int kNumberRecordBuffers = 3;

    static std::shared_ptr<AudioRecorder> create();
    ~AudioRecorder();
    AudioRecorder(const AudioRecorder&) = delete;
    AudioRecorder& operator=(const AudioRecorder&) = delete;

    // Starts capturing (a capture still running is stopped first). The file
    // path is kept but nothing is written to it. False when the input queue,
    // its buffers or its start fail.
    bool startRecording(const std::string& filePath, int type);
    // Stops at the next pass of the calling thread's run loop.
    void stopRecording();
    // Stops now and disposes of the input queue.
    void reallyStopRecording();

    static void setupAudioFormat(AudioStreamBasicDescription& format);     // A-law
    static void setupAudioFormatU(AudioStreamBasicDescription& format);    // mu-law
    static void setupAdpcmAudioFormat(AudioStreamBasicDescription& format);  // IMA ADPCM
    // The input format of a capture type (all zero for an unknown type).
    static AudioStreamBasicDescription formatForType(int type);
    // Bytes per buffer for a format (0 when the format has no packet size).
    static uint32_t bufferSizeFor(const AudioStreamBasicDescription& format, uint32_t maximumPacketSize);

    // An error of the platform's status domain; printed, never shown.
    Error failTo(const std::string& operation, OSStatus status);

    std::shared_ptr<AudioRecordDelegate> delegate() const;
    void setDelegate(std::weak_ptr<AudioRecordDelegate> delegate);
    bool recording() const { return recording_; }
    void setRecording(bool recording) { recording_ = recording; }

    // For those who watch the capture.
    int64_t currentPacket() const;
    uint32_t bufferByteSize() const;
    const AudioStreamBasicDescription& dataFormat() const { return state_.dataFormat; }

private:
    AudioRecorder() = default;

    // The record state, one per capture.
    struct RecordState {
        std::string audioFile;  // never opened
        AudioStreamBasicDescription dataFormat{};
        std::unique_ptr<AudioInputQueue> queue;
        std::vector<AudioQueueBufferRef> buffers;
        uint32_t bufferByteSize = 0;
        int64_t currentPacket = 0;
        bool recording = false;
    };

    void inputReady(uint64_t generation, AudioQueueBufferRef buffer, uint32_t packets);

    mutable std::mutex delegateMutex_;
    std::weak_ptr<AudioRecordDelegate> delegate_;  // not owned
    RecordState state_;
    std::atomic<bool> recording_{false};
    uint64_t generation_ = 0;  // advanced by every start and stop
};

}  // namespace lumora
