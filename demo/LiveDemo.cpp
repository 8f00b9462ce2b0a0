#include "demo/LiveDemo.h"

#include <cstdio>

#include "app/CommandLine.h"
#include "app/core/Device.h"
#include "app/core/QvApplicationPreference.h"
#include "base/link/OWSPMessageBuilder.h"
#include "platform/Config.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/Log.h"

namespace lumora {

namespace {

// The session's live-view login: mode 1, type 2.
constexpr uint8_t kLiveMode = 1;
constexpr uint8_t kLiveType = 2;

std::string seconds(std::chrono::nanoseconds d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", std::chrono::duration<double>(d).count());
    return text;
}

}  // namespace

LiveDemo::LiveDemo(Private, Options options) : options_(std::move(options)) {}

std::shared_ptr<LiveDemo> LiveDemo::create(Options options) {
    return std::make_shared<LiveDemo>(Private{}, std::move(options));
}

LiveDemo::~LiveDemo() {
    // stop() normally ran already; without it, at least free the link and
    // the emulator (the timers hold only weak references).
    releaseLink();
}

void LiveDemo::releaseLink() {
    PUConnectionPtr c;
    std::shared_ptr<QvVideoDecoder> decoder;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        c = std::move(connection_);
        decoder = std::move(decoder_);
    }
    if (c) c->close();
    if (decoder) decoder->destroy();
    if (emulator_) emulator_->stop();
}

const char* LiveDemo::transportName() const { return options_.transport == PUConnection::kTCP ? "TCP" : "UDT"; }

std::string LiveDemo::failure() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

LiveDemoCounts LiveDemo::counts() const {
    LiveDemoCounts c;
    c.frames = frames_;
    c.bytes = bytes_;
    c.keyFrames = keyFrames_;
    c.audioFrames = audioFrames_;
    c.pictures = pictures_;
    c.width = pictureWidth_;
    c.height = pictureHeight_;
    return c;
}

void LiveDemo::say(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (options_.print) {
        options_.print(line);
    } else {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
}

void LiveDemo::fail(const std::string& why) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (failed_ || stopped_) return;  // the first failure is the one to tell
        failure_ = why;
        failed_ = true;
    }
    finished_ = true;
}

// ---------------------------------------------------------------- running

bool LiveDemo::start() {
    if (started_.exchange(true)) return false;
    // The summary counts from here, also when the emulator does not start.
    startedAt_ = RunLoop::Clock::now();
    const Config& cfg = Config::shared();
    devemu::EmulatorOptions& eo = options_.emulator;
    if (options_.transport == PUConnection::kTCP)
        eo.tcp = true;
    else
        eo.udt = true;
    eo.quiet = true;
    emulator_ = std::make_unique<devemu::DeviceEmulator>(eo);
    std::string error;
    if (!emulator_->start(error)) {
        fail("the device emulator did not start: " + error);
        return false;
    }
    if (options_.transport == PUConnection::kTCP) {
        host_ = eo.tcpHost;
        port_ = emulator_->tcpPort();
    } else {
        host_ = eo.udtHost;
        port_ = emulator_->udtPort();
    }
    say("lumora: device emulator on " + host_ + ":" + std::to_string(port_) + " (" + transportName() + "), clip " +
        std::to_string(emulator_->clip().size()) + " frames at " + std::to_string(eo.fps) + " fps");

    loop_ = &RunLoop::current();
    std::weak_ptr<LiveDemo> weak = weak_from_this();
    statusTimer_ = RunLoopTimer::scheduled(*loop_, cfg.scaled(options_.statusInterval), true, [weak](RunLoopTimer&) {
        if (auto self = weak.lock()) self->statusTick();
    });
    startTimer_ = RunLoopTimer::scheduled(*loop_, cfg.scaled(options_.startTimeout), false, [weak](RunLoopTimer&) {
        auto self = weak.lock();
        if (!self || self->frames_ > 0) return;
        std::string limit = seconds(Config::shared().scaled(self->options_.startTimeout));
        self->fail(self->loggedIn_ ? "logged in, but no video arrived within " + limit
                                   : "no login reply from the device within " + limit);
    });
    connect();
    return true;
}

