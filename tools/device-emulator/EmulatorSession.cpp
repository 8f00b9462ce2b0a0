#include "tools/device-emulator/EmulatorSession.h"

#include <algorithm>
#include <cstdio>

namespace lumora::devemu {

using namespace wire;

namespace {

// A-law code of silence.
constexpr uint8_t kAlawSilence = 0xD5;
// Samples per second of the audio the device sends and expects for talk.
constexpr uint32_t kAudioRate = 8000;

std::vector<uint8_t> u16pair(uint16_t a, uint16_t b) {
    std::vector<uint8_t> v;
    putU16(v, a);
    putU16(v, b);
    return v;
}

// _OWSP_AudioDataFormat: samples per second, a 32-bit field, then wave format,
// channels, a 16-bit field, bits per sample, two 16-bit fields.
void putAudioFormat(std::vector<uint8_t>& out) {
    putU32(out, kAudioRate);
    putU32(out, 0);
    putU16(out, kWaveAlaw);
    putU16(out, 1);
    putU16(out, 0);
    putU16(out, 8);
    putU16(out, 0);
    putU16(out, 0);
}

}  // namespace

void EmulatorState::event(int session, std::string text) {
    EmulatorEvent e{session, std::move(text)};
    if (handler) handler(e);
    {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(std::move(e));
        // Dropping the oldest in batches keeps appending cheap.
        if (events.size() >= 2 * kKeptEvents)
            events.erase(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(events.size() - kKeptEvents));
    }
    changed.notify_all();
}

std::vector<uint8_t> EmulatorState::frameBytes(size_t i) const {
    const AccessUnit& au = clip.unit(i);
    if (au.keyFrame && options.bigKeyFrame > au.bytes.size()) return H264Clip::padded(au.bytes, options.bigKeyFrame);
    return au.bytes;
}

bool EmulatorState::takeFrameCredit() {
    long c = frameCredits.load();
    while (c > 0) {
        if (frameCredits.compare_exchange_weak(c, c - 1)) return true;
    }
    return false;
}

EmulatorSession::EmulatorSession(int id, std::shared_ptr<EmulatorState> state,
                                 std::unique_ptr<EmulatorTransport> transport)
    : id_(id), state_(std::move(state)), opt_(state_->options), transport_(std::move(transport)) {}

EmulatorSession::~EmulatorSession() {
    interrupt();
    join();
}

void EmulatorSession::start() {
    thread_ = std::thread([this] { run(); });
}

void EmulatorSession::interrupt() {
    if (transport_) transport_->interrupt();
}

void EmulatorSession::join() {
    if (thread_.joinable()) thread_.join();
}

void EmulatorSession::run() {
    event("connected " + transport_->describe());
    std::vector<uint8_t> chunk(65536);
    std::vector<uint8_t> packet;
    while (!ended_ && !state_->stopping) {
        int n = transport_->receive(chunk.data(), chunk.size(), waitBudgetMs());
        if (n < 0) {
            end("closed by peer", false);
            break;
        }
        if (n > 0) {
            assembler_.append(chunk.data(), static_cast<size_t>(n));
            for (;;) {
                RequestAssembler::Result r = assembler_.next(packet);
                if (r == RequestAssembler::Result::NeedMore) break;
                if (r == RequestAssembler::Result::TooLong) {
                    end("request length " + std::to_string(assembler_.lastLength()) + " over limit", false);
                    break;
                }
                if (r == RequestAssembler::Result::TooShort) {
                    end("request length " + std::to_string(assembler_.lastLength()) + " too short", false);
                    break;
                }
                handlePacket(packet);
                if (ended_) break;
            }
        }
        if (!ended_ && streaming_) pump();
        if (!ended_ && pendingPackets_ > 0 && !streaming_) flush();
    }
    if (!ended_) end(state_->stopping ? "emulator stopped" : "ended", false);
    finished_ = true;
}

void EmulatorSession::end(const std::string& why, bool reset) {
    if (ended_) return;
    ended_ = true;
    transport_->close(reset);
    event("closed " + why);
}

int EmulatorSession::waitBudgetMs() const {
    if (!streaming_) return 50;
    auto now = Clock::now();
    auto next = now + std::chrono::milliseconds(20);
    switch (opt_.pace) {
        case Pace::Fast:
            return 0;
        case Pace::FrameRate:
            next = std::min(next, nextFrame_);
            break;
        case Pace::Step:
            if (state_->frameCredits.load() > 0) return 0;
            next = std::min(next, now + std::chrono::milliseconds(5));
            break;
    }
    if (opt_.audio) next = std::min(next, nextAudio_);
    if (next <= now) return 0;
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count()) + 1;
}

