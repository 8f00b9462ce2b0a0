#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "app/core/Device.h"
#include "base/link/AllSearchDelegate.h"
#include "ui/common/ZButton.h"
#include "ui/kit/UIImage.h"
#include "ui/kit/UIScrollView.h"
#include "ui/kit/WeakView.h"

namespace lumora {

class RunLoopTimer;

// The phone live screen's strip of device buttons ("devicesScrollView"): one
// 43 x 43 ZButton per stored device, in list order 50 pt apart, tagged with
// the device's id and named "deviceButton1", "deviceButton2"... Its image
// tells whether the device is online and whether it has several channels;
// for a while after start-up every image blinks between its online and
// offline look. At most one button is selected: the device whose channels
// the channel strip shows.
//
// A tap (on the lift) goes to onTap; the screen decides what it selects.
// The strip is a view of the screen's tree and goes with it; its timers end
// with it. Main thread only.
class DeviceStripView : public UIScrollView {
public:
    explicit DeviceStripView(const CGRect& frame = CGRectZero);
    ~DeviceStripView() override;

    // Called with the button lifted; unset, a tap does nothing.
    std::function<void(UIButton*)> onTap;

    // Brings the strip in line with the device list. A device keeps its
    // button (so a touch in progress on it is not lost when a search ends);
    // buttons of devices that left are removed and new devices get new
    // buttons. Every device reports its pre-connection to `listener`.
    void reload(const std::shared_ptr<preConDelegate>& listener);

    const std::vector<WeakView<ZButton>>& buttons() const { return buttons_; }
    ZButton* buttonWithTag(int tag) const;
    ZButton* selectedButton() const { return selected_.data(); }
    // The selected device's id, -1 with none.
    int selectedDeviceId() const { return selected_ ? selected_->tag() : -1; }
    // The one selected button (null: none); the one before is deselected.
    void select(UIButton* button);
    // Scrolls the selected button to the left end, as far as the strip goes.
    void scrollToSelected();

    // ---- blinking
    // Every button blinks every `interval` seconds for `period` seconds;
    // then `ended` runs (the screen brings the strip up to date).
    void startBlinking(double interval, double period, std::function<void()> ended);
    // One step of every button's blink.
    void blinkOnce();
    void stopBlinking();
    bool isBlinking() const { return blinkTimer_ != nullptr; }
    // The device's pre-connection reported: its button stops blinking and
    // shows the device's state.
    void showDeviceState(int deviceId);
    // A device just added or edited: its button blinks until the device reports.
    void blinkDevice(const Device& device);

    static std::shared_ptr<UIImage> normalImage(const Device& d);
    static std::shared_ptr<UIImage> selectedImage(const Device& d);

private:
    std::vector<WeakView<ZButton>> buttons_;
    WeakView<ZButton> selected_;
    std::shared_ptr<RunLoopTimer> blinkTimer_, blinkEndTimer_;
};

}  // namespace lumora