void LiveDemo::connect() {
    // A UDT connect blocks for the handshake: never on the run loop.
    std::weak_ptr<LiveDemo> weak = weak_from_this();
    DispatchQueue::global()->async([weak] {
        auto self = weak.lock();
        if (!self || self->stopped_) return;
        PUConnectionPtr c = PUConnection::create(self->options_.transport, self);
        c->setClient(self);
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            if (self->stopped_) return;
            self->connection_ = c;
        }
        if (!c->openPort(self->host_, self->port_)) {
            self->fail(std::string("cannot connect to the device at ") + self->host_ + ":" +
                       std::to_string(self->port_) + " over " + self->transportName());
            return;
        }
        // TCP logs in once the link stands; UDT stands when the open returns.
        if (self->options_.transport != PUConnection::kTCP) {
            self->say(std::string("lumora: connected over UDT to ") + self->host_ + ":" +
                      std::to_string(self->port_));
            self->sendLogin(*c);
        }
    });
}

void LiveDemo::sendLogin(PUConnection& connection) {
    Device device;
    device.userName = options_.emulator.user;
    device.password = options_.emulator.password;
    connection.sendMessage(
        OWSPMessageBuilder::buildLoginRequestExtend(device, options_.channel, kLiveMode, kLiveType, &connection));
}

// The run time counts from the login, so a slow connect does not eat it.
void LiveDemo::startRunTime() {
    if (options_.runOn || stopped_) return;
    endTimer_ = RunLoopTimer::scheduled(*loop_, Config::shared().scaled(options_.runTime), false,
                                        [weak = weak_from_this()](RunLoopTimer&) {
                                            if (auto self = weak.lock()) self->timeUp_ = true;
                                        });
}

void LiveDemo::statusTick() {
    LiveDemoCounts now = counts();
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(RunLoop::Clock::now() - startedAt_);
    char line[200];
    std::snprintf(line, sizeof line,
                  "lumora: live %5.1f s: frames %ld, bytes %ld, key frames %ld, decoded %ld pictures %dx%d "
                  "(total frames %ld)",
                  double(elapsed.count()) / 1000.0, now.frames - lastStatus_.frames, now.bytes - lastStatus_.bytes,
                  now.keyFrames - lastStatus_.keyFrames, now.pictures - lastStatus_.pictures, now.width, now.height,
                  now.frames);
    lastStatus_ = now;
    say(line);
}

void LiveDemo::stop() {
    if (stopped_.exchange(true)) return;
    finished_ = true;
    for (auto* t : {&statusTimer_, &endTimer_, &startTimer_}) {
        if (*t) (*t)->invalidate();
        t->reset();
    }
    releaseLink();
    if (!started_) return;
    LiveDemoCounts total = counts();
    auto elapsed = RunLoop::Clock::now() - startedAt_;
    say("lumora: live view ended after " + seconds(elapsed) + ": " + std::to_string(total.frames) + " frames, " +
        std::to_string(total.bytes) + " bytes, " + std::to_string(total.keyFrames) + " key frames, " +
        std::to_string(total.audioFrames) + " audio frames, " + std::to_string(total.pictures) +
        " decoded pictures");
}

int LiveDemo::run(RunLoop& loop, const std::function<bool()>& interrupted) {
    if (start()) {
        auto done = [&] { return finished() || (interrupted && interrupted()); };
        while (!done()) loop.runUntil(done, std::chrono::hours(1));
    }
    // Nothing arrived although nothing went wrong: that is a failure too.
    if (!failed_ && frames_ == 0) fail("no video frames arrived from the device");
    stop();
    return failed_ ? 1 : 0;
}

