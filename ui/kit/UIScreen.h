#pragma once

#include "platform/InterfaceIdiom.h"
#include "ui/kit/UIGeometry.h"

namespace lumora {

// The display profiles the screens were laid out for.
enum class ScreenProfile {
    Phone480,   // 320x480 points
    Phone568,   // 320x568 points
    Tablet,     // 768x1024 points
};

// The main screen: portrait bounds in points, scale (1 or 2) and idiom.
// Choosing a profile also tells the engine (platform Screen and interface
// idiom).
class UIScreen {
public:
    static UIScreen& mainScreen();

    void setProfile(ScreenProfile profile, CGFloat scale = 1);
    ScreenProfile profile() const { return profile_; }
    // Portrait bounds, whatever the interface orientation.
    CGRect bounds() const;
    CGRect applicationFrame() const { return bounds(); }
    CGFloat scale() const { return scale_; }
    UserInterfaceIdiom idiom() const;

private:
    UIScreen() = default;
    ScreenProfile profile_ = ScreenProfile::Phone480;
    CGFloat scale_ = 1;
};

}  // namespace lumora
