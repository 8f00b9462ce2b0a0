#pragma once

namespace lumora {

// The running system's version as a number (the screens compare it with 7.0
// to choose between the older inset status bar and the newer overlaid one).
// Read once per process and kept.
class UIDeviceALSystemVersion {
public:
    // This system draws its status bar over the content, as the newer
    // layout expects.
    static constexpr float kSystemVersion = 7.0f;

    static float iOSVersion();
    // Tests: answers `version` from now on (a negative value goes back to the system's).
    static void overrideVersionForTesting(float version);
};

}  // namespace lumora
