#pragma once

#include <chrono>

namespace lumora {

// A time in seconds as the screens write it (0.7, 60.0) turned into the run
// loop's duration.
inline std::chrono::nanoseconds secondsDuration(double s) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(s));
}

}  // namespace lumora
