#pragma once

namespace lumora {

// Interface orientations with the platform's values.
enum class UIInterfaceOrientation {
    Portrait = 1,
    PortraitUpsideDown = 2,
    LandscapeRight = 3,
    LandscapeLeft = 4,
};

inline bool UIInterfaceOrientationIsLandscape(UIInterfaceOrientation o) {
    return o == UIInterfaceOrientation::LandscapeLeft || o == UIInterfaceOrientation::LandscapeRight;
}
inline bool UIInterfaceOrientationIsPortrait(UIInterfaceOrientation o) { return !UIInterfaceOrientationIsLandscape(o); }

// Notification names and keys the window and the application post.
inline constexpr const char* UIApplicationWillChangeStatusBarOrientationNotification =
    "UIApplicationWillChangeStatusBarOrientationNotification";
inline constexpr const char* UIApplicationDidChangeStatusBarOrientationNotification =
    "UIApplicationDidChangeStatusBarOrientationNotification";
// userInfo of the will-change notification: the new UIInterfaceOrientation.
inline constexpr const char* UIApplicationStatusBarOrientationUserInfoKey =
    "UIApplicationStatusBarOrientationUserInfoKey";
inline constexpr const char* UIDeviceOrientationDidChangeNotification = "UIDeviceOrientationDidChangeNotification";
inline constexpr const char* UIWindowDidBecomeKeyNotification = "UIWindowDidBecomeKeyNotification";
inline constexpr const char* UIWindowDidResignKeyNotification = "UIWindowDidResignKeyNotification";
inline constexpr const char* UIApplicationDidReceiveMemoryWarningNotification =
    "UIApplicationDidReceiveMemoryWarningNotification";

}  // namespace lumora
