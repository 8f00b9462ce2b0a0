#pragma once

#include <cstdint>
#include <memory>

#include "base/decoder/MediaFrame.h"
#include "base/link/OWSPRecords.h"
#include "platform/Error.h"

namespace lumora {

class Device;
class PUConnection;

// Receives what the device message parser reads from a device: one callback
// per reply type, complete video and audio frames, and the login outcome.
// Every callback is optional and does nothing by default. All of them are
// made synchronously on the queue that feeds the parser, in record order.
//
// `device` is whatever the parser's caller passed (may be null); `tag` is the
// tag of the link the bytes came from. Records are only valid during the
// call; frames are the receiver's own copies.
class DeviceClientDelegate {
public:
    virtual ~DeviceClientDelegate() = default;

    // ---- Link events (nothing in the system sends these) -------------------
    virtual void deviceReconnectUDT(Device* /*device*/, PUConnection* /*connection*/) {}
    virtual void deviceFailedUDT(Device* /*device*/, PUConnection* /*connection*/) {}
    virtual void deviceRecieveDaataLength(Device* /*device*/, int32_t /*length*/) {}
    virtual void deviceDidConnect(Device* /*device*/, PUConnection* /*connection*/) {}
    virtual void deviceDidDisconnect(Device* /*device*/, const Error& /*error*/) {}
    virtual void deviceFailedAuthentication(Device* /*device*/) {}
    virtual void deviceDidGetAddressAndPort(Device* /*device*/) {}

    // ---- Login and device description -----------------------------------------
    virtual void deviceDidLogin(Device* /*device*/, int32_t /*tag*/) {}
    // Error domain "DVRClientErrorDomain", codes 2004-2012 (ErrorCodes.h).
    virtual void deviceFailedLogin(Device* /*device*/, const Error& /*error*/) {}
    virtual void deviceDidReceiveVersionInfo(Device*, const _TLV_V_VersionInfo&, int32_t /*tag*/) {}
    virtual void deviceDidReceiveStreamFormat(Device*, const _TLV_V_StreamDataFormat&, int32_t /*tag*/) {}
    virtual void deviceDidReceiveDeviceInfo(Device*, const _TLV_V_DeviceInfo&, int32_t /*tag*/) {}
    virtual void deviceDidReceiveSwitchChannelResp(Device*, const _TLV_V_SwitchChannelResponse&, int32_t /*tag*/) {}
    virtual void deviceDidReceiveTalkResp(Device*, const _TLV_V_TalkResponse&, int32_t /*tag*/) {}

    // ---- Media -------------------------------------------------------------------
    // The parser copies, filters and hands on frames only to a receiver that
    // answers true here (copying a frame nobody takes would be wasted work).
    virtual bool implementsDidReceiveVideoFrame() const { return false; }
    virtual bool implementsDidReceiveAudioFrame() const { return false; }
    virtual void deviceDidReceiveVideoFrame(Device*, std::shared_ptr<MediaFrame> /*frame*/, int32_t /*tag*/) {}
    virtual void deviceDidReceiveAudioFrame(Device*, std::shared_ptr<MediaFrame> /*frame*/, int32_t /*tag*/) {}

    // ---- Recordings on the device --------------------------------------------------
    virtual void devicedidRcvRecordend(Device* /*device*/) {}
    virtual void deviceDidReceiveSearchResp(Device*, const _TLV_V_SearchFileResponse&, int32_t /*tag*/) {}
    virtual void deviceDidReceiveFileInfo(Device*, const _TLV_V_FileInfo&, int32_t /*tag*/) {}

    // ---- Configuration ------------------------------------------------------------
    virtual void deviceDidReceiveCameraColorConfig(Device*, const _TLV_V_CameraColor&, int32_t /*tag*/) {}
    virtual void deviceDidReceiveVideoEncodeConfig(Device*, const _TLV_V_VideoEncode&, int32_t /*tag*/) {}
    virtual void deviceDidReceiveAudioEncodeConfig(Device*, const _TLV_V_AudioEncode&, int32_t /*tag*/) {}
    virtual void deviceDidReceiveEmailConfig(Device*, const _TLV_V_Email&, int32_t /*tag*/) {}
    virtual void deviceDidReceiveNetworkConfig(Device*, const _TLV_V_Network&, int32_t /*tag*/) {}
    virtual void deviceDidReceiveHideDetectConfig(Device*, const _TLV_V_HideDetect&, int32_t /*tag*/) {}
    virtual void deviceDidReceiveLossDetectConfig(Device*, const _TLV_V_LossDetect&, int32_t /*tag*/) {}
    virtual void deviceDidReceiveMotionDetectConfig(Device*, const _TLV_V_MotionDetect&, int32_t /*tag*/) {}
    virtual void deviceDidReceiveRecordConfig(Device*, const _TLV_V_Record&, int32_t /*tag*/) {}
    virtual void deviceDidReceiveSensorAlarmConfig(Device*, const _TLV_V_Sensor&, int32_t /*tag*/) {}
    virtual void deviceDidReceiveSystemConfig(Device*, const _TLV_V_System&, int32_t /*tag*/) {}
    virtual void deviceDidSetConfig(Device*, int32_t /*config*/, int32_t /*tag*/) {}
    virtual void deviceFailedSetConfig(Device*, int32_t /*config*/, const Error& /*error*/, int32_t /*tag*/) {}
};

}  // namespace lumora
