#pragma once

#include "ui/kit/UIGeometry.h"
#include "ui/kit/UIInterfaceOrientation.h"

namespace lumora {

// The size the application's content has in an interface orientation.
class UIApplicationALAppDimensions {
public:
    // From the main screen's portrait bounds (w, h): (h, w) in the landscape
    // orientations, (w, h) otherwise; before system 7.0 a shown status bar's
    // height is taken off the height.
    static CGSize sizeInOrientation(UIInterfaceOrientation orientation);
    static constexpr CGFloat kStatusBarThickness = 20;
};

}  // namespace lumora
