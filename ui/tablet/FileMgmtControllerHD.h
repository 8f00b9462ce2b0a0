#pragma once

#include "ui/kit/UIViewController.h"

namespace lumora {

// The tablet media manager, opened modally by the home screen; it
// dismisses itself with its home button. (An empty view for now.)
class FileMgmtControllerHD : public UIViewController {
public:
    FileMgmtControllerHD();
};

}  // namespace lumora
