#include "base/link/DataController.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <thread>

#include "app/core/Device.h"
#include "app/core/FileManager.h"
#include "app/core/QvUtility.h"
#include "app/core/QvDeviceManager.h"
#include "base/link/OWSPMessageBuilder.h"
#include "base/link/OWSPWire.h"
#include "base/link/RkMessageBuilder.h"
#include "base/link/RkMessageParser.h"
#include "base/link/TxConManager.h"
#include "base/network/NETStatusObj.h"
#include "base/network/SocketFunctions.h"
#include "app/core/QvApplicationPreference.h"
#include "platform/bytes/ByteReader.h"
#include "platform/Config.h"
#include "platform/ErrorCodes.h"
#include "platform/audio/AudioSession.h"
#include "platform/text/Localization.h"
#include "platform/Log.h"

namespace lumora {

namespace {

// Where a link goes, for the log: the path the client took and its address.
std::string linkPathText(const TolvClient& client) {
    const int mode = client.getConnectMode();
    const char* how = "";
    std::string at = client.tcpIP() + ":" + std::to_string(client.tcpPort());
    switch (mode) {
    case TolvClient::kServerTcp: how = "TCP to the address the look-up server gave"; break;
    case TolvClient::kRelay: how = "TCP through the relay"; break;
    case TolvClient::kServerUdt:
        how = "UDT to the address the look-up server gave";
        at = client.udpIP() + ":" + std::to_string(client.udpPort());
        break;
    case TolvClient::kInnerUdt:
        how = "UDT on the LAN";
        at = client.udpIP() + ":" + std::to_string(client.udpPort());
        break;
    case TolvClient::kHoleUdt:
        how = "UDT through a punched hole";
        at = client.udpIP() + ":" + std::to_string(client.udpPort());
        break;
    case TolvClient::kDirectTcp: how = "TCP to the device's address"; break;
    case TolvClient::kLanTcp: how = "TCP to the address found on the LAN"; break;
    default: how = client.isUDTConnect() ? "UDT" : "TCP"; break;
    }
    return std::string(how) + ", " + at;
}

// Extended-login modes and types.
constexpr uint8_t kLiveMode = 1;
constexpr uint8_t kLiveType = 2;
constexpr uint8_t kPlaybackMode = 2;
constexpr uint8_t kPlaybackType = 0;

constexpr auto kStatisticsInterval = std::chrono::seconds(3);

bool present(const SharedText& text) { return !text.value().empty(); }

}  // namespace

DataController::DataController(Private) {}

std::shared_ptr<DataController> DataController::create() {
    auto self = std::make_shared<DataController>(Private{});
    self->init();
    return self;
}

void DataController::init() {
    client_ = TolvClient::create();
    client_->setTolvClientdelegate(shared_from_this());
    client_->setClient(shared_from_this());
    stopptzqueue_ = DispatchQueue::createSerial("stopptz");
}

DataController::~DataController() {
    std::shared_ptr<QvVideoDecoder> decoder;
    std::shared_ptr<QvVideoRecorder> recorder;
    std::shared_ptr<RunLoopTimer> timer;
    {
        std::lock_guard<std::mutex> g(mutex_);
        decoder = std::move(decoder_);
        recorder = std::move(recorder_);
        timer = std::move(datalengthTimer_);
    }
    if (timer) timer->invalidate();
    if (decoder) decoder->destroy();
    if (recorder) recorder->stop();
    if (client_) client_->stopConnect();
    // A pane that went away while its view was up: the view ends with it.
    if (countedDeviceId_ != -1) {
        if (auto device = QvDeviceManager::sharedInstance().deviceWithId(countedDeviceId_)) --device->connectNum;
    }
}

// ---------------------------------------------------------------- accessors

std::shared_ptr<renderDelegate> DataController::delegate() const {
    std::lock_guard<std::mutex> g(mutex_);
    return delegate_.lock();
}

void DataController::setDelegate(const std::shared_ptr<renderDelegate>& delegate) {
    std::lock_guard<std::mutex> g(mutex_);
    delegate_ = delegate;
}

bool DataController::hasDecoder() const {
    std::lock_guard<std::mutex> g(mutex_);
    return decoder_ != nullptr;
}

bool DataController::hasStatisticsTimer() const {
    std::lock_guard<std::mutex> g(mutex_);
    return datalengthTimer_ != nullptr;
}

std::shared_ptr<Device> DataController::currentDevice() const {
    int32_t id = deviceId_;
    if (id == -1) return nullptr;
    return QvDeviceManager::sharedInstance().deviceWithId(id);
}

std::string DataController::loginFailureKey(long code) {
    switch (code) {
        case errors::kLoginResult5: return "ERROR_OVERMAXUSER";
        case errors::kLoginResult2: return "LOGINERROR_MSG";
        case errors::kLoginResult24: return "NOVIDEO_STATUS";
        default: return "LOGINFAILED_STATUS";
    }
}

std::shared_ptr<queryRecordDelegate> DataController::queryRecorddelegate() const {
    std::lock_guard<std::mutex> g(mutex_);
    return queryRecordDelegate_.lock();
}
void DataController::setQueryRecordDelegate(const std::shared_ptr<queryRecordDelegate>& d) {
    std::lock_guard<std::mutex> g(mutex_);
    queryRecordDelegate_ = d;
}
std::shared_ptr<lanSearchDelegate> DataController::lanSearchdelegate() const {
    std::lock_guard<std::mutex> g(mutex_);
    return lanSearchDelegate_.lock();
}
void DataController::setLanSearchDelegate(const std::shared_ptr<lanSearchDelegate>& d) {
    std::lock_guard<std::mutex> g(mutex_);
    lanSearchDelegate_ = d;
}
std::shared_ptr<AllSearchDelegate> DataController::allSearchdelegate() const {
    std::lock_guard<std::mutex> g(mutex_);
    return allSearchDelegate_.lock();
}
void DataController::setAllSearchDelegate(const std::shared_ptr<AllSearchDelegate>& d) {
    std::lock_guard<std::mutex> g(mutex_);
    allSearchDelegate_ = d;
}
std::string DataController::strPlayFileName() const {
    std::lock_guard<std::mutex> g(mutex_);
    return strPlayFileName_;
}
void DataController::setStrPlayFileName(const std::string& name) {
    std::lock_guard<std::mutex> g(mutex_);
    strPlayFileName_ = name;
}
_OWSP_DateTime DataController::startTime() const {
    std::lock_guard<std::mutex> g(mutex_);
    return startTime_;
}

// ---------------------------------------------------------------- start and stop

void DataController::startLive(const std::shared_ptr<Device>& device, int channel) {
    restartPause_.reset();  // a new view: restarts start with a short pause again
    keepTryingPause_.reset();
    reached_ = false;
    keepTrying_ = false;
    announce_ = false;
    if (device) Log::info("DataController", "view of \"%s\" channel %d started", device->name.value().c_str(), channel + 1);
    startLiveIf(device, channel, std::nullopt);
}

void DataController::startLiveIf(const std::shared_ptr<Device>& device, int channel,
                                 std::optional<uint64_t> expected) {
    if (!device) return;
    uint64_t generation;
    {
        std::lock_guard<std::mutex> g(stateMutex_);
        if (expected && generation_ != *expected) return;  // stopped or started again meanwhile
        generation = ++generation_;
        playbackEnding_ = false;
        channel_ = channel;
        deviceId_ = device->deviceId;
        // One count per view this session holds, raised before the
        // (blocking) connect so a stop during the connect lowers it again;
        // restarts of the same view do not count again.
        if (countedDeviceId_ != device->deviceId) {
            if (countedDeviceId_ != -1) {
                if (auto old = QvDeviceManager::sharedInstance().deviceWithId(countedDeviceId_)) --old->connectNum;
            }
            ++device->connectNum;
            countedDeviceId_ = device->deviceId;
        }
    }
    connect(*device);
    bool stoppedMeanwhile;
    {
        std::lock_guard<std::mutex> g(stateMutex_);
        stoppedMeanwhile = generation_ != generation && !viewActive();
    }
    // The stop may have closed the client before this connect opened its
    // link: close what the connect left open.
    if (stoppedMeanwhile) {
        client_->stopConnect();
        return;
    }
    if (device->deviceConType != 1) scheduleStatisticsTimer(generation);
}

void DataController::connect(Device& device) {
    if (device.deviceConType == 1) {
        Log::debug("DataController", "\"%s\": connecting to %s:%d", device.name.value().c_str(),
                   device.address.value().c_str(), device.mediaPort.load());
        client_->startConnectJustForIP(device.address.value(), static_cast<uint16_t>(device.mediaPort.load()));
        return;
    }
    const Config& cfg = Config::shared();
    const std::string udid = device.udid.value();
    const std::string server1 = cfg.relayHosts[0];
    const int lookupPort = cfg.relayTcpPort;
    if (device.isStartPreCon) {
        client_->setDeviceUdid(udid);
        if (device.preConMode == 1) {
            client_->startConnectjustFoward(udid, device.serverIP.value());
        } else if (device.isp2p) {
            if (!present(device.preudpAddress) || device.preudpport <= 0)
                client_->startConnectShouldSearchLan(udid, true, server1, lookupPort);
            else if (device.preConMode == 6)
                client_->startConnectjustHole(udid, device.serverIP.value());
            else
                client_->startConnectPort(device.preudpAddress.value(),
                                          static_cast<uint16_t>(device.preudpport.load()), true, 0, 2);
        } else {
            if (!present(device.pretcpAddress) || device.pretcpport <= 0)
                client_->startConnectShouldSearchLan(udid, true, server1, lookupPort);
            else
                client_->startConnectPort(device.pretcpAddress.value(),
                                          static_cast<uint16_t>(device.pretcpport.load()), false,
                                          device.socketfd, device.preConMode);
        }
    } else if (present(device.queryAddress)) {
        client_->startConnectWithQuery(udid, device.queryAddress.value(),
                                       static_cast<uint16_t>(device.queryMediaPort.load()),
                                       static_cast<int>(device.queryMode.load()), device.serverIP.value());
    } else {
        client_->startConnectShouldSearchLan(udid, true, device.serverIP.value(), lookupPort);
    }
}

void DataController::scheduleStatisticsTimer(uint64_t generation) {
    std::weak_ptr<DataController> weak = weak_from_this();
    RunLoop::main().perform([weak, generation] {
        auto self = weak.lock();
        if (!self) return;
        std::shared_ptr<RunLoopTimer> old;
        std::shared_ptr<RunLoopTimer> timer;
        if (self->generation_ == generation && self->viewActive()) {
            timer = RunLoopTimer::scheduled(RunLoop::main(), Config::shared().scaled(kStatisticsInterval), true,
                                            [weak](RunLoopTimer&) {
                                                if (auto s = weak.lock()) s->caculateLength();
                                            });
        }
        {
            std::lock_guard<std::mutex> g(self->mutex_);
            old = std::move(self->datalengthTimer_);
            self->datalengthTimer_ = timer;
        }
        if (old) old->invalidate();
    });
}

void DataController::cancelStatisticsTimer() {
    auto drop = [](const std::weak_ptr<DataController>& weak) {
        auto self = weak.lock();
        if (!self) return;
        std::shared_ptr<RunLoopTimer> old;
        {
            std::lock_guard<std::mutex> g(self->mutex_);
            old = std::move(self->datalengthTimer_);
        }
        if (old) old->invalidate();
    };
    std::weak_ptr<DataController> weak = weak_from_this();
    if (RunLoop::isMainThread())
        drop(weak);
    else
        RunLoop::main().perform([weak, drop] { drop(weak); });
}

void DataController::stopLive() {
    restartPause_.reset();
    keepTryingPause_.reset();
    keepTrying_ = false;
    attemptPending_ = false;
    int32_t id;
    int channel;
    {
        std::lock_guard<std::mutex> g(stateMutex_);
        ++generation_;
        deviceId_ = -1;
        id = countedDeviceId_;
        countedDeviceId_ = -1;
        channel = channel_;
    }
    if (id != -1) Log::info("DataController", "view on channel %d stopped", channel + 1);
    cancelStatisticsTimer();
    if (id != -1) {
        if (auto device = QvDeviceManager::sharedInstance().deviceWithId(id)) --device->connectNum;
    }
    if (isStartTalk_) stopTalk();
    if (isStartAudio_) stopAudio();
    isStartTalk_ = false;
    isStartAudio_ = false;
    stopDecoding();
    client_->stopConnect();
}

void DataController::startDecoding() {
    std::shared_ptr<QvVideoDecoder> decoder;
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (!viewActive()) return;  // a late stream format after the stop
        decoder = makeDecoderLocked();
        if (!recorder_) recorder_ = std::make_shared<QvVideoRecorder>();
    }
    if (frameRate_ == 0) frameRate_ = 25;
    if (!decoder->setupDecoder(1000.0 / frameRate_, 0, QvApplicationPreference::sharedInstance().livePreference()))
        Log::warn("DataController", "the video decoder could not be set up");
    decoder->setBufferSize(60);
    decoder->setDropFrameIfNeeded(false);
    lastFrameIndex_ = 0;
}