void EmulatorSession::handlePacket(const std::vector<uint8_t>& packet) {
    uint32_t sequence = 0;
    std::vector<Record> records;
    bool whole = splitRecords(packet, sequence, records);
    for (const Record& r : records) {
        switch (r.type) {
            case kVersionInfo:
                event("client version " + std::to_string(getU16(r.body, 0)) + "." + std::to_string(getU16(r.body, 2)));
                break;
            case kLoginRequest:
                handleLogin(r, sequence);
                break;
            case kHeartbeat:
                state_->counters.heartbeats++;
                event("heartbeat");
                break;
            case kPtzControl:
                handlePtz(r);
                break;
            case kTalkRequest:
                handleTalk(r, sequence);
                break;
            case kPlayRecordRequest:
                handlePlayRecord(r);
                break;
            case kAudioInfo:
                break;
            case kAudioData:
                if (state_->counters.talkAudioBytes.fetch_add(r.length) == 0) event("talk audio started");
                break;
            case kSearchRequest:
                handleSearch(r, sequence);
                break;
            default:
                if (const ConfigKind* set = ConfigStore::kindForSet(r.type)) {
                    handleConfigSet(*set, r, sequence);
                    break;
                }
                if (const ConfigKind* get = ConfigStore::kindForGet(r.type)) {
                    handleConfigGet(*get, r, sequence);
                    break;
                }
                event("request type " + std::to_string(r.type) + " length " + std::to_string(r.length) + " ignored");
                break;
        }
        if (ended_) return;
    }
    if (!whole) event("malformed request packet: a record runs past its end");
}

