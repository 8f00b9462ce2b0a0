#pragma once

namespace lumora {

class UIView;
struct CGRect;

// What the tablet device panel asks of the live screen (the phone device
// list has its own, different delegate). Main thread.
class DeviceMgmtControllerHDDelegate {
public:
    virtual ~DeviceMgmtControllerHDDelegate() = default;
    // Starts (selected) or stops one device channel in a tile.
    virtual void ChannelViewControllerHDClickChannel(void* /*sender*/, int /*channel*/, int /*deviceId*/,
                                                     bool /*selected*/) {}
    // A busy tile shows that device channel.
    virtual bool queryDeviceChannelBusyStatus(void* /*sender*/, int /*deviceId*/, int /*channel*/) { return false; }
    virtual void pickerHide() {}
    virtual void confirmPickView() {}
    virtual void searchAllDeviceState() {}
    virtual void showLanSearchController() {}
    // The panel's home button: leave the live screen.
    virtual void returnToHomePage(void* /*sender*/) {}
};

}  // namespace lumora
