#pragma once

#include <cstdint>
#include <memory>

namespace lumora {

class DeviceClientDelegate;
class MediaFrame;

// What the device message parser needs from the link whose bytes it reads:
// where to send its callbacks, the link's assembly frame, and the tag it
// passes back with every callback. The device connection and the
// peer-to-peer client provide it. Used only on the queue that feeds the
// parser.
class OWSPLink {
public:
    virtual ~OWSPLink() = default;
    // The receiver of the callbacks for this link's data; empty: nothing is
    // reported. Held by the parser only while it handles one chunk.
    virtual std::shared_ptr<DeviceClientDelegate> client() const = 0;
    // The link's assembly frame, refilled by the parser record by record.
    virtual MediaFrame& frame() = 0;
    virtual int32_t tag() const = 0;
};

}  // namespace lumora
