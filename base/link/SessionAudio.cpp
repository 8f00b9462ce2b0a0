#include "base/link/SessionAudio.h"

#include "base/link/OWSPMessageBuilder.h"
#include "base/link/TolvClient.h"
#include "platform/audio/AudioSession.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/Log.h"

namespace lumora {

namespace {
void setCategory(bool talking) {
    AudioSession::shared().setCategory(talking ? AudioSession::Category::PlayAndRecord
                                               : AudioSession::Category::MediaPlayback);
}
}  // namespace

std::shared_ptr<SessionAudio> SessionAudio::create(std::shared_ptr<TolvClient> client) {
    return std::make_shared<SessionAudio>(Private{}, std::move(client));
}

void SessionAudio::setStreamFormat(const _OWSP_AudioDataFormat& format) {
    isDeviceHasAudio_ = true;
    audioFormat_ = format.waveFormat;
    audioChannel_ = format.channelNumber;
    audioBitPerChannel_ = format.bitsPerSample;
    audioSamplePerSecond_ = static_cast<int>(format.samplesPerSecond);
}

bool SessionAudio::startAudio() {
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
    std::weak_ptr<SessionAudio> weak = weak_from_this();
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

void SessionAudio::stopAudio() {
    std::shared_ptr<AudioController> player;
    {
        std::lock_guard<std::mutex> g(mutex_);
        player = audioController_;
    }
    if (player) player->stopAudioPlay();
    isStartAudio_ = false;
}

void SessionAudio::startTalk() {
    setCategory(true);
    isStartTalk_ = true;
    client_->sendMessage(OWSPMessageBuilder::buildTalkRequest(1, 0, client_->deviceConnection().get()));
}

void SessionAudio::stopTalk() {
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

void SessionAudio::stopAll() {
    if (isStartTalk_) stopTalk();
    if (isStartAudio_) stopAudio();
    isStartTalk_ = false;
    isStartAudio_ = false;
}

void SessionAudio::startTalkCapture(unsigned waveFormat, std::function<bool()> stillWanted) {
    std::shared_ptr<AudioController> talker;
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (!talkController_)
            talkController_ = AudioController::create(std::weak_ptr<AudioControllerDelegate>(shared_from_this()));
        talker = talkController_;
    }
    unsigned format = waveFormat;
    std::weak_ptr<SessionAudio> weak = weak_from_this();
    DispatchQueue::main()->async([weak, talker, format, stillWanted = std::move(stillWanted)] {
        auto self = weak.lock();
        // Stopped (or the talk ended) before the capture could start.
        if (!self || !self->isStartTalk_ || !stillWanted()) return;
        if (!talker->startAudioRecord(format))
            Log::warn("DataController", "talk capture for format 0x%x did not start", format);
    });
}

void SessionAudio::onRecordBufferReady(const std::vector<uint8_t>& data) {
    if (!client_ || data.empty() || !isStartTalk_) return;
    auto packet = OWSPMessageBuilder::buildAudioData(0, data.data(), data.size(), client_->deviceConnection().get());
    if (!packet.empty()) client_->sendAudioMessage(packet);
}

void SessionAudio::playFrame(const std::vector<uint8_t>& buffer) {
    if (!isStartAudio_ || buffer.empty()) return;
    std::shared_ptr<AudioController> player;
    {
        std::lock_guard<std::mutex> g(mutex_);
        player = audioController_;
    }
    if (player) player->playAudioBuffer(buffer);
}

}  // namespace lumora
