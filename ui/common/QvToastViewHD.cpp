#include "ui/common/QvToastViewHD.h"

namespace lumora {

CGPoint QvToastViewHD::toastCenter(UIView*) const { return CGPointMake(512, 403); }

}  // namespace lumora
