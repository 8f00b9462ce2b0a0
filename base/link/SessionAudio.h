#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "base/link/OWSPRecords.h"
#include "base/utilities/AudioController.h"
#include "base/utilities/AudioControllerDelegate.h"

namespace lumora {

class TolvClient;

// Listening and talking for one live session: plays the stream's audio
// frames while listening, asks the device to talk and, once it grants, sends
// the captured audio over the session's client.
//
// Threads: start and stop from any queue; the players start and stop on the
// main queue. Audio frames arrive on the link's queue, captured talk audio
// on the main thread.
//
// Lifetime: always held by a shared_ptr (create()); queued work and the talk
// capture hold it weakly.
class SessionAudio : public AudioControllerDelegate, public std::enable_shared_from_this<SessionAudio> {
public:
    static std::shared_ptr<SessionAudio> create(std::shared_ptr<TolvClient> client);
    SessionAudio(const SessionAudio&) = delete;
    SessionAudio& operator=(const SessionAudio&) = delete;

    // The stream carries audio in this format.
    void setStreamFormat(const _OWSP_AudioDataFormat& format);
    // False (and nothing changes) when the stream carries no audio.
    bool startAudio();
    void stopAudio();
    // Asks the device to talk; capture starts once it grants.
    void startTalk();
    void stopTalk();
    // Stops listening and talking (the session ends).
    void stopAll();
    // The device granted the talk: the capture starts on the main queue in
    // the format the device asked for, unless the talk ended or
    // `stillWanted` answers false by then.
    void startTalkCapture(unsigned waveFormat, std::function<bool()> stillWanted);
    // The bytes of one audio frame of the stream: played while listening.
    void playFrame(const std::vector<uint8_t>& buffer);

    bool isStartAudio() const { return isStartAudio_; }
    bool isStartTalk() const { return isStartTalk_; }
    bool isDeviceHasAudio() const { return isDeviceHasAudio_; }
    int audioFormat() const { return audioFormat_; }

    // ---- AudioControllerDelegate (talk capture, main thread)
    bool implementsOnRecordBufferReady() const override { return true; }
    void onRecordBufferReady(const std::vector<uint8_t>& data) override;

private:
    struct Private {};

public:
    SessionAudio(Private, std::shared_ptr<TolvClient> client) : client_(std::move(client)) {}

private:
    const std::shared_ptr<TolvClient> client_;
    std::atomic<int> audioFormat_{0};
    std::atomic<int> audioChannel_{0};
    std::atomic<int> audioBitPerChannel_{0};
    std::atomic<int> audioSamplePerSecond_{0};
    std::atomic<bool> isStartAudio_{false};
    std::atomic<bool> isStartTalk_{false};
    std::atomic<bool> isDeviceHasAudio_{false};

    mutable std::mutex mutex_;  // the fields below
    std::shared_ptr<AudioController> audioController_;
    std::shared_ptr<AudioController> talkController_;
};

}  // namespace lumora
