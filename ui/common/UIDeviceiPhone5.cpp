#include "ui/common/UIDeviceiPhone5.h"

#include "ui/kit/UIScreen.h"

namespace lumora {

bool UIDeviceiPhone5::isIPhone5() { return UIScreen::mainScreen().bounds().size.height == 568; }

}  // namespace lumora
