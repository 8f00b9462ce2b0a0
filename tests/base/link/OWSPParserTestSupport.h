#pragma once

// A link and a delegate that write down everything the parser reports, and
// a receive buffer that applies the consumer contract the way the device
// connection does.

#include <memory>
#include <string>
#include <vector>

#include "base/link/DeviceClientDelegate.h"
#include "base/link/OWSPMessageParser.h"

namespace lumora::testing {

class RecordingClient : public DeviceClientDelegate {
public:
    std::vector<std::string> events;
    std::vector<std::shared_ptr<MediaFrame>> videoFrames;
    std::vector<std::shared_ptr<MediaFrame>> audioFrames;
    std::vector<Error> loginErrors;
    _TLV_V_DeviceInfo lastDeviceInfo;
    _TLV_V_FileInfo lastFileInfo;
    _TLV_V_StreamDataFormat lastStreamFormat;
    _TLV_V_TalkResponse lastTalk;
    bool wantsFrames = true;

    static std::string t(int32_t tag) { return " @" + std::to_string(tag); }

    void deviceDidLogin(Device*, int32_t tag) override { events.push_back("login" + t(tag)); }
    void deviceFailedLogin(Device*, const Error& e) override {
        loginErrors.push_back(e);
        events.push_back("loginFailed " + e.domain + " " + std::to_string(e.code));
    }
    void deviceDidReceiveVersionInfo(Device*, const _TLV_V_VersionInfo& v, int32_t tag) override {
        events.push_back("version " + std::to_string(v.versionMajor) + "." + std::to_string(v.versionMinor) + t(tag));
    }
    void deviceDidReceiveStreamFormat(Device*, const _TLV_V_StreamDataFormat& f, int32_t tag) override {
        lastStreamFormat = f;
        events.push_back("streamFormat" + t(tag));
    }
    void deviceDidReceiveDeviceInfo(Device*, const _TLV_V_DeviceInfo& i, int32_t tag) override {
        lastDeviceInfo = i;
        events.push_back("deviceInfo" + t(tag));
    }
    void deviceDidReceiveSwitchChannelResp(Device*, const _TLV_V_SwitchChannelResponse& r, int32_t tag) override {
        events.push_back("switchChannel " + std::to_string(r.result) + t(tag));
    }
    void deviceDidReceiveTalkResp(Device*, const _TLV_V_TalkResponse& r, int32_t tag) override {
        lastTalk = r;
        events.push_back("talk " + std::to_string(r.result) + t(tag));
    }
    bool implementsDidReceiveVideoFrame() const override { return wantsFrames; }
    bool implementsDidReceiveAudioFrame() const override { return wantsFrames; }
    void deviceDidReceiveVideoFrame(Device*, std::shared_ptr<MediaFrame> f, int32_t tag) override {
        events.push_back("video #" + std::to_string(f->frameIndex) + (f->keyFrame ? " key " : " ") +
                         std::to_string(f->buffer.size()) + " ch" + std::to_string(f->channel) + " t" +
                         std::to_string(f->timestamp) + t(tag));
        videoFrames.push_back(std::move(f));
    }
    void deviceDidReceiveAudioFrame(Device*, std::shared_ptr<MediaFrame> f, int32_t tag) override {
        events.push_back("audio " + std::to_string(f->buffer.size()) + " ch" + std::to_string(f->channel) + " t" +
                         std::to_string(f->timestamp) + t(tag));
        audioFrames.push_back(std::move(f));
    }
    void devicedidRcvRecordend(Device*) override { events.push_back("recordEnd"); }
    void deviceDidReceiveSearchResp(Device*, const _TLV_V_SearchFileResponse& r, int32_t tag) override {
        events.push_back("search " + std::to_string(r.result) + "/" + std::to_string(r.count) + t(tag));
    }
    void deviceDidReceiveFileInfo(Device*, const _TLV_V_FileInfo& f, int32_t tag) override {
        lastFileInfo = f;
        events.push_back("fileInfo " + f.fileName.str() + t(tag));
    }
    void deviceDidReceiveCameraColorConfig(Device*, const _TLV_V_CameraColor& c, int32_t tag) override {
        events.push_back("cameraColor ch" + std::to_string(c.channel) + t(tag));
    }
    void deviceDidReceiveVideoEncodeConfig(Device*, const _TLV_V_VideoEncode& c, int32_t tag) override {
        events.push_back("videoEncode ch" + std::to_string(c.channel) + t(tag));
    }
    void deviceDidReceiveAudioEncodeConfig(Device*, const _TLV_V_AudioEncode& c, int32_t tag) override {
        events.push_back("audioEncode ch" + std::to_string(c.channel) + t(tag));
    }
    void deviceDidReceiveEmailConfig(Device*, const _TLV_V_Email& c, int32_t tag) override {
        events.push_back("email port" + std::to_string(c.port) + t(tag));
    }
    void deviceDidReceiveNetworkConfig(Device*, const _TLV_V_Network& c, int32_t tag) override {
        events.push_back("network " + c.name.str() + t(tag));
    }
    void deviceDidReceiveHideDetectConfig(Device*, const _TLV_V_HideDetect& c, int32_t tag) override {
        events.push_back("hideDetect ch" + std::to_string(c.channel) + t(tag));
    }
    void deviceDidReceiveLossDetectConfig(Device*, const _TLV_V_LossDetect& c, int32_t tag) override {
        events.push_back("lossDetect ch" + std::to_string(c.channel) + t(tag));
    }
    void deviceDidReceiveMotionDetectConfig(Device*, const _TLV_V_MotionDetect& c, int32_t tag) override {
        events.push_back("motionDetect ch" + std::to_string(c.channel) + " " + std::to_string(c.area[31][35]) + t(tag));
    }
    void deviceDidReceiveRecordConfig(Device*, const _TLV_V_Record& c, int32_t tag) override {
        events.push_back("record ch" + std::to_string(c.channel) + t(tag));
    }
    void deviceDidReceiveSensorAlarmConfig(Device*, const _TLV_V_Sensor& c, int32_t tag) override {
        events.push_back("sensor ch" + std::to_string(c.channel) + t(tag));
    }
    void deviceDidReceiveSystemConfig(Device*, const _TLV_V_System& c, int32_t tag) override {
        events.push_back("system " + c.name.str() + t(tag));
    }
    void deviceDidSetConfig(Device*, int32_t config, int32_t tag) override {
        events.push_back("setConfig " + std::to_string(config) + t(tag));
    }
    void deviceFailedSetConfig(Device*, int32_t config, const Error& e, int32_t tag) override {
        events.push_back("setConfigFailed " + std::to_string(config) + " " + std::to_string(e.code) + t(tag));
    }
};

class TestLink : public OWSPLink {
public:
    std::shared_ptr<RecordingClient> recorder = std::make_shared<RecordingClient>();
    MediaFrame assembly;
    int32_t linkTag = 7;
    bool hasClient = true;

    std::shared_ptr<DeviceClientDelegate> client() const override {
        return hasClient ? recorder : nullptr;
    }
    MediaFrame& frame() override { return assembly; }
    int32_t tag() const override { return linkTag; }
};

// A receive buffer as the device connection keeps it: every chunk is
// appended and the whole buffer offered to the parser; more than 0 removes
// that many bytes, less than 0 clears the buffer, 0 waits.
struct Receiver {
    OWSPMessageParser parser;
    TestLink link;
    std::vector<uint8_t> buffer;
    std::vector<int32_t> results;

    void feed(std::span<const uint8_t> chunk) {
        buffer.insert(buffer.end(), chunk.begin(), chunk.end());
        int32_t used = parser.parseMessage(buffer, nullptr, &link);
        results.push_back(used);
        if (used > 0)
            buffer.erase(buffer.begin(), buffer.begin() + used);
        else if (used < 0)
            buffer.clear();
    }
    void feedInChunks(std::span<const uint8_t> all, size_t chunk) {
        for (size_t at = 0; at < all.size(); at += chunk) feed(all.subspan(at, std::min(chunk, all.size() - at)));
    }
    const std::vector<std::string>& events() const { return link.recorder->events; }
};

}  // namespace lumora::testing
