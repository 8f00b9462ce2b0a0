#pragma once

#include "ui/kit/UIGeometry.h"

namespace lumora {

class LiveViewController;
class UIButton;
class UIView;

// The phone live screen's interface file "LiveViewController": the view
// tree with its object names, made for the main screen's bounds. At the
// foot the tool bar (LiveToolBar, "toolBarView"); over it the hidden
// pan/tilt strip ("ptzScrollView") and the strip container
// ("scrollContainerView", 84 pt) with the device strip (DeviceStripView,
// "devicesScrollView"), the channel strip (ChannelStripView,
// "channelScrollView") and the closed more panel ("moreView"); the back
// button ("backButton" in "leftButtonView"), the hidden "rightButtonView",
// "switchButton" and the floating "toolPanel" below the screen.
//
// The tool bar and its panels report to the owner, the screen, which must
// outlive the views; so do the switch and back buttons. Main thread only.
class LiveViewInterface {
public:
    static constexpr CGFloat kContainerHeight = 84;

    // The builder registered under the screen's interface name.
    static UIView* build(void* owner);
    // Sets the screen's outlets to the views of `root` with their names.
    static void bindOutlets(LiveViewController& screen, UIView* root);

    // ---- the screen's arrangements (on its outlets)
    // Landscape: only the panes, on the landscape background. Portrait: the
    // strips and the tool bar on the portrait background, the floating
    // panel and the right-hand view hidden.
    static void arrange(LiveViewController& screen, bool landscape);
    // The strips at the phone's width, without the back button's view.
    static void plugLayout(LiveViewController& screen);
    // Slides the strip container a screen's width sideways and back; the
    // button shows which way it went.
    static void slideContainer(LiveViewController& screen, UIButton* sender);
};

}  // namespace lumora
