#pragma once

#include <cstdint>
#include <memory>

namespace lumora {

class Device;

// What the phone application delegate needs of the phone live-view screen
// (LiveViewController), which is its window's root for the life of the
// process. Main thread only.
class PhoneRootScreen {
public:
    virtual ~PhoneRootScreen() = default;

    // Restarts the first live pane on that device and channel and selects
    // the device's button; nothing for a null device.
    virtual void playDevice(const std::shared_ptr<Device>& device, int32_t channel) = 0;
    // Stops the live view of every pane.
    virtual void stopAll() = 0;
    // Starts the online poll of all devices on the screen's own queue;
    // returns at once.
    virtual void searchAllDeviceState() = 0;
    // Resumes the panes of the live-view history when auto play is on
    // (panes already showing their channel go on as they are).
    virtual void startAutoPlay() {}
};

}  // namespace lumora
