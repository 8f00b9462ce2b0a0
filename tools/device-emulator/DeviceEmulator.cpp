#include "tools/device-emulator/DeviceEmulator.h"

#include <algorithm>
#include <filesystem>
#include <thread>

#include "platform/Config.h"
#include "tools/device-emulator/EmulatorSession.h"

namespace lumora::devemu {

// The running part: listeners, their accept threads and the sessions.
struct EmulatorRuntime {
    std::unique_ptr<EmulatorListener> tcp;
    std::unique_ptr<EmulatorListener> udt;
    std::vector<std::thread> acceptThreads;
    std::mutex sessionsMutex;
    std::vector<std::unique_ptr<EmulatorSession>> sessions;
    int nextId = 1;
};

namespace {

void acceptLoop(std::shared_ptr<EmulatorState> state, EmulatorRuntime* rt, EmulatorListener* listener) {
    while (!state->stopping) {
        std::unique_ptr<EmulatorTransport> t = listener->accept(50);
        if (!t) continue;
        std::lock_guard<std::mutex> lock(rt->sessionsMutex);
        if (state->stopping) break;
        // Forget sessions that have ended, so a long run does not grow.
        rt->sessions.erase(std::remove_if(rt->sessions.begin(), rt->sessions.end(),
                                          [](const std::unique_ptr<EmulatorSession>& s) { return s->finished(); }),
                           rt->sessions.end());
        state->counters.sessions++;
        auto s = std::make_unique<EmulatorSession>(rt->nextId++, state, std::move(t));
        s->start();
        rt->sessions.push_back(std::move(s));
    }
}

}  // namespace

DeviceEmulator::DeviceEmulator(EmulatorOptions options) : state_(std::make_shared<EmulatorState>()) {
    state_->options = std::move(options);
    state_->forcedLoginResult = state_->options.forcedLoginResult;
    state_->config = std::make_unique<ConfigStore>(state_->options.channels);
    state_->recordings = std::make_unique<RecordingCatalog>(state_->options);
}

DeviceEmulator::~DeviceEmulator() { stop(); }

void DeviceEmulator::endAbsence() {
    {
        std::lock_guard<std::mutex> lock(awayMutex_);
        cancelAway_ = true;
    }
    awayChanged_.notify_all();
    if (comeBack_.joinable() && comeBack_.get_id() != std::this_thread::get_id()) comeBack_.join();
    std::lock_guard<std::mutex> lock(awayMutex_);
    cancelAway_ = false;
    away_ = false;
}

void DeviceEmulator::goAway(std::chrono::milliseconds duration) {
    endAbsence();
    closeAll();
    {
        std::lock_guard<std::mutex> lock(awayMutex_);
        away_ = true;
    }
    state_->event(0, "away " + std::to_string(duration.count()) + " ms");
    comeBack_ = std::thread([this, duration] {
        std::unique_lock<std::mutex> lock(awayMutex_);
        if (awayChanged_.wait_for(lock, duration, [this] { return cancelAway_; })) return;
        lock.unlock();
        std::string error;
        const bool ok = start(error);
        state_->event(0, ok ? std::string("back") : "back failed: " + error);
        lock.lock();
        away_ = false;
        awayChanged_.notify_all();
    });
}

bool DeviceEmulator::waitUntilBack(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(awayMutex_);
    return awayChanged_.wait_for(lock, timeout, [this] { return !away_; });
}

bool DeviceEmulator::isAway() const {
    std::lock_guard<std::mutex> lock(awayMutex_);
    return away_;
}

bool DeviceEmulator::start(std::string& error) {
    {
        std::lock_guard<std::mutex> lock(runtimeMutex_);
        if (runtime_) {
            error = "already started";
            return false;
        }
    }
    {
        // The default clip is looked up when the emulator starts, so the
        // configured resource folder counts; a missing one is named with the
        // folders searched.
        std::string path = state_->options.videoPath;
        if (path.empty()) path = defaultClipPath();
        std::error_code ec;
        if (state_->options.videoPath.empty() && (path.empty() || !std::filesystem::exists(path, ec))) {
            error = lumora::Config::shared().missingResource("clip.h264");
            return false;
        }
        if (!state_->clip.load(path, error)) return false;
    }
    auto rt = std::make_unique<EmulatorRuntime>();
    const EmulatorOptions& o = state_->options;
    if (!o.tcp && !o.udt) {
        error = "neither TCP nor UDT is enabled";
        return false;
    }
    uint16_t tcpPort = o.tcpPort, udtPort = o.udtPort;
    {
        std::lock_guard<std::mutex> lock(runtimeMutex_);
        if (!tcpPort) tcpPort = boundTcpPort_;
        if (!udtPort) udtPort = boundUdtPort_;
    }
    if (o.tcp && !(rt->tcp = openTcpListener(o.tcpHost, tcpPort, error))) return false;
    if (o.udt && !(rt->udt = openUdtListener(o.udtHost, udtPort, error))) return false;
    state_->stopping = false;
    if (rt->tcp) rt->acceptThreads.emplace_back(acceptLoop, state_, rt.get(), rt->tcp.get());
    if (rt->udt) rt->acceptThreads.emplace_back(acceptLoop, state_, rt.get(), rt->udt.get());
    std::string where;
    if (rt->tcp) where += " tcp " + o.tcpHost + ":" + std::to_string(rt->tcp->port());
    if (rt->udt) where += " udt " + o.udtHost + ":" + std::to_string(rt->udt->port());
    {
        std::lock_guard<std::mutex> lock(runtimeMutex_);
        if (rt->tcp) boundTcpPort_ = rt->tcp->port();
        if (rt->udt) boundUdtPort_ = rt->udt->port();
        runtime_ = std::move(rt);
    }
    state_->event(0, "listening" + where + " clip " + std::to_string(state_->clip.size()) + " frames");
    return true;
}

void DeviceEmulator::stop() {
    endAbsence();
    closeAll();
}

void DeviceEmulator::closeAll() {
    std::unique_ptr<EmulatorRuntime> rt;
    {
        std::lock_guard<std::mutex> lock(runtimeMutex_);
        rt = std::move(runtime_);
    }
    if (!rt) return;
    state_->stopping = true;
    for (auto& t : rt->acceptThreads) t.join();
    {
        std::lock_guard<std::mutex> lock(rt->sessionsMutex);
        for (auto& s : rt->sessions) s->interrupt();
    }
    for (auto& s : rt->sessions) s->join();
    rt->sessions.clear();
    rt->tcp.reset();
    rt->udt.reset();
}

uint16_t DeviceEmulator::tcpPort() const {
    std::lock_guard<std::mutex> lock(runtimeMutex_);
    return runtime_ && runtime_->tcp ? runtime_->tcp->port() : 0;
}

uint16_t DeviceEmulator::udtPort() const {
    std::lock_guard<std::mutex> lock(runtimeMutex_);
    return runtime_ && runtime_->udt ? runtime_->udt->port() : 0;
}

const EmulatorOptions& DeviceEmulator::options() const { return state_->options; }
const H264Clip& DeviceEmulator::clip() const { return state_->clip; }
const std::vector<EmulatorRecording>& DeviceEmulator::recordings() const { return state_->recordings->all(); }
std::vector<uint8_t> DeviceEmulator::frameBytes(size_t i) const { return state_->frameBytes(i); }

void DeviceEmulator::releaseFrames(long count) { state_->frameCredits += count; }
void DeviceEmulator::setSilent(bool silent) { state_->silent = silent; }
void DeviceEmulator::stall(std::chrono::milliseconds duration) {
    state_->stallUntil = (std::chrono::steady_clock::now() + duration).time_since_epoch().count();
}
void DeviceEmulator::setForcedLoginResult(int result) { state_->forcedLoginResult = result; }

void DeviceEmulator::setEventHandler(std::function<void(const EmulatorEvent&)> handler) {
    state_->handler = std::move(handler);
}

std::vector<EmulatorEvent> DeviceEmulator::events() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->events;
}