void EmulatorSession::handleLogin(const Record& r, uint32_t sequence) {
    std::string kind, user, password;
    int channel = -1;
    bool live = true;
    bool encrypted = false;
    uint32_t deviceId = 0;
    std::string extra;
    if (r.length == kLoginRequestSize) {
        // user 32, password 16, device id, 0, channel, 2 zero bytes
        kind = "plain";
        user = readText(r.body.subspan(0, 32));
        password = readText(r.body.subspan(32, 16));
        deviceId = getU32(r.body, 48);
        channel = r.body[53];
    } else if (r.length == kLoginRequestExtendSize) {
        // encryption, user 32, password 16, device id, 2, 3 zero bytes, channel
        // mask, stream type or mode, 2 or type, 2 zero bytes
        encrypted = r.body[0] != 0;
        user = readText(r.body.subspan(1, 32));
        password = readText(r.body.subspan(33, 16));
        deviceId = getU32(r.body, 49);
        uint32_t mask = getU32(r.body, 60);
        for (int bit = 0; bit < 32; ++bit) {
            if (mask & (1u << bit)) {
                channel = bit;
                break;
            }
        }
        uint8_t modeOrStream = r.body[64];
        uint8_t type = r.body[65];
        kind = "extended";
        extra = " mode=" + std::to_string(modeOrStream) + " type=" + std::to_string(type) +
                " encrypt=" + std::to_string(r.body[0]);
        // Type 2 asks for live video (stream type or live mode before it);
        // modes 2 and 3 with type 0 open recording playback and search.
        live = type == 2;
    } else {
        kind = "malformed";
        live = false;
    }

    int result = state_->forcedLoginResult.load();
    if (result == 0) {
        if (kind == "malformed") {
            result = opt_.badCredentialsResult;
        } else if (encrypted) {
            result = opt_.acceptEncrypted ? 1 : opt_.badCredentialsResult;
        } else {
            result = (user == opt_.user && password == opt_.password) ? 1 : opt_.badCredentialsResult;
        }
        // A live view of a channel the device lacks is refused with its own
        // result (recording search and playback name channel 1 whatever
        // the device has, and look at the recordings instead).
        if (result == kLoginAccepted && live && (channel < 0 || channel >= opt_.channels)) {
            if (opt_.silentOnMissingChannel) {
                state_->counters.logins++;
                event("login kind=" + kind + " user=" + user + " channel=" + std::to_string(channel) +
                      " device=" + std::to_string(deviceId) + extra + " ignored: no such channel (fault)");
                return;
            }
            result = kLoginNoSuchChannel;
        }
    }
    if (result == kLoginAccepted) loggedIn_ = true;
    state_->counters.logins++;
    event("login kind=" + kind + " user=" + user + " channel=" + std::to_string(channel) +
          " device=" + std::to_string(deviceId) + extra + " result=" + std::to_string(result));

    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> replies;
    replies.push_back({opt_.versionType, u16pair(opt_.mainVersion, opt_.subVersion)});
    replies.push_back({kLoginResponse, u16pair(static_cast<uint16_t>(result), 0)});
    if (result == 1) {
        std::vector<uint8_t> info;
        putText(info, "lumora-devemu", 16);  // company
        putText(info, "emulator", 16);       // product
        putText(info, opt_.deviceName, 16);
        putText(info, "1.0.0", 16);          // software version
        putU16(info, 2026);
        info.push_back(1);
        info.push_back(1);
        info.push_back(static_cast<uint8_t>(opt_.channels));
        info.insert(info.end(), 5, 0);
        replies.push_back({opt_.deviceInfoType, info});

        std::vector<uint8_t> format;
        format.push_back(0);
        format.push_back(0);
        format.push_back(opt_.audio ? 1 : 0);  // audio flag
        format.push_back(0);
        // _OWSP_VideoDataFormat: two 32-bit fields, width, height, frame rate, three bytes
        putU32(format, 0);
        putU32(format, 0);
        putU16(format, static_cast<uint16_t>(opt_.width));
        putU16(format, static_cast<uint16_t>(opt_.height));
        format.push_back(static_cast<uint8_t>(opt_.fps));
        format.insert(format.end(), 3, 0);
        putAudioFormat(format);
        replies.push_back({opt_.streamFormatType, format});
    }

    if (opt_.grouping == LoginGrouping::OnePacket) {
        PacketWriter w(sequence);
        for (auto& [type, body] : replies) w.record(type, body);
        if (!sendPacket(w.finish())) return;
    } else {
        for (auto& [type, body] : replies) {
            PacketWriter w(sequence);
            w.record(type, body);
            if (!sendPacket(w.finish())) return;
        }
    }

    if (result != 1) return;
    if (!live) {
        // Mode 2 with type 0 opens recording playback: the play request follows.
        if (kind == "extended" && r.body[64] == 2) {
            playbackLogin_ = true;
            channel_ = std::max(channel, 0);
            event("playback login");
        } else {
            event("search login: recording searches are answered");
        }
        return;
    }
    if (channel < 0 || channel >= opt_.channels) {
        // Only when a forced login result let it in.
        event("no such channel " + std::to_string(channel));
        return;
    }
    if (!streaming_) {
        streaming_ = true;
        streamStart_ = Clock::now();
        nextFrame_ = streamStart_;
        nextAudio_ = streamStart_;
    }
    channel_ = channel;
    event("streaming channel " + std::to_string(channel));
}

void EmulatorSession::handlePtz(const Record& r) {
    state_->counters.ptzCommands++;
    // 32-bit 0, channel, command, argument length, optional 16-byte argument
    std::string text = "ptz channel=" + std::to_string(r.length > 4 ? r.body[4] : 0) +
                       " command=" + std::to_string(r.length > 5 ? r.body[5] : 0);
    uint16_t argLen = getU16(r.body, 6);
    if (argLen >= 16 && r.length >= 24) {
        text += " arg=" + std::to_string(getU32(r.body, 8)) + "," + std::to_string(getU32(r.body, 12)) + "," +
                std::to_string(getU32(r.body, 16)) + "," + std::to_string(getU32(r.body, 20));
    }
    event(text);
}

void EmulatorSession::handleTalk(const Record& r, uint32_t sequence) {
    state_->counters.talkRequests++;
    int action = r.length >= 1 ? r.body[0] : 0;
    event("talk action=" + std::to_string(action) + " device=" + std::to_string(getU32(r.body, 4)));
    if (action != 1) return;
    std::vector<uint8_t> body;
    putU16(body, opt_.grantTalk ? 1 : 0);
    putU16(body, 0);  // padding before the 32-bit aligned format
    putAudioFormat(body);
    putU16(body, 0);
    putU16(body, 0);  // tail padding to 28 bytes
    PacketWriter w(sequence);
    w.record(kTalkResponse, body);
    sendPacket(w.finish());
}

