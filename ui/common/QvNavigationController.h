#pragma once

#include "ui/kit/UINavigationController.h"

namespace lumora {

// A navigation controller that allows every interface orientation.
class QvNavigationController : public UINavigationController {
public:
    using UINavigationController::UINavigationController;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) override { return true; }
};

}  // namespace lumora
