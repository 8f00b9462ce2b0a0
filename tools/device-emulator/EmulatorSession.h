#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/device-emulator/ConfigStore.h"
#include "tools/device-emulator/DeviceEmulator.h"
#include "tools/device-emulator/DevicePacket.h"
#include "tools/device-emulator/EmulatorTransport.h"
#include "tools/device-emulator/RecordingCatalog.h"

namespace lumora::devemu {

// What the emulator and its sessions share. Options and clip are fixed once
// the emulator runs; the rest is atomic or under the mutex.
struct EmulatorState {
    EmulatorOptions options;
    H264Clip clip;
    std::unique_ptr<ConfigStore> config;
    std::unique_ptr<RecordingCatalog> recordings;
    std::atomic<bool> stopping{false};
    std::atomic<bool> silent{false};
    std::atomic<int> forcedLoginResult{0};
    std::atomic<long> frameCredits{0};
    std::atomic<int64_t> stallUntil{0};  // steady-clock ticks; streams send nothing before
    std::function<void(const EmulatorEvent&)> handler;

    struct Counters {
        std::atomic<long> sessions{0}, logins{0}, videoFrames{0}, keyFrames{0}, audioRecords{0}, bytesSent{0},
            heartbeats{0}, ptzCommands{0}, talkRequests{0}, talkAudioBytes{0};
    } counters;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    // The most recent events: a run that keeps taking connections (the
    // demonstration's --run-on) keeps no more than about kKeptEvents of them.
    static constexpr size_t kKeptEvents = 10000;
    std::vector<EmulatorEvent> events;

    void event(int session, std::string text);
    std::vector<uint8_t> frameBytes(size_t i) const;
    bool takeFrameCredit();
};

// One accepted link: reads requests, answers them and streams, all on one
// thread, until the peer leaves, a fault ends it or the emulator stops.
class EmulatorSession {
public:
    EmulatorSession(int id, std::shared_ptr<EmulatorState> state, std::unique_ptr<EmulatorTransport> transport);
    ~EmulatorSession();
    void start();
    void interrupt();
    void join();
    bool finished() const { return finished_; }

private:
    using Clock = std::chrono::steady_clock;

    void run();
    void handlePacket(const std::vector<uint8_t>& packet);
    void handleLogin(const wire::Record& record, uint32_t sequence);
    void handlePtz(const wire::Record& record);
    void handleTalk(const wire::Record& record, uint32_t sequence);
    void handleConfigSet(const ConfigKind& kind, const wire::Record& record, uint32_t sequence);
    void handleConfigGet(const ConfigKind& kind, const wire::Record& record, uint32_t sequence);
    void handleSearch(const wire::Record& record, uint32_t sequence);
    void handlePlayRecord(const wire::Record& record);
    void pump();
    int waitBudgetMs() const;
    void sendFrame();
    void sendFrameV5(const std::vector<uint8_t>& data, bool key, uint32_t index, uint32_t stamp);
    void sendFrameV3(const std::vector<uint8_t>& data, bool key, uint32_t index, uint32_t stamp);
    void sendAudio();
    uint32_t stampNow() const;
    // Sends one packet through the fault rules; false once the link is gone.
    bool sendPacket(std::vector<uint8_t> packet);
    bool flush();
    void end(const std::string& why, bool reset);
    void event(std::string text) { state_->event(id_, std::move(text)); }

    int id_;
    std::shared_ptr<EmulatorState> state_;
    const EmulatorOptions& opt_;
    std::unique_ptr<EmulatorTransport> transport_;
    std::thread thread_;
    std::atomic<bool> finished_{false};
    bool ended_ = false;
    bool loggedIn_ = false;

    RequestAssembler assembler_;
    long packetsSent_ = 0;
    bool oversizeSent_ = false;
    std::vector<uint8_t> pending_;
    int pendingPackets_ = 0;
    uint32_t sequence_ = 0;

    bool streaming_ = false;
    // Recording playback: logged in for it, and playing (the clip once,
    // then the end-of-recording record).
    bool playbackLogin_ = false;
    bool playing_ = false;
    int channel_ = 0;
    size_t clipPos_ = 0;
    uint32_t frameIndex_ = 0;
    Clock::time_point streamStart_;
    Clock::time_point nextFrame_;
    Clock::time_point nextAudio_;
    uint32_t framesSent_ = 0;
};

}  // namespace lumora::devemu
