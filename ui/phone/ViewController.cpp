#include "ui/phone/ViewController.h"

#include "ui/kit/UIApplication.h"
#include "ui/kit/UIBarButtonItem.h"
#include "ui/kit/UINavigationController.h"
#include "ui/kit/UINavigationItem.h"

namespace lumora {

namespace {

ViewController::LiveFactory& liveFactory() {
    static ViewController::LiveFactory factory;
    return factory;
}

}  // namespace

void ViewController::setLiveViewControllerFactory(LiveFactory factory) { liveFactory() = std::move(factory); }

void ViewController::viewDidLoad() {
    UIApplication::sharedApplication().setStatusBarHidden(true);
    std::weak_ptr<UIViewController> weak = weak_from_this();
    navigationItem().setRightBarButtonItem(
        UIBarButtonItem::withTitle("let's go", UIBarButtonItemStyle::Plain, [weak](UIBarButtonItem&) {
            if (auto self = std::dynamic_pointer_cast<ViewController>(weak.lock())) self->goLive();
        }));
}

void ViewController::goLive() {
    if (!liveVC_ && liveFactory()) liveVC_ = liveFactory()();
    if (!liveVC_) return;
    UINavigationController* nav = navigationController();
    if (!nav) return;
    // Already on the stack (a second tap during the push): nothing to do.
    for (UIViewController* c : nav->viewControllers())
        if (c == liveVC_.get()) return;
    nav->setNavigationBarHidden(true);
    nav->pushViewController(liveVC_, true);
}

}  // namespace lumora
