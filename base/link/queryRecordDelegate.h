#pragma once

#include <cstdint>
#include <string>

#include "base/link/OWSPRecords.h"

namespace lumora {

class Device;

// The recording-search screen as its session reports to it. Callbacks come
// from the device link's queues; the screen moves to the main queue itself.
class queryRecordDelegate {
public:
    virtual ~queryRecordDelegate() = default;
    // Logged in for a search: the screen may send its search request.
    virtual void queryRemoteRecord() = 0;
    // The link stands (before any login).
    virtual void queryRemoteRecorddidConnect(const std::string& udid, int deviceId) = 0;
    virtual void queryRemoteRecorddiddisConnect() = 0;
    virtual void deviceDidReceiveSearchResp(Device* device, const _TLV_V_SearchFileResponse& response,
                                            int32_t tag) = 0;
    virtual void deviceDidReceiveFileInfo(Device* device, const _TLV_V_FileInfo& info, int32_t tag) = 0;
};

}  // namespace lumora
