#include "ui/kit/ZBarReaderViewController.h"

#include "platform/text/Localization.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIView.h"

namespace lumora {

namespace {

constexpr double kButtonWidth = 100;
constexpr double kButtonHeight = 44;
constexpr double kMargin = 10;

}  // namespace

ZBarReaderViewController::~ZBarReaderViewController() { reader_->stopCamera(); }

void ZBarReaderViewController::loadView() {
    auto* view = new UIView(CGRectMake(0, 0, 320, 480));
    view->setBackgroundColor(UIColor::blackColor());
    auto* cancel = new UIButton(CGRectMake(kMargin, 480 - kButtonHeight - kMargin, kButtonWidth, kButtonHeight),
                                UIButtonType::RoundedRect);
    cancel->setTitle(Localization::string("CANCEL_BUTTON"));
    cancel->setAutoresizingMask(UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleRightMargin);
    setViewName(cancel, "cancelButton");
    std::weak_ptr<ZBarReader> reader = reader_;
    cancel->addTarget(this, [reader](UIControl*, UIEvent*) {
        if (auto r = reader.lock()) r->cancel();
    }, UIControlEventTouchUpInside);
    view->addSubview(cancel);
    setView(view);
}

void ZBarReaderViewController::viewDidAppear(bool) { reader_->startCamera(); }

void ZBarReaderViewController::viewWillDisappear(bool) { reader_->stopCamera(); }

bool ZBarReaderViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) {
    return (supportedOrientationsMask() & (1 << static_cast<int>(orientation))) != 0;
}

}  // namespace lumora
