#pragma once

#include <cstdint>
#include <memory>

namespace lumora {

class Device;

// The LAN search screen: one call per device answering the search (a listed
// device, or a new one that is not in the list). Called on the "lansearch"
// queue.
class lanSearchDelegate {
public:
    virtual ~lanSearchDelegate() = default;
    virtual void newDeviceDidFoundInLan(const std::shared_ptr<Device>& device, uint16_t type) = 0;
};

}  // namespace lumora