void EmulatorSession::handleConfigSet(const ConfigKind& kind, const Record& r, uint32_t sequence) {
    const int channel = ConfigStore::channelOf(kind, r.body);
    int result = 1;  // read by clients as a refusal
    if (!loggedIn_) {
        event(std::string("config set ") + kind.name + " refused before login");
    } else if (opt_.configSetResult == 1 || !state_->config->set(kind, r.body)) {
        event(std::string("config set ") + kind.name + " channel=" + std::to_string(channel) +
              " length=" + std::to_string(r.length) + " refused");
    } else {
        result = opt_.configSetResult;
        event(std::string("config set ") + kind.name + " channel=" + std::to_string(channel) +
              " result=" + std::to_string(result));
    }
    PacketWriter w(sequence);
    w.record(kConfigSetResponse, u16pair(static_cast<uint16_t>(result), 0));
    sendPacket(w.finish());
}

void EmulatorSession::handleConfigGet(const ConfigKind& kind, const Record& r, uint32_t sequence) {
    if (!loggedIn_) {
        event(std::string("config get ") + kind.name + " ignored before login");
        return;
    }
    std::vector<uint8_t> record = state_->config->get(kind, r.body);
    event(std::string("config get ") + kind.name + " channel=" + std::to_string(ConfigStore::channelOf(kind, r.body)));
    PacketWriter w(sequence);
    w.record(kind.replyType, record);
    sendPacket(w.finish());
}

void EmulatorSession::handleSearch(const Record& r, uint32_t sequence) {
    RecordingQuery query;
    if (!loggedIn_ || !RecordingQuery::read(r.body, query)) {
        event(std::string("recording search ") + (loggedIn_ ? "malformed" : "before login") + ": no files");
        PacketWriter w(sequence);
        w.record(kSearchResponse, std::vector<uint8_t>{0, 0, 0});
        sendPacket(w.finish());
        return;
    }
    std::vector<const EmulatorRecording*> found = state_->recordings->search(query);
    event("search answered: mask=" + std::to_string(query.channelMask) + " found=" + std::to_string(found.size()));
    // The answer's middle byte counts the file records that follow it, so
    // more than 255 (or more than the request allows per answer) go out as
    // several answers, each followed by its files; the last byte says
    // whether another answer follows. No match: one answer of 0 files.
    const size_t perAnswer = query.perAnswer == 0 || query.perAnswer > 255 ? 255 : query.perAnswer;
    size_t at = 0;
    do {
        const size_t n = std::min(perAnswer, found.size() - at);
        const bool more = at + n < found.size();
        PacketWriter w(sequence);
        w.record(kSearchResponse, std::vector<uint8_t>{uint8_t(found.empty() ? 0 : 1), uint8_t(n), uint8_t(more)});
        for (size_t i = at; i < at + n; ++i) w.record(kFileInfo, RecordingCatalog::fileInfo(*found[i]));
        if (!sendPacket(w.finish())) return;
        at += n;
    } while (at < found.size());
    flush();
}

void EmulatorSession::handlePlayRecord(const Record& r) {
    // 32-bit field, file name (260 bytes), start time, three flags.
    std::string name = r.length >= 264 ? readText(r.body.subspan(4, 260)) : std::string();
    if (!playbackLogin_) {
        event("play request without a playback login ignored");
        return;
    }
    event("play " + name);
    // The recording is the clip, played once from its start.
    playing_ = true;
    clipPos_ = 0;
    if (!streaming_) {
        streaming_ = true;
        streamStart_ = Clock::now();
        nextFrame_ = streamStart_;
        nextAudio_ = streamStart_;
    }
}

uint32_t EmulatorSession::stampNow() const {
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - streamStart_).count();
    switch (opt_.timeUnit) {
        case TimeUnit::Milliseconds:
            return static_cast<uint32_t>(us / 1000);
        case TimeUnit::Microseconds:
            return static_cast<uint32_t>(us);
        case TimeUnit::Clock90k:
            return static_cast<uint32_t>(us * 9 / 100);
    }
    return 0;
}

