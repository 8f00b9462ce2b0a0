#pragma once

#include <memory>
#include <string>

#include "base/link/OWSPRecords.h"
#include "ui/kit/UIGeometry.h"

namespace lumora {

class Device;
class UIView;

// What the recording player needs of a video pane: play one recording kept
// on a device, stop, and sit in a display area. The player makes its pane
// through PlayRemoteRecordController::paneFactory.
class RecordPane {
public:
    virtual ~RecordPane() = default;
    // The pane's view (owned by whatever it is added to).
    virtual UIView* view() = 0;
    virtual void updateChannelViewFrame(const CGRect& frame) = 0;
    // startPlayRecordFile:fileName:startTime: never blocks the caller.
    virtual void startPlayRecordFile(const std::shared_ptr<Device>& device, const std::string& fileName,
                                     const _OWSP_DateTime& startTime) = 0;
    virtual void stopLive() = 0;
    // The last failure or end text shown ("" while playing).
    virtual std::string statusText() const = 0;
    // Pictures shown since the playback began.
    virtual long picturesShown() const = 0;
};

}  // namespace lumora
