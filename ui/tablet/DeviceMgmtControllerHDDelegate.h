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
    // Leaves the live screen (the panel's home button).
    virtual void returnToHomePage(void* /*sender*/) {}
    // Presents the add-mode picker from the rectangle in the view, its start row selected.
    virtual void showPopover(void* /*sender*/, UIView* /*inView*/, const CGRect& /*rect*/, int /*startIndex*/) {}
    virtual void popUpCameraForScanningTDCode(void* /*sender*/) {}
    virtual void popUpDeviceSearchingView(void* /*sender*/) {}
};

}  // namespace lumora
