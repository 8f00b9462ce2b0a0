#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/decoder/QvVideoDecoder.h"
#include "base/decoder/QvVideoDecoderDelegate.h"
#include "base/decoder/QvVideoRecorder.h"
#include "base/link/DeviceClientDelegate.h"
#include "base/link/OWSPMessageParser.h"
#include "base/link/RecordingQuery.h"
#include "base/link/TolvClient.h"
#include "base/link/TolvClientDelegate.h"
#include "base/link/ViewRestarts.h"
#include "base/link/AllSearchDelegate.h"
#include "base/link/ConnectTolvServerDelegate.h"
#include "base/link/lanSearchDelegate.h"
#include "base/link/queryRecordDelegate.h"
#include "base/link/renderDelegate.h"
#include "base/utilities/AudioController.h"
#include "base/utilities/AudioControllerDelegate.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/RunLoop.h"

namespace lumora {

class Device;
class DeviceSearch;
class SessionAudio;

// The session behind one video pane: starts and stops the live view of one
// channel of one device. It picks how the peer-to-peer client reaches the
// device, logs in once the link stands, feeds the received video frames to
// the decoder (and the recorder), hands pictures, captions and failure texts
// to the pane, and restarts the view after a lost link (codes 1003 and 1005,
// at most 5 times in a row, quickly). When those restarts are spent the view
// is not given up: the pane is told that the session keeps trying, and it
// does so with spaced, jittered attempts (KeepTryingPause) until the device
// is back or the view is stopped.
//
// The session keeps the device only by its deviceId and looks it up in the
// device list whenever it needs it.
//
// Parts of the work live in classes of their own that the session owns and
// forwards to: ConnectChoice (the path to the device), ViewRestarts (the
// automatic restarts and the keeping on trying), SessionAudio (listening and
// talking), RecordingQuery (the recording search and the recording to play)
// and DeviceSearch (the LAN search and the all-device status poll, on the
// queues "lansearch" and "searchDevice").
//
// Threads: startLive() blocks while the client connects (call it from the
// global queue); stopLive() may be called from any queue. Link callbacks run
// on the link's queues; pictures reach the pane on the main queue, every
// other pane callback on the queue that noticed the event. Automatic
// restarts run on the global queue, never on a link's queue.
//
// Lifetime: always held by a shared_ptr (create()); the client, the decoder
// and queued work hold it weakly. The pane is held weakly too. After
// stopLive() returns the pane hears nothing more from this view, except the
// failure text of a refused login, which is sent right after the stop.
class DataController : public TolvClientDelegate,
                       public DeviceClientDelegate,
                       public QvVideoDecoderDelegate,
                       public AudioControllerDelegate,
                       public ConnectTolvServerDelegate,
                       public std::enable_shared_from_this<DataController> {
public:
    // Restarts in a row after drops with code 1003 or 1005.
    static constexpr int kMaxRestarts = ViewRestarts::kMaxRestarts;

    static std::shared_ptr<DataController> create();
    ~DataController() override;
    DataController(const DataController&) = delete;
    DataController& operator=(const DataController&) = delete;

    // ---- the pane's operations
    // startLive:channel: (channel 0-based)
    void startLive(const std::shared_ptr<Device>& device, int channel);
    void stopLive();
    void startDecoding();
    void stopDecoding();
    void caculateLength() {}

    // ---- listening, talking (run by a SessionAudio), pan/tilt/zoom, recording
    // False (and nothing changes) when the stream carries no audio.
    bool startAudio();
    void stopAudio();
    // Asks the device to talk; capture starts once it grants.
    void startTalk();
    void stopTalk();
    // A pan/tilt/zoom command (0 stops). A moving command is stopped again
    // 1 s after the last move (a newer move takes over the pending stop), so
    // a pane that lost its finger's release does not leave the camera
    // moving; a pane whose button stays held renews the move.
    void ptzControl(int code);
    void stopptz() { ptzControl(0); }
    // Records the live video into a new MP4 file in the device's record
    // folder; nothing is recorded before the stream format arrived.
    void startRecord();
    void stopRecord();
    void snapshot() {}
    bool isStartAudio() const;
    bool isStartTalk() const;
    bool isRecording() const;
    std::string recordFileName() const;
    // The request ptzControl sends for a code (36 bytes).
    std::vector<uint8_t> buildPtz(int code) const;

    // ---- searches, status polling (run by a DeviceSearch), recordings kept on the device
    // Runs localSearch on the queue "lansearch"; the queued search holds
    // this controller until it has run.
    void startLanSearch();
    // The LAN search (blocks up to 20 receive time-outs); answers 0.
    int localSearch();
    // The LAN search, then status queries to the four relay servers, on the
    // queue "searchDevice" (not run once this controller is gone).
    void searchAllDevice();
    // Searches (startLanSearch, searchAllDevice) queued or running in the
    // process and not yet ended. They read the configuration to the end, so
    // whoever changes it (a test's fixture) waits for none to be left.
    static int searchesUnderWay();
    static std::vector<uint8_t> buildNetSearch(const std::string& udid);
    // Status queries to one relay server for the devices reached by udid
    // that are not found yet (in the LAN when searchAll, else online):
    // netSearch2 over the kept connection (answers arrive as relay replies),
    // netSearch over a connection of its own, waiting for each answer.
    void netSearch2(const std::string& host, bool searchAll);
    void netSearch(const std::string& host, bool searchAll);
    // setTimeAndName:fileName: prepares the playback of a recording.
    void setTimeAndName(const _OWSP_DateTime& start, const std::string& fileName);
    void queryRemoteRequest(const std::string& unused = {});
    void sendRemoteFileSearchRequest(const _TLV_V_SearchFileRequest& request);
    // The play request for the prepared recording.
    std::vector<uint8_t> buildPlayRequest() const;
    int searchtimes() const;

    // ---- accessors
    std::shared_ptr<queryRecordDelegate> queryRecorddelegate() const;
    void setQueryRecordDelegate(const std::shared_ptr<queryRecordDelegate>& d);
    std::shared_ptr<lanSearchDelegate> lanSearchdelegate() const;
    void setLanSearchDelegate(const std::shared_ptr<lanSearchDelegate>& d);
    std::shared_ptr<AllSearchDelegate> allSearchdelegate() const;
    void setAllSearchDelegate(const std::shared_ptr<AllSearchDelegate>& d);
    std::string strPlayFileName() const;
    void setStrPlayFileName(const std::string& name);
    _OWSP_DateTime startTime() const;
    std::shared_ptr<renderDelegate> delegate() const;
    void setDelegate(const std::shared_ptr<renderDelegate>& delegate);
    int channelConnectMode() const { return channelConnectMode_; }
    void setChannelConnectMode(int mode) { channelConnectMode_ = mode; }
    int channel() const { return channel_; }
    int deviceId() const { return deviceId_; }
    int recontimes() const { return restarts_.recontimes(); }
    // The quick restarts are spent and the view keeps trying (spaced).
    bool isKeepTrying() const { return restarts_.isKeepTrying(); }
    // Attempts made while keeping on trying, since the session was made.
    int keepTryingAttempts() const { return restarts_.keepTryingAttempts(); }
    // The user asks for an attempt now (a tap on the pane): a view that
    // waits for its next attempt makes it at once, on the global queue.
    void retryNow();
    // Automatic restarts begun since the session was made.
    int restartsMade() const { return restarts_.restartsMade(); }
    int frameRate() const { return frameRate_; }
    int videoWidth() const { return videoWidth_; }
    int videoHeight() const { return videoHeight_; }
    bool isDeviceHasAudio() const;
    int audioFormat() const;
    const std::shared_ptr<TolvClient>& client() const { return client_; }
    bool hasDecoder() const;
    // The running decoder's jump door in frames; -1 without a decoder.
    int decoderJumpDoor() const;
    bool hasStatisticsTimer() const;

    // ---- TolvClientDelegate
    void tolvClientDidConnect(const std::string& udid, const std::string& timestr) override;
    void tolvClientDidDisConnect(const std::string& timestr, const Error& error) override;
    void tolvClientShouldRecon(const std::string& timestr, const std::string& udid) override;
    int tolvClientDidRecData(const std::vector<uint8_t>& data, const std::string& udid,
                             const std::string& timestr) override;
    void tolvClientDidRecDataLength(int, const std::string&, const std::string&) override {}
    void tolvClientDidQueryStatus(const std::string& udid, bool isOnLine) override;

    // ---- DeviceClientDelegate
    void deviceDidLogin(Device* device, int32_t tag) override;
    void deviceFailedLogin(Device* device, const Error& error) override;
    void deviceDidReceiveStreamFormat(Device* device, const _TLV_V_StreamDataFormat& format, int32_t tag) override;
    void deviceDidReceiveDeviceInfo(Device* device, const _TLV_V_DeviceInfo& info, int32_t tag) override;
    void devicedidRcvRecordend(Device* device) override;
    void deviceDidReceiveSearchResp(Device* device, const _TLV_V_SearchFileResponse& response,
                                    int32_t tag) override;
    void deviceDidReceiveFileInfo(Device* device, const _TLV_V_FileInfo& info, int32_t tag) override;
    void deviceDidReceiveTalkResp(Device* device, const _TLV_V_TalkResponse& response, int32_t tag) override;
    bool implementsDidReceiveVideoFrame() const override { return true; }
    bool implementsDidReceiveAudioFrame() const override { return true; }
    void deviceDidReceiveAudioFrame(Device* device, std::shared_ptr<MediaFrame> frame, int32_t tag) override;
    void deviceDidReceiveVideoFrame(Device* device, std::shared_ptr<MediaFrame> frame, int32_t tag) override;

    // ---- QvVideoDecoderDelegate (main queue)
    bool implementsDecoderDidDecodeFrameToYUV() const override { return true; }
    void decoderDidDecodeFrameToYUV(QvVideoDecoder& decoder, const MediaFrame& frame,
                                    const std::vector<uint8_t>& yuv) override;

    // ---- ConnectTolvServerDelegate (relay answers to status queries, read by the DeviceSearch)
    void connectTolvServerDidConnectToHost(ConnetTolvServer&, const std::string&, uint16_t) override {}
    void connectTolvServerDidReadData(ConnetTolvServer& server, const std::vector<uint8_t>& data,
                                      long tag) override;
    void connectTolvServerWithError(ConnetTolvServer&, const Error&) override {}

    // ---- AudioControllerDelegate (talk capture, main thread; handed to the SessionAudio)
    bool implementsOnRecordBufferReady() const override { return true; }
    void onRecordBufferReady(const std::vector<uint8_t>& data) override;

    // The text of a login failure code (Localization key by code).
    static std::string loginFailureKey(long code);

private:
    struct Private {};

public:
    explicit DataController(Private);

private:
    void init();
    std::shared_ptr<Device> currentDevice() const;
    // The view is up (between startLive and stopLive).
    bool viewActive() const { return deviceId_.load() != -1; }
    // startLive unless the generation moved on from `expected` (restarts).
    void startLiveIf(const std::shared_ptr<Device>& device, int channel, std::optional<uint64_t> expected);
    void sendLogin(const Device& device, int channel, uint8_t mode, uint8_t type);
    void scheduleStatisticsTimer(uint64_t generation);
    void cancelStatisticsTimer();
    void fail(const std::string& key);
    std::shared_ptr<QvVideoDecoder> makeDecoderLocked();

    std::shared_ptr<TolvClient> client_;
    std::mutex parserMutex_;  // one link's bytes at a time
    OWSPMessageParser messageParser_;

    std::atomic<int> channel_{0};
    std::atomic<int> frameRate_{0};
    std::atomic<int> videoWidth_{0};
    std::atomic<int> videoHeight_{0};
    std::atomic<int64_t> lastFrameIndex_{0};
    std::atomic<int> averagePacketnum_{0};
    std::atomic<long> averagePacketLength_{0};
    std::atomic<int> deviceId_{-1};
    std::atomic<int> channelConnectMode_{0};
    // Advanced by every start and stop: work queued for an older view
    // (restarts, the timer set-up) ends quietly.
    std::atomic<uint64_t> generation_{0};
    std::mutex stateMutex_;  // generation_, deviceId_ and connectNum change together
    int32_t countedDeviceId_ = -1;  // the device whose connectNum this session raised
    ViewRestarts restarts_;  // the automatic restarts and the keeping on trying
    std::atomic<uint64_t> ptzGeneration_{0};  // the move whose stop is pending
    RecordingQuery recordings_;  // the recording search and the recording to play
    // The recording search is over: its link ends.
    void endSearch();
    // The end-of-recording record came: nothing more is read, and the
    // pictures still on their way are shown before the view ends.
    std::atomic<bool> playbackEnding_{false};
    DispatchQueuePtr stopptzqueue_;
    std::shared_ptr<DeviceSearch> search_;  // the LAN and all-device searches
    std::shared_ptr<SessionAudio> audio_;   // listening and talking

    mutable std::mutex mutex_;  // the fields below
    std::weak_ptr<renderDelegate> delegate_;  // Not owned.
    std::shared_ptr<QvVideoDecoder> decoder_;
    std::shared_ptr<QvVideoRecorder> recorder_;
    std::shared_ptr<RunLoopTimer> datalengthTimer_;  // main run loop only
};

}  // namespace lumora
