#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/kit/UIButton.h"
#include "ui/kit/UISegmentedControl.h"
#include "ui/kit/UIToolbar.h"

namespace lumora {

// The parts of the tablet device panel's toolbar: its buttons (an image
// "<image>.png" with the pressed "<image>_clk.png", and a title from the
// strings table in Verdana bold when given), the UID/IP segment of the
// editor, and the items for a set of them, spread by flexible spaces.
//
// The views made here are the caller's until a toolbar shows them. Main
// thread only.
class DevicePanelBarHD {
public:
    // titleKey may be null (an image button).
    static UIButton* makeButton(const std::string& name, const std::string& image, const char* titleKey,
                                const CGSize& size, std::function<void()> tap);
    // "segmentedControl", on UID.
    static UISegmentedControl* makeModeSegment(std::function<void()> changed);
    // The views (null ones left out) as the toolbar's items, each shown.
    static void setItems(UIToolbar* bar, const std::vector<UIView*>& views, bool animated);
};

}  // namespace lumora
