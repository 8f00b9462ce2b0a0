#include "ui/tablet/FileMgmtControllerHD.h"

#include "ui/kit/UIView.h"

namespace lumora {

FileMgmtControllerHD::FileMgmtControllerHD() = default;

}  // namespace lumora