std::shared_ptr<QvVideoDecoder> DataController::makeDecoderLocked() {
    if (!decoder_) decoder_ = QvVideoDecoder::create(std::weak_ptr<QvVideoDecoderDelegate>(shared_from_this()), nullptr);
    return decoder_;
}

void DataController::stopDecoding() {
    std::shared_ptr<QvVideoDecoder> decoder;
    std::shared_ptr<QvVideoRecorder> recorder;
    {
        std::lock_guard<std::mutex> g(mutex_);
        decoder = std::move(decoder_);
        recorder = std::move(recorder_);
    }
    if (decoder) {
        decoder->removeAllFrame();
        decoder->setDelegate({});
        decoder->destroy();
    }
    if (recorder) recorder->stop();
}

// ---------------------------------------------------------------- audio and talk

namespace {
void setCategory(bool talking) {
    AudioSession::shared().setCategory(talking ? AudioSession::Category::PlayAndRecord
                                               : AudioSession::Category::MediaPlayback);
}
}  // namespace

bool DataController::startAudio() {
    if (!isDeviceHasAudio_) return false;
    std::shared_ptr<AudioController> player;
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (!audioController_) audioController_ = AudioController::create();
        player = audioController_;
    }
    isStartAudio_ = true;
    setCategory(isStartTalk_);
    int format = audioFormat_, channels = audioChannel_, bits = audioBitPerChannel_, rate = audioSamplePerSecond_;
    std::weak_ptr<DataController> weak = weak_from_this();
    DispatchQueue::main()->async([weak, player, format, channels, bits, rate] {
        // Listening ended (stopAudio, stopLive) before the playback could
        // start: starting it now would leave it playing with nobody to stop it.
        auto self = weak.lock();
        if (!self || !self->isStartAudio_) return;
        if (!player->startAudioPlay(format, channels, bits, rate))
            Log::warn("DataController", "audio playback for format 0x%x did not start", format);
    });
    return true;
}

