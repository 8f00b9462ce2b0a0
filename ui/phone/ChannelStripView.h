#pragma once

#include <functional>
#include <vector>

#include "ui/kit/UIButton.h"
#include "ui/kit/UIScrollView.h"
#include "ui/kit/WeakView.h"

namespace lumora {

// The phone live screen's strip of channel buttons ("channelScrollView") for
// the device selected in the device strip: one 39 x 39 button per channel,
// 50 pt apart from x = 17, titled with the channel's number, tagged 300 +
// the channel and named "channelButton1", "channelButton2"... A selected
// button marks a channel that plays in a pane.
//
// A button acts on the lift, not the touch-down: a finger that swipes the
// strip along is claimed by the scroll and starts no channel. The lift goes
// to onTap. The strip is a view of the screen's tree and goes with it.
// Main thread only.
class ChannelStripView : public UIScrollView {
public:
    static constexpr int kChannelTagBase = 300;

    explicit ChannelStripView(const CGRect& frame = CGRectZero);

    // Called with the button lifted; unset, a tap does nothing.
    std::function<void(UIButton*)> onTap;

    // Shows the device's channels, each marked when `isPlaying(channel)`.
    // The same device's strip again keeps its buttons (a finger may be on
    // one, and its tap counts on the lift) and only renews their marks.
    void reload(int deviceId, int channelNumber, const std::function<bool(int channel)>& isPlaying);

    // The device whose channels the strip shows (-1: none yet).
    int deviceId() const { return deviceId_; }
    const std::vector<WeakView<UIButton>>& buttons() const { return buttons_; }
    UIButton* buttonForChannel(int channel) const;
    static int channelOf(const UIButton& button) { return button.tag() - kChannelTagBase; }
    void deselectAll();
    // Scrolls the channel's button towards the left end, as far as the strip goes.
    void scrollToChannel(int channel);

private:
    std::vector<WeakView<UIButton>> buttons_;
    int deviceId_ = -1;
};

}  // namespace lumora
