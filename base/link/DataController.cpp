#include "base/link/DataController.h"

#include <cstdio>

#include "app/core/ConnectModes.h"
#include "app/core/Device.h"
#include "app/core/FileManager.h"
#include "app/core/QvUtility.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "base/link/ConnectChoice.h"
#include "base/link/DeviceSearch.h"
#include "base/link/OWSPMessageBuilder.h"
#include "base/link/OWSPWire.h"
#include "base/link/SessionAudio.h"
#include "platform/Config.h"
#include "platform/ErrorCodes.h"
#include "platform/text/Localization.h"
#include "platform/Log.h"

namespace lumora {

namespace {

// Extended-login modes and types.
constexpr uint8_t kLiveMode = 1;
constexpr uint8_t kLiveType = 2;
constexpr uint8_t kPlaybackMode = 2;
constexpr uint8_t kPlaybackType = 0;

constexpr auto kStatisticsInterval = std::chrono::seconds(3);

}  // namespace

DataController::DataController(Private)
    : restarts_(ViewRestarts::Handlers{
          [this] { return generation_.load(); },
          [this](const std::shared_ptr<Device>& device, int channel, uint64_t expected) {
              startLiveIf(device, channel, expected);
          },
          [this](const char* key) {
              if (auto d = delegate()) d->renderReconnecting(Localization::string(key));
          }}) {}

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
    search_ = DeviceSearch::create();
    audio_ = SessionAudio::create(client_);
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

int DataController::decoderJumpDoor() const {
    std::lock_guard<std::mutex> g(mutex_);
    return decoder_ ? decoder_->jumpDoor() : -1;
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
    return recordings_.queryRecorddelegate();
}
void DataController::setQueryRecordDelegate(const std::shared_ptr<queryRecordDelegate>& d) {
    recordings_.setQueryRecordDelegate(d);
}
std::shared_ptr<lanSearchDelegate> DataController::lanSearchdelegate() const { return search_->lanSearchdelegate(); }
void DataController::setLanSearchDelegate(const std::shared_ptr<lanSearchDelegate>& d) {
    search_->setLanSearchDelegate(d);
}
std::shared_ptr<AllSearchDelegate> DataController::allSearchdelegate() const { return search_->allSearchdelegate(); }
void DataController::setAllSearchDelegate(const std::shared_ptr<AllSearchDelegate>& d) {
    search_->setAllSearchDelegate(d);
}
std::string DataController::strPlayFileName() const { return recordings_.strPlayFileName(); }
void DataController::setStrPlayFileName(const std::string& name) { recordings_.setStrPlayFileName(name); }
_OWSP_DateTime DataController::startTime() const { return recordings_.startTime(); }

// ---------------------------------------------------------------- start and stop

void DataController::startLive(const std::shared_ptr<Device>& device, int channel) {
    restarts_.viewStarted();
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
    ConnectChoice::connect(*client_, *device);
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
    if (device->deviceConType != devicecon::kByAddress) scheduleStatisticsTimer(generation);
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
    restarts_.viewStopped();
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
    audio_->stopAll();
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

// ---------------------------------------------------------------- audio and talk (SessionAudio)

bool DataController::startAudio() { return audio_->startAudio(); }

void DataController::stopAudio() { audio_->stopAudio(); }

void DataController::startTalk() { audio_->startTalk(); }

void DataController::stopTalk() { audio_->stopTalk(); }

bool DataController::isStartAudio() const { return audio_->isStartAudio(); }

bool DataController::isStartTalk() const { return audio_->isStartTalk(); }

bool DataController::isDeviceHasAudio() const { return audio_->isDeviceHasAudio(); }

int DataController::audioFormat() const { return audio_->audioFormat(); }

void DataController::deviceDidReceiveTalkResp(Device*, const _TLV_V_TalkResponse& response, int32_t) {
    if (!viewActive()) return;
    if (response.result != 1) {
        if (auto d = delegate()) d->renderTalkGetRsp(false);
        return;
    }
    if (!audio_->isStartTalk()) return;
    std::weak_ptr<DataController> weak = weak_from_this();
    audio_->startTalkCapture(response.audioFormat.waveFormat, [weak] {
        auto self = weak.lock();
        return self && self->viewActive();
    });
    if (auto d = delegate()) d->renderTalkGetRsp(true);
}

void DataController::onRecordBufferReady(const std::vector<uint8_t>& data) { audio_->onRecordBufferReady(data); }

void DataController::deviceDidReceiveAudioFrame(Device*, std::shared_ptr<MediaFrame> frame, int32_t) {
    if (frame) audio_->playFrame(frame->buffer);
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
        recordings_.searchStarted();
        q->queryRemoteRecorddidConnect(client_->deviceUdid(), deviceId_);
        return;
    }
    auto device = currentDevice();
    if (!device) return;
    if (channelConnectMode_ == channelmode::kPlayback) {
        client_->setChannelMode(1);
        sendLogin(*device, channel_, kPlaybackMode, kPlaybackType);
        return;
    }
    if (client_->getConnectMode() == TolvClient::kHoleUdt) device->socketfd = client_->getDeviceConFD();
    Log::info("DataController", "link to \"%s\" open: %s", device->name.value().c_str(),
              ConnectChoice::linkPathText(*client_).c_str());
    restarts_.linkUp();
    sendLogin(*device, channel_, kLiveMode, kLiveType);
}

void DataController::retryNow() {
    if (!viewActive() || !restarts_.takePendingAttempt()) return;
    auto device = currentDevice();
    if (!device) return;
    const uint64_t generation = generation_;
    const int channel = channel_;
    restarts_.attemptNow(weak_from_this(), device, channel, generation);
}

void DataController::tolvClientDidDisConnect(const std::string&, const Error& error) {
    if (error.empty()) return;
    if (!viewActive()) return;  // stopped: the pane hears nothing more
    // The recording ended and the device closed the link: the end is
    // reported once the last pictures are shown.
    if (playbackEnding_) return;
    if (channelConnectMode_ == channelmode::kPlayback) {
        fail("RECORDEND");
        return;
    }
    const long code = error.code;
    Log::info("DataController", "link of the view on channel %d ended: %s", channel_ + 1, error.toString().c_str());
    if (code == errors::kCodeDeviceOffline) {
        fail("MSG_DVOFF");
    } else if (code == errors::kCodeNet || code == errors::kCodePing) {
        restarts_.linkLost(weak_from_this(), deviceId_, channel_);
    }
    if (auto q = queryRecorddelegate()) q->queryRemoteRecorddiddisConnect();
}

void DataController::tolvClientShouldRecon(const std::string&, const std::string& udid) {
    if (!viewActive()) return;
    auto device = QvDeviceManager::sharedInstance().deviceWithUID(udid);
    if (device) restarts_.restartLater(weak_from_this(), device->deviceId, channel_);
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
    if (channelConnectMode_ == channelmode::kPlayback) client_->sendMessage(buildPlayRequest());
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
    if (format.hasAudio()) audio_->setStreamFormat(format.audioFormat);
    startDecoding();
    // The view works again: a later loss starts with quick restarts.
    restarts_.streamUp();
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

// ---------------------------------------------------------------- recordings on the device (RecordingQuery)

void DataController::setTimeAndName(const _OWSP_DateTime& start, const std::string& fileName) {
    channelConnectMode_ = channelmode::kPlayback;
    channel_ = 1;
    recordings_.setTimeAndName(start, fileName);
}

std::vector<uint8_t> DataController::buildPlayRequest() const {
    return recordings_.buildPlayRequest(client_->deviceConnection().get());
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
    if (recordings_.searchAnswered(device, response)) endSearch();
}

void DataController::deviceDidReceiveFileInfo(Device* device, const _TLV_V_FileInfo& info, int32_t tag) {
    if (recordings_.fileReceived(device, info, tag)) endSearch();
}

void DataController::endSearch() {
    // Every announced file is in: the search is over. Its link would
    // otherwise sit idle until its read time-out, be reopened, log in again
    // and have the screen search again, over and over.
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

// ---------------------------------------------------------------- LAN and all-device searches (DeviceSearch)

int DataController::searchesUnderWay() { return DeviceSearch::searchesUnderWay(); }

// The search holds this controller from the moment it is queued.
void DataController::startLanSearch() { search_->startLanSearch(shared_from_this()); }

int DataController::localSearch() { return search_->localSearch(); }

std::vector<uint8_t> DataController::buildNetSearch(const std::string& udid) {
    return DeviceSearch::buildNetSearch(udid);
}

void DataController::netSearch2(const std::string& host, bool searchAll) { search_->netSearch2(host, searchAll); }

void DataController::netSearch(const std::string& host, bool searchAll) { search_->netSearch(host, searchAll); }

void DataController::searchAllDevice() { search_->searchAllDevice(weak_from_this()); }

int DataController::searchtimes() const { return search_->searchtimes(); }

void DataController::connectTolvServerDidReadData(ConnetTolvServer& server, const std::vector<uint8_t>& data,
                                                  long tag) {
    search_->connectTolvServerDidReadData(server, data, tag);
}

}  // namespace lumora