void DataController::stopAudio() {
    std::shared_ptr<AudioController> player;
    {
        std::lock_guard<std::mutex> g(mutex_);
        player = audioController_;
    }
    if (player) player->stopAudioPlay();
    isStartAudio_ = false;
}

void DataController::startTalk() {
    setCategory(true);
    isStartTalk_ = true;
    client_->sendMessage(OWSPMessageBuilder::buildTalkRequest(1, 0, client_->deviceConnection().get()));
}

void DataController::stopTalk() {
    setCategory(false);
    isStartTalk_ = false;
    std::shared_ptr<AudioController> talker;
    {
        std::lock_guard<std::mutex> g(mutex_);
        talker = talkController_;
    }
    if (talker) DispatchQueue::main()->async([talker] { talker->stopAudioRecord(); });
    client_->sendMessage(OWSPMessageBuilder::buildTalkRequest(2, 0, client_->deviceConnection().get()));
}

void DataController::deviceDidReceiveTalkResp(Device*, const _TLV_V_TalkResponse& response, int32_t) {
    if (!viewActive()) return;
    if (response.result != 1) {
        if (auto d = delegate()) d->renderTalkGetRsp(false);
        return;
    }
    if (!isStartTalk_) return;
    std::shared_ptr<AudioController> talker;
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (!talkController_)
            talkController_ = AudioController::create(std::weak_ptr<AudioControllerDelegate>(shared_from_this()));
        talker = talkController_;
    }
    unsigned format = response.audioFormat.waveFormat;
    std::weak_ptr<DataController> weak = weak_from_this();
    DispatchQueue::main()->async([weak, talker, format] {
        auto self = weak.lock();
        // Stopped (or the talk ended) before the capture could start.
        if (!self || !self->isStartTalk_ || !self->viewActive()) return;
        if (!talker->startAudioRecord(format))
            Log::warn("DataController", "talk capture for format 0x%x did not start", format);
    });
    if (auto d = delegate()) d->renderTalkGetRsp(true);
}