void EmulatorSession::pump() {
    auto now = Clock::now();
    if (now.time_since_epoch().count() < state_->stallUntil.load()) return;
    switch (opt_.pace) {
        case Pace::FrameRate: {
            auto interval = std::chrono::microseconds(1000000 / std::max(1, opt_.fps));
            // After a long stall (a blocked write) catch up by skipping, not bursting.
            if (now - nextFrame_ > std::chrono::seconds(1)) nextFrame_ = now;
            while (!ended_ && streaming_ && nextFrame_ <= now) {
                sendFrame();
                nextFrame_ += interval;
            }
            break;
        }
        case Pace::Fast:
            for (int i = 0; i < 8 && !ended_ && streaming_; ++i) sendFrame();
            break;
        case Pace::Step:
            while (!ended_ && streaming_ && state_->takeFrameCredit()) sendFrame();
            break;
    }
    if (opt_.audio) {
        auto step = std::chrono::milliseconds(std::max(1, opt_.audioIntervalMs));
        if (now - nextAudio_ > std::chrono::seconds(1)) nextAudio_ = now;
        while (!ended_ && streaming_ && nextAudio_ <= now) {
            sendAudio();
            nextAudio_ += step;
        }
    }
}

void EmulatorSession::sendFrame() {
    const H264Clip& clip = state_->clip;
    if (clipPos_ >= clip.size()) {
        if (playing_) {
            // The recording ends: the end-of-recording record, then silence.
            playing_ = false;
            streaming_ = false;
            PacketWriter w(++sequence_);
            w.record(kRecordEnd, std::vector<uint8_t>(4, 0));
            sendPacket(w.finish());
            event("record end");
            return;
        }
        if (!opt_.loop) {
            streaming_ = false;
            event("clip ended");
            return;
        }
        clipPos_ = 0;
    }
    bool key = clip.unit(clipPos_).keyFrame;
    std::vector<uint8_t> data = state_->frameBytes(clipPos_);
    const size_t position = clipPos_;
    ++clipPos_;
    uint32_t index = ++frameIndex_;
    if (opt_.frameEvents) event("frame " + std::to_string(index) + " clip " + std::to_string(position));
    uint64_t us = uint64_t(framesSent_) * 1000000u / uint64_t(std::max(1, opt_.fps));
    uint32_t stamp = 0;
    switch (opt_.timeUnit) {
        case TimeUnit::Milliseconds: stamp = uint32_t(us / 1000); break;
        case TimeUnit::Microseconds: stamp = uint32_t(us); break;
        case TimeUnit::Clock90k: stamp = uint32_t(us * 9 / 100); break;
    }
    ++framesSent_;
    if (opt_.mainVersion == 5) {
        sendFrameV5(data, key, index, stamp);
    } else {
        sendFrameV3(data, key, index, stamp);
    }
}

void EmulatorSession::sendFrameV5(const std::vector<uint8_t>& data, bool key, uint32_t index, uint32_t stamp) {
    // Frame information: channel, two spare fields, frame index, time.
    std::vector<uint8_t> info;
    info.push_back(static_cast<uint8_t>(channel_));
    info.push_back(0);
    putU16(info, 0);
    putU32(info, index);
    putU32(info, stamp);
    uint16_t type = key ? kKeyFrameData : opt_.nonKeyType;
    if (data.size() > 0xFFFF && !key) {
        if (opt_.bigNonKey == BigNonKey::Drop) {
            event("dropped non-key frame of " + std::to_string(data.size()) + " bytes");
            return;
        }
        if (opt_.bigNonKey == BigNonKey::AsKey) type = kKeyFrameData;
    }
    // Above 65535 bytes the record's length field keeps the low 16 bits and
    // the data run to the end of the packet.
    PacketWriter w(++sequence_);
    w.record(kVideoInfo, info);
    w.recordWithLength(type, static_cast<uint16_t>(data.size() & 0xFFFF), data);
    state_->counters.videoFrames++;
    if (key) state_->counters.keyFrames++;
    sendPacket(w.finish());
}

