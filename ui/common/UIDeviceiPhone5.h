#pragma once

namespace lumora {

// Tells the 4-inch phone screen from the others.
class UIDeviceiPhone5 {
public:
    // True exactly when the main screen's portrait bounds are 568 points high.
    static bool isIPhone5();
};

}  // namespace lumora