void DataController::onRecordBufferReady(const std::vector<uint8_t>& data) {
    if (!client_ || data.empty() || !isStartTalk_) return;
    auto packet = OWSPMessageBuilder::buildAudioData(0, data.data(), data.size(), client_->deviceConnection().get());
    if (!packet.empty()) client_->sendAudioMessage(packet);
}

void DataController::deviceDidReceiveAudioFrame(Device*, std::shared_ptr<MediaFrame> frame, int32_t) {
    if (!isStartAudio_ || !frame || frame->buffer.empty()) return;
    std::shared_ptr<AudioController> player;
    {
        std::lock_guard<std::mutex> g(mutex_);
        player = audioController_;
    }
    if (player) player->playAudioBuffer(frame->buffer);
}

// ---------------------------------------------------------------- pan/tilt/zoom

std::vector<uint8_t> DataController::buildPtz(int code) const {
    _TLV_V_PTZControlRequest request;
    request.reserve = 1;
    request.channel = static_cast<uint8_t>(channel_ + 1);
    request.cmdCode = static_cast<uint8_t>(code);
    request.size = _ControlArgData::kSize;
    _ControlArgData argument;
    switch (code) {
        case 5: case 6: case 7: case 8: case 13: case 14: argument.words[0] = 4; break;
        case 9: case 10: case 11: case 12: argument.words[2] = 4; break;
        default: break;
    }
    return OWSPMessageBuilder::buildPtzControlRequest(&request, &argument, nullptr);
}

void DataController::ptzControl(int code) {
    // Every command voids the stop pending for the move before it: a swipe
    // or a held button renews its move without stops in between.
    const uint64_t move = ++ptzGeneration_;
    client_->sendAudioMessage(buildPtz(code));
    if (code == 0) return;
    // The safety stop follows on a timer instead of a sleeping global-queue thread.
    std::weak_ptr<DataController> weak = weak_from_this();
    DispatchQueue::global()->after(Config::shared().scaled(std::chrono::seconds(1)), [weak, move] {
        auto self = weak.lock();
        if (self && self->ptzGeneration_ == move) self->stopptz();
    });
}

// ---------------------------------------------------------------- recording

void DataController::startRecord() {
    auto device = currentDevice();
    if (!device) return;
    auto folder = FileManager::sharedInstance().getRecordPath(device->name.value(),
                                                              static_cast<uint32_t>(channel_ + 1), true);
    if (!folder) return;
    std::string path = *folder + QvUtility::stringWithCurrentTime() + ".mp4";
    std::shared_ptr<QvVideoRecorder> recorder;
    {
        std::lock_guard<std::mutex> g(mutex_);
        recorder = recorder_;
    }
    int rate = frameRate_.load();  // read once: another queue may change it
    if (rate <= 0) rate = 25;
    if (!recorder) return;
    recorder->start(path, videoWidth_, videoHeight_, 1000 / rate);
    Log::info("DataController", "recording \"%s\" channel %d to %s", device->name.value().c_str(), channel_ + 1,
              path.c_str());
}

void DataController::stopRecord() {
    std::shared_ptr<QvVideoRecorder> recorder;
    {
        std::lock_guard<std::mutex> g(mutex_);
        recorder = recorder_;
    }
    if (!recorder) return;
    const std::string file = recorder->currentFileName();
    recorder->stop();
    if (!file.empty()) Log::info("DataController", "recording stopped: %s", file.c_str());
}

bool DataController::isRecording() const {
    std::lock_guard<std::mutex> g(mutex_);
    return recorder_ && recorder_->recording();
}

std::string DataController::recordFileName() const {
    std::lock_guard<std::mutex> g(mutex_);
    return recorder_ ? recorder_->currentFileName() : std::string();
}

// ---------------------------------------------------------------- pane messages

void DataController::fail(const std::string& key) {
    if (auto d = delegate()) d->renderFailed(Localization::string(key));
}

// ---------------------------------------------------------------- TolvClientDelegate

void DataController::sendLogin(const Device& device, int channel, uint8_t mode, uint8_t type) {
    PUConnectionPtr link = client_->deviceConnection();
    client_->sendMessage(OWSPMessageBuilder::buildLoginRequestExtend(device, channel, mode, type, link.get()));
}

void DataController::tolvClientDidConnect(const std::string&, const std::string&) {
    if (!viewActive()) {
        // A connect that finished after the view was stopped: let go of it.
        client_->stopConnect();
        return;
    }
    if (auto q = queryRecorddelegate()) {
        // A recording search: the screen asks for its login.
        searchFilesAnnounced_ = -1;
        q->queryRemoteRecorddidConnect(client_->deviceUdid(), deviceId_);
        return;
    }
    auto device = currentDevice();
    if (!device) return;
    if (channelConnectMode_ == 1) {
        client_->setChannelMode(1);
        sendLogin(*device, channel_, kPlaybackMode, kPlaybackType);
        return;
    }
    if (client_->getConnectMode() == TolvClient::kHoleUdt) device->socketfd = client_->getDeviceConFD();
    Log::info("DataController", "link to \"%s\" open: %s", device->name.value().c_str(), linkPathText(*client_).c_str());
    recontimes_ = 0;
    reached_ = true;
    restartPause_.linkUp();
    sendLogin(*device, channel_, kLiveMode, kLiveType);
}

void DataController::restartLater(int32_t deviceId, int channel) {
    uint64_t generation = generation_;
    std::weak_ptr<DataController> weak = weak_from_this();
    // Restarts are spaced by a growing pause: the budget of restarts then
    // covers a device that is away for a few seconds instead of being spent
    // within milliseconds. A stop or a new view meanwhile voids the restart.
    DispatchQueue::global()->after(restartPause_.next(), [weak, generation, deviceId, channel] {
        auto self = weak.lock();
        if (!self) return;
        auto device = QvDeviceManager::sharedInstance().deviceWithId(deviceId);
        if (!device) return;
        ++self->restartsMade_;
        Log::info("DataController", "view of \"%s\" channel %d restarting", device->name.value().c_str(), channel + 1);
        self->startLiveIf(device, channel, generation);
    });
}

