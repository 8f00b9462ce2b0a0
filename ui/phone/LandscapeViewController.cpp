#include "ui/phone/LandscapeViewController.h"

#include "ui/kit/UIView.h"

namespace lumora {

namespace {

LandscapeViewController::LandscapeLayout& landscapeLayout() {
    static LandscapeViewController::LandscapeLayout handler;
    return handler;
}

}  // namespace

void LandscapeViewController::setLandscapeLayoutHandler(LandscapeLayout handler) {
    landscapeLayout() = std::move(handler);
}

void LandscapeViewController::setChannelMgmtController(const std::shared_ptr<UIViewController>& grid) {
    grid_ = grid;
    if (grid) view()->addSubview(grid->view());
}

void LandscapeViewController::didRotateFromInterfaceOrientation(UIInterfaceOrientation) {
    auto grid = grid_.lock();
    if (!grid) return;
    const CGRect f = view()->frame();
    grid->view()->setFrame(CGRectMake(0, 0, f.size.width, f.size.height));
    if (landscapeLayout()) landscapeLayout()(*grid);
}

}  // namespace lumora
