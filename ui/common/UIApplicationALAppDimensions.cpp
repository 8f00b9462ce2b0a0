#include "ui/common/UIApplicationALAppDimensions.h"

#include <algorithm>

#include "ui/common/UIDeviceALSystemVersion.h"
#include "ui/kit/UIApplication.h"
#include "ui/kit/UIScreen.h"

namespace lumora {

CGSize UIApplicationALAppDimensions::sizeInOrientation(UIInterfaceOrientation orientation) {
    const CGRect screen = UIScreen::mainScreen().bounds();
    const CGFloat w = std::min(screen.size.width, screen.size.height);
    const CGFloat h = std::max(screen.size.width, screen.size.height);
    CGSize size = UIInterfaceOrientationIsLandscape(orientation) ? CGSize{h, w} : CGSize{w, h};
    if (!UIApplication::sharedApplication().isStatusBarHidden() && UIDeviceALSystemVersion::iOSVersion() < 7.0f)
        size.height -= kStatusBarThickness;
    return size;
}

}  // namespace lumora