void DataController::keepTrying(int32_t deviceId, int channel) {
    if (announce_.exchange(false)) {
        // Never reached since the user started the view: most likely a wrong
        // address or port, or a device still starting; else the link was lost.
        const char* key = reached_ ? "MSG_RECONNECTING" : "MSG_UNREACHABLE";
        if (auto d = delegate()) d->renderReconnecting(Localization::string(key));
    }
    uint64_t generation = generation_;
    std::weak_ptr<DataController> weak = weak_from_this();
    attemptPending_ = true;
    DispatchQueue::global()->after(keepTryingPause_.next(), [weak, generation, deviceId, channel] {
        auto self = weak.lock();
        if (!self) return;
        auto device = QvDeviceManager::sharedInstance().deviceWithId(deviceId);
        if (!device) return;
        if (self->generation_ != generation) return;  // stopped, restarted or tried at once meanwhile
        self->attemptPending_ = false;
        ++self->keepTryingAttempts_;
        Log::info("DataController", "view of \"%s\" channel %d: trying the device again", device->name.value().c_str(),
                  channel + 1);
        self->startLiveIf(device, channel, generation);
    });
}

void DataController::retryNow() {
    if (!viewActive() || !keepTrying_ || !attemptPending_.exchange(false)) return;
    auto device = currentDevice();
    if (!device) return;
    const uint64_t generation = generation_;
    const int channel = channel_;
    announce_ = true;  // the pane shows the text again should this attempt fail too
    std::weak_ptr<DataController> weak = weak_from_this();
    // The pending attempt is voided by the start (it moves the generation on).
    DispatchQueue::global()->async([weak, device, channel, generation] {
        auto self = weak.lock();
        if (!self) return;
        ++self->keepTryingAttempts_;
        Log::info("DataController", "view of \"%s\" channel %d: trying the device again", device->name.value().c_str(),
                  channel + 1);
        self->startLiveIf(device, channel, generation);
    });
}

void DataController::tolvClientDidDisConnect(const std::string&, const Error& error) {
    if (error.empty()) return;
    if (!viewActive()) return;  // stopped: the pane hears nothing more
    // The recording ended and the device closed the link: the end is
    // reported once the last pictures are shown.
    if (playbackEnding_) return;
    if (channelConnectMode_ == 1) {
        fail("RECORDEND");
        return;
    }
    const long code = error.code;
    Log::info("DataController", "link of the view on channel %d ended: %s", channel_ + 1, error.toString().c_str());
    if (code == errors::kCodeDeviceOffline) {
        fail("MSG_DVOFF");
    } else if (code == errors::kCodeNet || code == errors::kCodePing) {
        // Counted before the restart runs, so a restart that fails at once
        // cannot start another one without counting.
        int tries = recontimes_.load();
        if (keepTrying_) {
            // Still away: the next spaced attempt.
            keepTrying(deviceId_, channel_);
        } else if (tries < kMaxRestarts) {
            recontimes_ = tries + 1;
            restartLater(deviceId_, channel_);
        } else {
            // The quick restarts are spent: the device is away for longer
            // than a glitch (a reboot, a network down). The view stays and
            // keeps trying at a pace that does not flood the device.
            recontimes_ = 0;
            keepTryingPause_.begin();
            keepTrying_ = true;
            announce_ = true;
            keepTrying(deviceId_, channel_);
        }
    }
    if (auto q = queryRecorddelegate()) q->queryRemoteRecorddiddisConnect();
}

void DataController::tolvClientShouldRecon(const std::string&, const std::string& udid) {
    if (!viewActive()) return;
    auto device = QvDeviceManager::sharedInstance().deviceWithUID(udid);
    if (device) restartLater(device->deviceId, channel_);
}

int DataController::tolvClientDidRecData(const std::vector<uint8_t>& data, const std::string&,
                                         const std::string&) {
    averagePacketLength_ += static_cast<long>(data.size());
    std::lock_guard<std::mutex> g(parserMutex_);
    return messageParser_.parseMessage(data, nullptr, client_.get());
}

void DataController::tolvClientDidQueryStatus(const std::string& udid, bool isOnLine) {
    auto device = QvDeviceManager::sharedInstance().deviceWithUID(udid);
    if (!device) return;
    device->setOnLine(isOnLine);
    if (auto d = delegate()) d->reloadButton(false);
}

// ---------------------------------------------------------------- DeviceClientDelegate

void DataController::deviceDidLogin(Device*, int32_t) {
    if (!viewActive()) return;
    if (auto device = currentDevice())
        Log::info("DataController", "logged in to \"%s\", channel %d", device->name.value().c_str(), channel_ + 1);
    if (auto q = queryRecorddelegate()) {
        q->queryRemoteRecord();
        return;
    }
    if (channelConnectMode_ == 1) client_->sendMessage(buildPlayRequest());
    // A live view needs nothing more: the extended login starts the stream.
}

void DataController::deviceFailedLogin(Device*, const Error& error) {
    if (!viewActive()) return;
    Log::info("DataController", "login refused on channel %d: %s", channel_ + 1, error.toString().c_str());
    std::string text = Localization::string(loginFailureKey(error.code));
    stopLive();
    if (auto d = delegate()) d->renderFailed(text);
}

