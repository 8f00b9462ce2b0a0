#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/link/OWSPRecords.h"

namespace lumora {

class Device;
class PUConnection;

// Turns each request the client sends a device into one complete packet of
// the device message protocol, ready to be sent whole. Holds no state and
// sends nothing.
//
// Packet: big-endian length of what follows it, little-endian sequence
// number, then records (little-endian type, little-endian body length,
// body). Records are written field by field at their wire offsets (see
// OWSPRecords.h), never by copying a C++ struct.
//
// Sequence numbers: a request built with a connection takes the
// connection's next sequence number (the first packet on a connection
// carries 1); without a connection it carries 0. The search, play-recording
// and audio-data requests always carry 2 and the talk request 1, and the
// extended login with mode and type takes a process-wide counter (first 0):
// these never advance the connection's counter.
//
// An empty result means nothing was built (a record reference was absent,
// or no valid audio bytes were given); nothing must be sent for it.
// Thread-safe: every operation may run on any queue.
class OWSPMessageBuilder {
public:
    using Packet = std::vector<uint8_t>;

    // ---- Heartbeat and login --------------------------------------------

    // 16 bytes; the device argument is not used.
    static Packet buildHeartbeatRequest(const Device* device, PUConnection* connection);
    // Version 3.7 and the plain login record: 76 bytes.
    static Packet buildLoginRequest(const Device& device, int32_t channel, PUConnection* connection);
    // The first 8 bytes of buildLoginRequest's packet.
    static Packet buildOwspHeaderOfLoginRequest(const Device& device, int32_t channel,
                                                PUConnection* connection);
    // buildLoginRequest's packet without its first 8 bytes (68 bytes).
    static Packet buildOwspBodyOfLoginRequest(const Device& device, int32_t channel);
    // Version 5.0 and the extended login for a live view of `channel` with
    // the device's stream and encryption types: 88 bytes.
    static Packet buildLoginRequestExtend(const Device& device, int32_t channel, PUConnection* connection);
    // Version 5.0 and the extended login for a session `mode` and `type`
    // (live view 1/2, playback 2/0, recording search 3/0); numbered from the
    // process-wide counter, whatever the connection: 88 bytes.
    static Packet buildLoginRequestExtend(const Device& device, int32_t channel, uint8_t mode, uint8_t type,
                                          PUConnection* connection);

    // ---- Pan/tilt/zoom, talk and audio ------------------------------------

    // The request's channel and command code as given, with or without the
    // 16-byte argument: 36 or 20 bytes.
    static Packet buildPtzControlRequest(const _TLV_V_PTZControlRequest* request,
                                         const _ControlArgData* argument, PUConnection* connection);
    // action 1 starts, 2 stops talking: 20 bytes, sequence number 1.
    static Packet buildTalkRequest(uint8_t action, uint32_t deviceId, PUConnection* connection);
    // Audio information (first byte as given, time 200) and `length` audio
    // bytes: 24 + length bytes, sequence number 2. Refuses (empty result)
    // no bytes and more than owsp::kMaxAudioDataLength bytes.
    static Packet buildAudioData(uint8_t firstByte, const uint8_t* data, size_t length,
                                 PUConnection* connection);

    // ---- Recordings on the device -----------------------------------------

    static Packet buildSearchRequest(const _TLV_V_SearchFileRequest* request, PUConnection* connection);
    static Packet buildPlayRecordRequest(const _TLV_V_PlayRecordRequest* request, PUConnection* connection);
    static Packet buildDownloadRequest(std::string_view fileName, uint32_t offset, PUConnection* connection);

    // ---- Configuration ------------------------------------------------------
    // A set request carries the record as given; a get request carries the
    // same record, zero but for the channel byte (all zero without one).

    static Packet buildCameraColorConfigSetRequest(const _TLV_V_CameraColor* config, PUConnection* connection);
    static Packet buildCameraColorConfigGetRequest(int32_t channel, PUConnection* connection);
    static Packet buildMotionDetectConfigSetRequest(const _TLV_V_MotionDetect* config, PUConnection* connection);
    static Packet buildMotionDetectConfigGetRequest(int32_t channel, PUConnection* connection);
    static Packet buildHideDetectConfigSetRequest(const _TLV_V_HideDetect* config, PUConnection* connection);
    static Packet buildHideDetectConfigGetRequest(int32_t channel, PUConnection* connection);
    static Packet buildLossDetectConfigSetRequest(const _TLV_V_LossDetect* config, PUConnection* connection);
    static Packet buildLossDetectConfigGetRequest(int32_t channel, PUConnection* connection);
    static Packet buildSensorConfigSetRequest(const _TLV_V_Sensor* config, PUConnection* connection);
    static Packet buildSensorConfigGetRequest(int32_t channel, PUConnection* connection);
    static Packet buildRecordConfigSetRequest(const _TLV_V_Record* config, PUConnection* connection);
    static Packet buildRecordConfigGetRequest(int32_t channel, PUConnection* connection);
    static Packet buildVideoEncodeConfigSetRequest(const _TLV_V_VideoEncode* config, PUConnection* connection);
    static Packet buildVideoEncodeConfigGetRequest(int32_t channel, PUConnection* connection);
    static Packet buildAudioEncodeConfigSetRequest(const _TLV_V_AudioEncode* config, PUConnection* connection);
    static Packet buildAudioEncodeConfigGetRequest(int32_t channel, PUConnection* connection);
    static Packet buildNetworkConfigSetRequest(const _TLV_V_Network* config, PUConnection* connection);
    static Packet buildNetworkConfigGetRequest(PUConnection* connection);
    static Packet buildEmailConfigSetRequest(const _TLV_V_Email* config, PUConnection* connection);
    static Packet buildEmailConfigGetRequest(PUConnection* connection);
    static Packet buildSystemConfigSetRequest(const _TLV_V_System* config, PUConnection* connection);
    static Packet buildSystemConfigGetRequest(PUConnection* connection);
    static Packet buildAlarmConfigSetRequest(const _TLV_V_AlarmControl* config, PUConnection* connection);

    // The connection's next sequence number, 0 without a connection.
    static uint32_t sequenceNumberFor(PUConnection* connection);
    // The value the process-wide extended-login counter hands out next.
    static uint32_t peekLoginSequence();
};

}  // namespace lumora