size_t DeviceEmulator::countEvents(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return static_cast<size_t>(std::count_if(state_->events.begin(), state_->events.end(),
                                             [&](const EmulatorEvent& e) { return e.text.rfind(prefix, 0) == 0; }));
}

bool DeviceEmulator::waitForEvent(const std::string& prefix, std::chrono::milliseconds timeout, size_t count) const {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->changed.wait_for(lock, timeout, [&] {
        size_t n = 0;
        for (const EmulatorEvent& e : state_->events)
            if (e.text.rfind(prefix, 0) == 0) ++n;
        return n >= count;
    });
}

EmulatorStats DeviceEmulator::stats() const {
    const auto& c = state_->counters;
    EmulatorStats s;
    s.sessions = c.sessions;
    s.logins = c.logins;
    s.videoFrames = c.videoFrames;
    s.keyFrames = c.keyFrames;
    s.audioRecords = c.audioRecords;
    s.bytesSent = c.bytesSent;
    s.heartbeats = c.heartbeats;
    s.ptzCommands = c.ptzCommands;
    s.talkRequests = c.talkRequests;
    s.talkAudioBytes = c.talkAudioBytes;
    return s;
}

std::string DeviceEmulator::defaultClipPath() {
    // The configured resource folder first (LUMORA_RESOURCES), then the one
    // beside the programs: a source tree's resource folder has no clip.
    std::error_code ec;
    for (const std::string& dir :
         {lumora::Config::shared().resourceDir, lumora::Config::installedResourceDir()}) {
        if (dir.empty()) continue;
        const std::string path = dir + "/clip.h264";
        if (std::filesystem::exists(path, ec)) return path;
    }
    return std::string();
}

EmulatorOptions DeviceEmulator::loopbackDemo() {
    EmulatorOptions o;
    o.tcp = true;
    o.tcpHost = "127.0.0.2";
    o.tcpPort = 0;
    o.udt = true;
    o.udtHost = "127.0.0.2";
    o.udtPort = 0;
    o.pace = Pace::FrameRate;
    return o;
}

}  // namespace lumora::devemu
