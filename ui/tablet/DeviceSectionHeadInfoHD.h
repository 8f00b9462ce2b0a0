#pragma once

#include <memory>
#include <vector>

#include "ui/kit/NSIndexPath.h"

namespace lumora {

// Whether one device section of the tablet device panel is open; kept by the
// panel across table reloads, which build new header views every time.
struct DeviceSectionHeadInfoHD {
    bool opened = false;
    std::shared_ptr<std::vector<NSIndexPath>> indexPaths;  // nothing fills it
};

}  // namespace lumora