int LiveDemo::runMode(const CommandLine& line, const std::function<bool()>& interrupted) {
    Options demo;
    demo.runOn = line.runOn;
    if (line.udt) demo.transport = PUConnection::kUDT;
    std::shared_ptr<LiveDemo> live = create(demo);
    int status = live->run(RunLoop::main(), interrupted);
    if (status != 0) std::fprintf(stderr, "lumora: live demo failed: %s\n", live->failure().c_str());
    return status;
}

// ---------------------------------------------------------------- link callbacks

void LiveDemo::connectionDidConnectToHost(PUConnection& connection, const std::string& host, uint16_t port) {
    say("lumora: connected over TCP to " + host + ":" + std::to_string(port));
    sendLogin(connection);
}

int LiveDemo::connectionDidReceiveMessage(PUConnection& connection, const std::vector<uint8_t>& buffer) {
    return parser_.parseMessage(buffer, nullptr, &connection);
}

void LiveDemo::connectionDidDisconnect(PUConnection&, const Error& error) {
    if (!error.empty()) fail("the link closed: " + error.toString());
}

void LiveDemo::reconnectUDT(PUConnection&) {
    if (!stopped_) fail("the UDT link failed while receiving");
}

void LiveDemo::connectiondidFailedUDT(PUConnection&) {
    if (!stopped_) fail("the UDT link failed while sending");
}

// ---------------------------------------------------------------- device callbacks

void LiveDemo::deviceDidLogin(Device*, int32_t tag) {
    loggedIn_ = true;
    if (loop_) loop_->perform([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->startRunTime();
    });
    say("lumora: logged in (link " + std::to_string(tag) + "), live channel " + std::to_string(options_.channel));
}

void LiveDemo::deviceFailedLogin(Device*, const Error& error) {
    fail("the device refused the login: " + error.toString());
}

void LiveDemo::deviceDidReceiveDeviceInfo(Device*, const _TLV_V_DeviceInfo& info, int32_t) {
    say("lumora: device \"" + info.deviceName.str() + "\", " + std::to_string(info.channelNumber) + " channel(s)");
}

void LiveDemo::deviceDidReceiveStreamFormat(Device*, const _TLV_V_StreamDataFormat& format, int32_t) {
    say("lumora: stream " + std::to_string(format.videoFormat.width) + "x" +
        std::to_string(format.videoFormat.height) + " at " + std::to_string(format.videoFormat.framerate) + " fps" +
        (format.hasAudio() ? ", with audio" : ""));
    // Decode at the stream's pace, as a live pane does; pictures come back
    // on the main queue.
    int fps = format.videoFormat.framerate > 0 ? format.videoFormat.framerate : 25;
    std::lock_guard<std::mutex> lock(mutex_);
    if (decoder_ || stopped_) return;
    decoder_ = QvVideoDecoder::create(std::weak_ptr<QvVideoDecoderDelegate>(shared_from_this()), nullptr);
    if (!decoder_->setupDecoder(1000.0 / fps, 0, QvApplicationPreference::sharedInstance().livePreference())) {
        decoder_.reset();
        Log::warn("LiveDemo", "the video decoder could not be set up");
    }
}

void LiveDemo::deviceDidReceiveVideoFrame(Device*, std::shared_ptr<MediaFrame> frame, int32_t) {
    bytes_ += static_cast<long>(frame->buffer.size());
    if (frame->keyFrame) ++keyFrames_;
    ++frames_;
    std::shared_ptr<QvVideoDecoder> decoder;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        decoder = decoder_;
    }
    if (decoder) decoder->decodeFrame(std::move(frame));
}

void LiveDemo::decoderDidDecodeFrameToYUV(QvVideoDecoder&, const MediaFrame& frame, const std::vector<uint8_t>&) {
    pictureWidth_ = frame.width;
    pictureHeight_ = frame.height;
    ++pictures_;
}

void LiveDemo::deviceDidReceiveAudioFrame(Device*, std::shared_ptr<MediaFrame>, int32_t) { ++audioFrames_; }

}  // namespace lumora
