#include "ui/phone/LandscapeViewController.h"

#include "ui/kit/UIView.h"
#include "ui/phone/ChannelMgmtController.h"

namespace lumora {

void LandscapeViewController::setChannelMgmtController(const std::shared_ptr<ChannelMgmtController>& grid) {
    grid_ = grid;
    if (grid) view()->addSubview(grid->view());
}

void LandscapeViewController::didRotateFromInterfaceOrientation(UIInterfaceOrientation) {
    auto grid = grid_.lock();
    if (!grid) return;
    const CGRect f = view()->frame();
    grid->view()->setFrame(CGRectMake(0, 0, f.size.width, f.size.height));
    grid->setIsLandscapeLayout(true);
}

}  // namespace lumora