void EmulatorSession::sendFrameV3(const std::vector<uint8_t>& data, bool key, uint32_t index, uint32_t stamp) {
    // Extended frame information: as the plain one plus the total length; the
    // data follow in fragments that the client gathers up to that length.
    std::vector<uint8_t> info;
    info.push_back(static_cast<uint8_t>(channel_));
    info.push_back(0);
    putU16(info, 0);
    putU32(info, index);
    putU32(info, stamp);
    putU32(info, static_cast<uint32_t>(data.size()));
    uint16_t type = key ? kKeyFrameData : kNonKeyFrameData;
    size_t fragment = std::clamp<size_t>(opt_.v3Fragment, 1, 0xFFFF);
    size_t at = 0;
    PacketWriter first(++sequence_);
    first.record(kVideoInfoEx, info);
    if (opt_.v3Framing == V3Framing::Together) {
        size_t n = std::min(fragment, data.size());
        first.record(type, std::span<const uint8_t>(data.data(), n));
        at = n;
    }
    state_->counters.videoFrames++;
    if (key) state_->counters.keyFrames++;
    if (!sendPacket(first.finish())) return;
    while (at < data.size()) {
        size_t n = std::min(fragment, data.size() - at);
        PacketWriter w(++sequence_);
        w.record(type, std::span<const uint8_t>(data.data() + at, n));
        if (!sendPacket(w.finish())) return;
        at += n;
    }
}

void EmulatorSession::sendAudio() {
    // Audio information: channel, two spare fields, time; then 40 ms of A-law.
    std::vector<uint8_t> info;
    info.push_back(static_cast<uint8_t>(channel_));
    info.push_back(0);
    putU16(info, 0);
    putU32(info, stampNow());
    size_t samples = kAudioRate * static_cast<size_t>(std::max(1, opt_.audioIntervalMs)) / 1000;
    std::vector<uint8_t> pcm(samples, kAlawSilence);
    PacketWriter w(++sequence_);
    w.record(kAudioInfo, info);
    w.record(kAudioData, pcm);
    state_->counters.audioRecords++;
    sendPacket(w.finish());
}

bool EmulatorSession::sendPacket(std::vector<uint8_t> packet) {
    if (ended_) return false;
    if (state_->silent || (opt_.silentAfter >= 0 && packetsSent_ >= opt_.silentAfter)) return true;
    if (opt_.oversizeAfter >= 0 && !oversizeSent_ && packetsSent_ >= opt_.oversizeAfter) {
        oversizeSent_ = true;
        PacketWriter bad(++sequence_);
        std::vector<uint8_t> bogus = bad.finish();
        uint32_t len = kMaxPacketLength + 1;
        bogus[0] = uint8_t(len >> 24);
        bogus[1] = uint8_t(len >> 16);
        bogus[2] = uint8_t(len >> 8);
        bogus[3] = uint8_t(len);
        bogus.insert(bogus.end(), 8, 0);
        event("fault: packet length " + std::to_string(len));
        pending_.insert(pending_.end(), bogus.begin(), bogus.end());
        ++pendingPackets_;
        if (!flush()) return false;
    }
    pending_.insert(pending_.end(), packet.begin(), packet.end());
    ++pendingPackets_;
    ++packetsSent_;
    if (opt_.coalesce <= 1 || pendingPackets_ >= opt_.coalesce) {
        if (!flush()) return false;
    }
    if (opt_.closeAfter >= 0 && packetsSent_ >= opt_.closeAfter) {
        if (!flush()) return false;
        end("fault: close after " + std::to_string(packetsSent_) + " packets", false);
        return false;
    }
    if (opt_.resetAfter >= 0 && packetsSent_ >= opt_.resetAfter) {
        if (!flush()) return false;
        end("fault: reset after " + std::to_string(packetsSent_) + " packets", true);
        return false;
    }
    return true;
}

bool EmulatorSession::flush() {
    if (ended_) return false;
    if (pending_.empty()) {
        pendingPackets_ = 0;
        return true;
    }
    bool ok = true;
    if (opt_.splitWrites > 0) {
        for (size_t at = 0; ok && at < pending_.size(); at += opt_.splitWrites) {
            size_t n = std::min(opt_.splitWrites, pending_.size() - at);
            ok = transport_->sendAll(pending_.data() + at, n);
            // A short pause so the pieces arrive as separate reads.
            if (ok && at + n < pending_.size()) std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    } else {
        ok = transport_->sendAll(pending_.data(), pending_.size());
    }
    if (ok) state_->counters.bytesSent += static_cast<long>(pending_.size());
    pending_.clear();
    pendingPackets_ = 0;
    if (!ok) end("send failed", false);
    return ok;
}

}  // namespace lumora::devemu
