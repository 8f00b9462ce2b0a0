#pragma once

#include <cstdint>
#include <memory>

namespace lumora {

class Device;

// What the tablet application delegate needs of the tablet home screen
// (ViewControllerHD), which is its window's root for the life of the
// process and owns the tablet live screen. Main thread only.
class TabletRootScreen {
public:
    virtual ~TabletRootScreen() = default;

    // Marks the live page as shown and presents the live screen.
    virtual void skipToLiveView() = 0;
    // Opens the live page when it is not shown, then restarts the first live
    // tile on that device and channel; nothing for a null device.
    virtual void playDevice(const std::shared_ptr<Device>& device, int32_t channel) = 0;
    // Stops every live tile.
    virtual void liveViewStopAll() = 0;
    // Restarts the device list's blinking and its status poll.
    virtual void startShan() = 0;
    // Resumes the saved live tiles (only while the live page is shown and
    // auto play is on).
    virtual void startAutoPlay() = 0;
};

}  // namespace lumora