void DataController::deviceDidReceiveStreamFormat(Device*, const _TLV_V_StreamDataFormat& format, int32_t) {
    if (!viewActive()) return;
    videoWidth_ = format.videoFormat.width;
    videoHeight_ = format.videoFormat.height;
    frameRate_ = format.videoFormat.framerate;
    if (format.hasAudio()) {
        isDeviceHasAudio_ = true;
        audioFormat_ = format.audioFormat.waveFormat;
        audioChannel_ = format.audioFormat.channelNumber;
        audioBitPerChannel_ = format.audioFormat.bitsPerSample;
        audioSamplePerSecond_ = static_cast<int>(format.audioFormat.samplesPerSecond);
    }
    startDecoding();
    // The view works again: a later loss starts with quick restarts.
    keepTrying_ = false;
    keepTryingPause_.reset();
    auto d = delegate();
    auto device = currentDevice();
    if (!d || !device) return;
    std::string name = device->name.value();
    if (name.empty()) return;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, " ch%02d", channel_.load() + 1);
    d->renderShowText(name + suffix);
}

void DataController::deviceDidReceiveVideoFrame(Device*, std::shared_ptr<MediaFrame> frame, int32_t) {
    if (!frame) return;
    std::shared_ptr<QvVideoDecoder> decoder;
    std::shared_ptr<QvVideoRecorder> recorder;
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (!viewActive()) return;  // frames still in flight after a stop
        if (playbackEnding_) return;  // past the end of the recording
        decoder = makeDecoderLocked();
        recorder = recorder_;
    }
    ++averagePacketnum_;
    decoder->setDelegate(std::weak_ptr<QvVideoDecoderDelegate>(shared_from_this()));
    lastFrameIndex_ = frame->frameIndex;
    std::shared_ptr<const MediaFrame> shared = std::move(frame);
    decoder->decodeFrame(shared);
    if (recorder) recorder->addFrame(shared);
}

void DataController::deviceDidReceiveDeviceInfo(Device*, const _TLV_V_DeviceInfo& info, int32_t) {
    auto device = currentDevice();
    if (!device) return;
    if (device->channelNum == 0) {
        device->channelNum = info.channelNumber;
        if (auto d = delegate()) d->reloadButton(true);
        QvDeviceManager::sharedInstance().saveDeviceList();
    }
    std::vector<uint8_t> bytes = owsp::encode(info);
    device->populateDeviceInfo(bytes.data(), bytes.size(), client_->deviceConnection().get());
}

// ---------------------------------------------------------------- QvVideoDecoderDelegate

void DataController::decoderDidDecodeFrameToYUV(QvVideoDecoder&, const MediaFrame& frame,
                                                const std::vector<uint8_t>& yuv) {
    if (!viewActive()) return;
    if (auto d = delegate()) d->renderShow(yuv, frame.width, frame.height);
}

// ---------------------------------------------------------------- recordings on the device

void DataController::setTimeAndName(const _OWSP_DateTime& start, const std::string& fileName) {
    channelConnectMode_ = 1;
    channel_ = 1;
    std::lock_guard<std::mutex> g(mutex_);
    strPlayFileName_ = fileName;
    startTime_ = start;
}

std::vector<uint8_t> DataController::buildPlayRequest() const {
    _TLV_V_PlayRecordRequest request;
    {
        std::lock_guard<std::mutex> g(mutex_);
        request.fileName = strPlayFileName_;  // cut at 260 bytes
        request.startTime = startTime_;
    }
    request.flags = {1, 1, 1};
    return OWSPMessageBuilder::buildPlayRecordRequest(&request, client_->deviceConnection().get());
}

void DataController::queryRemoteRequest(const std::string&) {
    auto device = currentDevice();
    if (device) sendLogin(*device, 1, 3, 0);
}

void DataController::sendRemoteFileSearchRequest(const _TLV_V_SearchFileRequest& request) {
    client_->sendMessage(OWSPMessageBuilder::buildSearchRequest(&request, client_->deviceConnection().get()));
}

void DataController::deviceDidReceiveSearchResp(Device* device, const _TLV_V_SearchFileResponse& response,
                                                int32_t) {
    auto q = queryRecorddelegate();
    if (!q) return;
    searchFilesAnnounced_ = response.count;
    searchFilesReceived_ = 0;
    searchMoreAnswers_ = response.reserve == 1;
    q->deviceDidReceiveSearchResp(device, response, 0);
    endSearchIfComplete();
}

void DataController::deviceDidReceiveFileInfo(Device* device, const _TLV_V_FileInfo& info, int32_t tag) {
    auto q = queryRecorddelegate();
    if (!q) return;
    ++searchFilesReceived_;
    q->deviceDidReceiveFileInfo(device, info, tag);
    endSearchIfComplete();
}

void DataController::endSearchIfComplete() {
    const int announced = searchFilesAnnounced_;
    if (announced < 0 || searchFilesReceived_ < announced || searchMoreAnswers_) return;
    // Every announced file is in: the search is over. Its link would
    // otherwise sit idle until its read time-out, be reopened, log in again
    // and have the screen search again, over and over.
    searchFilesAnnounced_ = -1;
    if (viewActive()) stopLive();
}

void DataController::devicedidRcvRecordend(Device*) {
    if (!viewActive() || playbackEnding_.exchange(true)) return;
    // Nothing more is read; the frames waiting for their turn and the
    // pictures the codec holds back for reordering are still shown, then
    // the view stops and the pane hears of the end.
    uint64_t generation = generation_;
    std::weak_ptr<DataController> weak = weak_from_this();
    auto finish = [weak, generation] {
        auto self = weak.lock();
        if (!self || self->generation_ != generation || !self->viewActive()) return;
        std::string text = Localization::string("RECORDEND");
        self->stopLive();
        if (auto d = self->delegate()) d->renderFailed(text);
    };
    std::shared_ptr<QvVideoDecoder> decoder;
    {
        std::lock_guard<std::mutex> g(mutex_);
        decoder = decoder_;
    }
    if (decoder)
        decoder->finishStream(finish);
    else
        DispatchQueue::main()->async(finish);
}

// ---------------------------------------------------------------- LAN and all-device searches

