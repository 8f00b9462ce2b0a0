#include "ui/common/UIDeviceALSystemVersion.h"

#include <mutex>

namespace lumora {

namespace {
float overridden = -1;
}

float UIDeviceALSystemVersion::iOSVersion() {
    static std::once_flag once;
    static float cached = 0;
    std::call_once(once, [] { cached = kSystemVersion; });
    return overridden >= 0 ? overridden : cached;
}

void UIDeviceALSystemVersion::overrideVersionForTesting(float version) { overridden = version; }

}  // namespace lumora
