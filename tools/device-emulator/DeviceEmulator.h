#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/device-emulator/EmulatorOptions.h"
#include "tools/device-emulator/H264Clip.h"

namespace lumora::devemu {

// Something the device saw or did, in the order it happened.
struct EmulatorEvent {
    int session = 0;   // 1, 2, ... in accept order; 0 for the emulator itself
    std::string text;  // "login kind=extended user=admin channel=0 result=1", "heartbeat", ...
};

// Running totals over all sessions.
struct EmulatorStats {
    long sessions = 0;
    long logins = 0;
    long videoFrames = 0;
    long keyFrames = 0;
    long audioRecords = 0;
    long bytesSent = 0;
    long heartbeats = 0;
    long ptzCommands = 0;
    long talkRequests = 0;
    long talkAudioBytes = 0;
};

struct EmulatorState;
struct EmulatorRuntime;

// A fake camera/recorder for tests and demonstrations: listens on TCP and/or
// UDT, serves every accepted link on a thread of its own, answers logins and
// streams the logged-in channel from an H.264 clip. Start it, point a client
// at tcpPort()/udtPort(), stop it (or let it go out of scope).
class DeviceEmulator {
public:
    explicit DeviceEmulator(EmulatorOptions options);
    ~DeviceEmulator();
    DeviceEmulator(const DeviceEmulator&) = delete;
    DeviceEmulator& operator=(const DeviceEmulator&) = delete;

    // Loads the clip and opens the listeners; false and a reason on failure.
    // A start after a stop listens on the ports of the first start again (a
    // device that was switched off and on keeps its address).
    bool start(std::string& error);
    // Closes the listeners and every link and waits for their threads.
    void stop();

    uint16_t tcpPort() const;
    uint16_t udtPort() const;
    const EmulatorOptions& options() const;
    // The access units the device streams, in order (key frames before any
    // --big-key growth).
    const H264Clip& clip() const;
    // The recordings the device keeps, in start order (listed and generated).
    const std::vector<EmulatorRecording>& recordings() const;
    // The bytes the device sends for access unit i (grown when bigKeyFrame asks).
    std::vector<uint8_t> frameBytes(size_t i) const;

    // Test control, effective at once for every session.
    void releaseFrames(long count);  // Pace::Step: let this many more frames out
    void setSilent(bool silent);     // send nothing (links stay open)
    // Stalls every stream for this long (as a device whose writes block):
    // the frames due meanwhile follow at once when it ends.
    void stall(std::chrono::milliseconds duration);
    void setForcedLoginResult(int result);  // 0: check credentials again
    // A device that reboots: closes every link and refuses connections for
    // this long, then listens again on the same address ("away" and "back"
    // events). Returns at once; a stop or the destructor cut the absence
    // short (without coming back).
    void goAway(std::chrono::milliseconds duration);
    // Waits until the device listens again after goAway.
    bool waitUntilBack(std::chrono::milliseconds timeout) const;
    bool isAway() const;

    // Called on the session threads for every event (set before start).
    void setEventHandler(std::function<void(const EmulatorEvent&)> handler);
    std::vector<EmulatorEvent> events() const;
    size_t countEvents(const std::string& prefix) const;
    // Waits until at least count events start with prefix.
    bool waitForEvent(const std::string& prefix, std::chrono::milliseconds timeout, size_t count = 1) const;
    EmulatorStats stats() const;

    // The H.264 clip shipped with the programs ("clip.h264" in the resource
    // folder LUMORA_RESOURCES names, else in the one beside the programs);
    // empty when there is none.
    static std::string defaultClipPath();
    // A device on loopback (TCP and UDT on 127.0.0.2, free ports) streaming the
    // test clip at its frame rate: what a demonstration of the client needs.
    static EmulatorOptions loopbackDemo();

private:
    std::shared_ptr<EmulatorState> state_;
    mutable std::mutex runtimeMutex_;
    std::unique_ptr<EmulatorRuntime> runtime_;  // while started
    uint16_t boundTcpPort_ = 0, boundUdtPort_ = 0;  // the ports taken at the first start
    mutable std::mutex awayMutex_;
    mutable std::condition_variable awayChanged_;
    bool away_ = false;
    bool cancelAway_ = false;
    std::thread comeBack_;
    void endAbsence();
    void closeAll();
};

}  // namespace lumora::devemu