namespace {

std::string idText(const RkDeviceId& id) {
    size_t n = 0;
    while (n < id.size() && id[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(id.data()), n);
}

constexpr int kLanReceives = 20;
constexpr int kLanReceiveMs = 1000;

std::atomic<int> gSearchesUnderWay{0};

// Counts a queued search from the moment it is queued until it has ended
// (held by the queued block, so also when the block is dropped unrun).
class SearchUnderWay {
public:
    SearchUnderWay() { gSearchesUnderWay.fetch_add(1); }
    ~SearchUnderWay() { gSearchesUnderWay.fetch_sub(1); }
    SearchUnderWay(const SearchUnderWay&) = delete;
    SearchUnderWay& operator=(const SearchUnderWay&) = delete;
};

}  // namespace

int DataController::searchesUnderWay() { return gSearchesUnderWay.load(); }

void DataController::startLanSearch() {
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (!lansearchqueue_) lansearchqueue_ = DispatchQueue::createSerial("lansearch");
    }
    // The search holds its controller from the moment it is queued, so a
    // caller that lets go of the controller right away still gets its search
    // (and its delegate calls).
    lansearchqueue_->async([self = shared_from_this(), counted = std::make_shared<SearchUnderWay>()] {
        self->localSearch();
    });
}

int DataController::localSearch() {
    QvDeviceManager& manager = QvDeviceManager::sharedInstance();
    for (const auto& d : manager.devices()) d->isInIner = false;
    const Config& cfg = Config::shared();
    int fd = udpSocketCreateBind(cfg.lanLocalPort);
    if (fd <= 0) fd = udpSocketCreateBind(static_cast<uint16_t>(std::rand() % 64512 + 1023));
    if (fd <= 0) return 0;
    std::vector<uint8_t> query = RkMessageBuilder::buildMsgForSearchDeviceRequest(RkDeviceId{});
    udpSocketSendTo(fd, cfg.lanGroup, cfg.lanPort, query.data(), query.size());
    std::vector<uint8_t> buf(1024);
    for (int i = 0; i < kLanReceives; ++i) {
        std::string from;
        uint16_t fromPort = 0;
        int n = udpSocketRecvFrom(fd, from, fromPort, buf.data(), buf.size(), cfg.scaledMs(kLanReceiveMs));
        if (n < 4) continue;
        ByteReader r(std::span<const uint8_t>(buf.data(), static_cast<size_t>(n)));
        uint16_t type = 0;
        if (!r.u16le(type) || type != rk::kSearchDeviceResponse) continue;
        RkDeviceId id{};
        uint16_t udtPort = 0, tcpPort = 0;
        std::string addr;
        if (!RkMessageParser::parseSearchDeviceResponse(std::span<const uint8_t>(buf.data() + 4, size_t(n) - 4), id,
                                                        udtPort, addr, tcpPort))
            continue;
        std::string uid = idText(id);
        // An answer without an id names no device (and must not match the
        // devices reached by address, which have none).
        if (uid.empty()) continue;
        std::shared_ptr<Device> device = manager.deviceWithUID(uid);
        if (!device) device = std::make_shared<Device>();  // not added to the list
        device->udid = uid;
        device->address = addr;
        device->mediaPort = fromPort;
        device->connType = 0;
        device->setOnLine(true);
        device->isInIner = true;
        if (udtPort != 0 && udtPort != 0xFFFF) {
            device->mediaPort = udtPort;
            device->isUDTConnect = true;
        } else {
            device->isUDTConnect = false;
        }
        std::string ext = QvApplicationPreference::sharedInstance().ipstr().value_or("(null)");
        device->inHourseIpStr = ext + "," + addr + "," + std::to_string(device->mediaPort.load()) + "," +
                                (device->isUDTConnect ? "1" : "0");
        if (auto l = lanSearchdelegate()) l->newDeviceDidFoundInLan(device, 0);
    }
    socketClose(fd);
    return 0;
}

std::vector<uint8_t> DataController::buildNetSearch(const std::string& udid) {
    // The UID's own bytes: the answer's id is matched against the UID text.
    return RkMessageBuilder::buildMsgForOpenVSConnectionRequest(RkMessageBuilder::deviceIdBytes(udid));
}

namespace {

// The devices a single-server query asks for.
std::vector<std::shared_ptr<Device>> unfoundDevices(bool searchAll) {
    std::vector<std::shared_ptr<Device>> chosen;
    for (const auto& d : QvDeviceManager::sharedInstance().devices()) {
        if (d->deviceConType == 1) continue;
        if (searchAll ? d->isInIner.load() : d->isOnLine.load()) continue;
        chosen.push_back(d);
    }
    return chosen;
}

}  // namespace

void DataController::netSearch2(const std::string& host, bool searchAll) {
    auto server = TxConManager::sharedInstance().createConTolvSer(host, Config::shared().relayTcpPort,
                                                                  shared_from_this());
    if (!server) return;
    for (const auto& d : unfoundDevices(searchAll)) server->sendMessage(buildNetSearch(d->udid.value()));
}

