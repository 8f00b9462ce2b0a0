#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "base/decoder/QvVideoDecoder.h"
#include "base/decoder/QvVideoDecoderDelegate.h"
#include "base/link/DeviceClientDelegate.h"
#include "base/link/OWSPMessageParser.h"
#include "base/link/PUConnection.h"
#include "platform/runloop/RunLoop.h"
#include "tools/device-emulator/DeviceEmulator.h"

namespace lumora {

class CommandLine;

// What the live demonstration has received so far.
struct LiveDemoCounts {
    long frames = 0;     // whole video frames
    long bytes = 0;      // their bytes
    long keyFrames = 0;  // of them key frames
    long audioFrames = 0;
    long pictures = 0;  // decoded pictures
    int width = 0;      // size of the last decoded picture
    int height = 0;
};

// The main road of the client so far, on an embedded default: starts the
// device emulator on loopback with the test clip, connects to it as the
// client does (a device connection), logs in with the extended login for a
// live view, receives the channel through the message parser and prints a
// status line per interval (frames, bytes, key frames, and the pictures the
// video decoder made of them, with their size). Ends by itself once
// it has shown live video for its run time (counted from the login), unless
// told to run on; fails when no video arrives within its start time-out.
//
// Threads: start(), stop() and the status lines belong to the thread of the
// run loop that start() was called on (the main run loop in the program);
// the blocking connect runs on the global queue, the parser on the
// connection's receiving queue. Nothing here blocks the run loop: the caller
// drives it (RunLoop::runUntil) until finished().
//
// Lifetime: held by a shared_ptr (create()); the connection and the queues
// hold it only weakly. Call stop() on the run loop's thread before dropping
// the last reference.
class LiveDemo : public PUConnectionDelegate,
                 public DeviceClientDelegate,
                 public QvVideoDecoderDelegate,
                 public std::enable_shared_from_this<LiveDemo> {
public:
    struct Options {
        devemu::EmulatorOptions emulator = devemu::DeviceEmulator::loopbackDemo();
        // PUConnection::kTCP (a device reached by its address) or kUDT.
        int transport = PUConnection::kTCP;
        int channel = 0;
        // Run until stop() instead of ending after runTime.
        bool runOn = false;
        // Unscaled; every duration is multiplied by Config::timeScale.
        std::chrono::nanoseconds runTime = std::chrono::seconds(5);
        std::chrono::nanoseconds statusInterval = std::chrono::seconds(1);
        // No video frame within this time of the start fails the demo.
        std::chrono::nanoseconds startTimeout = std::chrono::seconds(10);
        // Receives every line the demo prints; empty: standard output.
        std::function<void(const std::string&)> print;
    };

    static std::shared_ptr<LiveDemo> create(Options options);
    ~LiveDemo() override;
    LiveDemo(const LiveDemo&) = delete;
    LiveDemo& operator=(const LiveDemo&) = delete;

    // Starts the emulator, the timers (on the current run loop) and the
    // connect (on the global queue). False, with failure() set, when the
    // emulator cannot start.
    bool start();
    // Ends everything: timers, link, emulator; prints the summary once.
    void stop();

    // True once the run time is over and video has arrived (unless running
    // on), the demo failed, or stop() was called.
    bool finished() const { return finished_ || (timeUp_ && frames_ > 0); }
    bool failed() const { return failed_; }
    std::string failure() const;
    bool loggedIn() const { return loggedIn_; }
    LiveDemoCounts counts() const;

    // The whole demonstration on `loop`: start, drive the loop until
    // finished() or `interrupted` holds, stop. Answers the process exit
    // status: 0 when video arrived, 1 after a failure (failure() says why).
    int run(RunLoop& loop, const std::function<bool()>& interrupted);

    // The program's live mode (EngineMain's live demonstration): the
    // demonstration on the main run loop, over UDT when the command line
    // says so and running on when it says so. Says on standard error why it
    // failed.
    static int runMode(const CommandLine& line, const std::function<bool()>& interrupted);

    // ---- PUConnectionDelegate (receiving queue, global queue)
    void connectionDidConnectToHost(PUConnection& connection, const std::string& host, uint16_t port) override;
    int connectionDidReceiveMessage(PUConnection& connection, const std::vector<uint8_t>& buffer) override;
    void connectionDidDisconnect(PUConnection& connection, const Error& error) override;
    void reconnectUDT(PUConnection& connection) override;
    void connectiondidFailedUDT(PUConnection& connection) override;

    // ---- DeviceClientDelegate (receiving queue)
    void deviceDidLogin(Device* device, int32_t tag) override;
    void deviceFailedLogin(Device* device, const Error& error) override;
    void deviceDidReceiveDeviceInfo(Device* device, const _TLV_V_DeviceInfo& info, int32_t tag) override;
    void deviceDidReceiveStreamFormat(Device* device, const _TLV_V_StreamDataFormat& format, int32_t tag) override;
    bool implementsDidReceiveVideoFrame() const override { return true; }
    bool implementsDidReceiveAudioFrame() const override { return true; }
    void deviceDidReceiveVideoFrame(Device* device, std::shared_ptr<MediaFrame> frame, int32_t tag) override;
    void deviceDidReceiveAudioFrame(Device* device, std::shared_ptr<MediaFrame> frame, int32_t tag) override;

    // ---- QvVideoDecoderDelegate (main queue)
    bool implementsDecoderDidDecodeFrameToYUV() const override { return true; }
    void decoderDidDecodeFrameToYUV(QvVideoDecoder& decoder, const MediaFrame& frame,
                                    const std::vector<uint8_t>& yuv) override;

private:
    struct Private {};

public:
    LiveDemo(Private, Options options);

private:
    void connect();
    void sendLogin(PUConnection& connection);
    void fail(const std::string& why);
    void say(const std::string& line);
    // Closes the link, frees the decoder and stops the emulator.
    void releaseLink();
    void statusTick();
    void startRunTime();
    const char* transportName() const;

    Options options_;
    std::unique_ptr<devemu::DeviceEmulator> emulator_;
    std::string host_;
    uint16_t port_ = 0;

    mutable std::mutex mutex_;  // guards connection_, failure_, printing
    PUConnectionPtr connection_;
    std::string failure_;

    OWSPMessageParser parser_;  // receiving queue only
    std::shared_ptr<QvVideoDecoder> decoder_;  // guarded by mutex_
    std::shared_ptr<RunLoopTimer> statusTimer_;
    std::shared_ptr<RunLoopTimer> endTimer_;
    std::shared_ptr<RunLoopTimer> startTimer_;
    RunLoop* loop_ = nullptr;  // the run loop start() was called on
    RunLoop::Clock::time_point startedAt_{};
    LiveDemoCounts lastStatus_;  // run loop's thread only

    std::atomic<bool> started_{false};
    std::atomic<bool> stopped_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> timeUp_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> loggedIn_{false};
    std::atomic<long> frames_{0};
    std::atomic<long> bytes_{0};
    std::atomic<long> keyFrames_{0};
    std::atomic<long> audioFrames_{0};
    std::atomic<long> pictures_{0};
    std::atomic<int> pictureWidth_{0};
    std::atomic<int> pictureHeight_{0};
};

}  // namespace lumora
