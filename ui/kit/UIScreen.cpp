#include "ui/kit/UIScreen.h"

#include <cmath>

#include "platform/graphics/Screen.h"

namespace lumora {

UIScreen& UIScreen::mainScreen() {
    static UIScreen screen;
    return screen;
}

void UIScreen::setProfile(ScreenProfile profile, CGFloat scale) {
    profile_ = profile;
    scale_ = scale >= 2 ? 2 : 1;
    CGRect b = bounds();
    Screen::main().setScale(scale_);
    Screen::main().setCurrentModeSize(Screen::Size{static_cast<int>(std::lround(b.size.width * scale_)),
                                                   static_cast<int>(std::lround(b.size.height * scale_))});
    InterfaceIdiom::setCurrent(idiom());
}

CGRect UIScreen::bounds() const {
    switch (profile_) {
    case ScreenProfile::Phone480: return CGRectMake(0, 0, 320, 480);
    case ScreenProfile::Phone568: return CGRectMake(0, 0, 320, 568);
    case ScreenProfile::Tablet: return CGRectMake(0, 0, 768, 1024);
    }
    return CGRectMake(0, 0, 320, 480);
}

UserInterfaceIdiom UIScreen::idiom() const {
    return profile_ == ScreenProfile::Tablet ? UserInterfaceIdiom::Pad : UserInterfaceIdiom::Phone;
}

}  // namespace lumora