void DataController::netSearch(const std::string& host, bool searchAll) {
    const Config& cfg = Config::shared();
    std::string addr = resolveFirstIPv4(host);
    if (addr.empty()) {
        Log::warn("DataController", "IP有错");
        return;
    }
    for (int attempt = 0; attempt < 4; ++attempt) {
        // Sends never raise the broken-pipe signal (MSG_NOSIGNAL).
        int fd = tcpSocketConnectTimeout(addr, cfg.relayTcpPort, cfg.scaledMs(4000));
        if (fd <= 0) {
            Log::warn("DataController", "服务器连接不上111");
            continue;
        }
        for (const auto& d : unfoundDevices(searchAll)) {
            Log::debug("DataController", "serverfd===%d", fd);
            std::vector<uint8_t> query = buildNetSearch(d->udid.value());
            int sent = tcpSocketSendTimeout(fd, query.data(), query.size(), cfg.scaledMs(5000));
            if (sent != static_cast<int>(query.size()))
                sent = tcpSocketSendTimeout(fd, query.data(), query.size(), cfg.scaledMs(3000));
            if (sent != static_cast<int>(query.size())) continue;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::vector<uint8_t> buf(1024);
            int n = tcpSocketRecvTimeout(fd, buf.data(), buf.size(), cfg.scaledMs(3000));
            if (n < static_cast<int>(rk::kHeaderSize)) continue;
            if ((buf[0] | buf[1] << 8) != rk::kOpenVSConnectionResponse) continue;
            int result = 0, mode = 0;
            std::string address;
            uint16_t port = 0;
            uint32_t connectionId = 0;
            RkDeviceId id{};
            if (!RkMessageParser::parseOpenVSConnResponse(
                    std::span<const uint8_t>(buf.data() + rk::kHeaderSize, size_t(n) - rk::kHeaderSize), result,
                    address, port, connectionId, id, mode))
                continue;
            if (result == 0) {
                d->setOnLine(true);
                d->queryAddress = address;
                d->queryMediaPort = port;
                d->queryMode = static_cast<uint32_t>(mode);
                d->serverIP = host;
            } else {
                d->setOnLine(false);
            }
        }
        socketClose(fd);
        return;
    }
}

void DataController::searchAllDevice() {
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (!allsearchqueue_) allsearchqueue_ = DispatchQueue::createSerial("searchDevice");
    }
    std::weak_ptr<DataController> weak = weak_from_this();
    allsearchqueue_->async([weak, counted = std::make_shared<SearchUnderWay>()] {
        auto self = weak.lock();
        if (!self) return;
        self->localSearch();
        if (NETStatusObj::sharedInstance().isHaveNet()) {
            const Config& cfg = Config::shared();
            std::array<std::shared_ptr<ConnetTolvServer>, 4> servers;
            for (size_t i = 0; i < servers.size(); ++i)
                servers[i] = TxConManager::sharedInstance().createConTolvSer(cfg.relayHosts[i], cfg.relayTcpPort,
                                                                             self);
            for (const auto& d : QvDeviceManager::sharedInstance().devices()) {
                if (d->isInIner) continue;
                std::string uid = d->udid.value();
                if (uid.empty()) {
                    // A device reached by address tests itself (online probe).
                    if (!d->address.value().empty()) d->goforgetisOnline();
                    continue;
                }
                std::vector<uint8_t> query = buildNetSearch(uid);
                for (auto& server : servers)
                    if (server) server->sendMessage(query);
            }
        }
        if (auto a = self->allSearchdelegate()) a->AllSearchdidEnd();
    });
}

void DataController::connectTolvServerDidReadData(ConnetTolvServer& server, const std::vector<uint8_t>& data,
                                                  long) {
    const Config& cfg = Config::shared();
    const std::string host = server.tolvServerIP();
    int index = 3;  // any other host counts as server 4
    // Servers 1, 2 and 3 are tried in that order: the first host that
    // matches names the server.
    for (int i = 0; i < 3; ++i) {
        if (host == cfg.relayHosts[static_cast<size_t>(i)]) {
            index = i;
            break;
        }
    }
    std::vector<std::vector<uint8_t>> answers;
    {
        std::lock_guard<std::mutex> g(mutex_);
        bufferdata_.insert(bufferdata_.end(), data.begin(), data.end());
        // Each message is cut by its own length field.
        while (bufferdata_.size() >= 4) {
            size_t length = size_t(bufferdata_[2]) | size_t(bufferdata_[3]) << 8;
            if (bufferdata_.size() < length + 4) break;
            uint16_t type = static_cast<uint16_t>(bufferdata_[0] | bufferdata_[1] << 8);
            if (type != rk::kOpenVSConnectionResponse) {
                bufferdata_.clear();
                break;
            }
            answers.emplace_back(bufferdata_.begin() + 4, bufferdata_.begin() + 4 + static_cast<long>(length));
            bufferdata_.erase(bufferdata_.begin(), bufferdata_.begin() + 4 + static_cast<long>(length));
        }
    }
    QvDeviceManager& manager = QvDeviceManager::sharedInstance();
    for (const auto& payload : answers) {
        int result = 0, mode = 0;
        std::string address;
        uint16_t port = 0;
        uint32_t connectionId = 0;
        RkDeviceId id{};
        // An answer too short to read changes no device but still counts as
        // a reply of this search.
        bool read = RkMessageParser::parseOpenVSConnResponse(payload, result, address, port, connectionId, id, mode);
        // An answer without an id changes no device either.
        const std::string uid = read ? idText(id) : std::string();
        if (auto device = uid.empty() ? nullptr : manager.deviceWithUID(uid)) {
            if (result != 0) {
                if (index == 0) device->isInHub1 = false;
                else if (index == 1) device->isInhub2 = false;
                else device->isInDeg = false;
            } else {
                device->queryAddress = address;
                device->queryMediaPort = port;
                device->queryMode = static_cast<uint32_t>(mode);
                device->serverIP = host;
                device->serverPort = server.tolvserverport();
                if (index == 0) device->isInHub1 = true;
                else if (index == 1) device->isInhub2 = true;
                else if (index == 2) device->isInDeg = true;
                else device->isInEng = true;
            }
            device->setOnLine(device->isInHub1 || device->isInhub2 || device->isInDeg);
        }
        int counted = ++searchtimes_;
        if (counted == static_cast<int>(manager.devices().size()) - 1) {
            searchtimes_ = 0;
            if (auto a = allSearchdelegate()) a->AllSearchdidEnd();
        }
    }
}

}  // namespace lumora
