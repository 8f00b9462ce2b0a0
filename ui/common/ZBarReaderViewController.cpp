#include "ui/common/ZBarReaderViewController.h"

#include "platform/text/Localization.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UITextField.h"
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
    const double bottom = 480 - kButtonHeight - kMargin;
    auto* cancel = new UIButton(CGRectMake(kMargin, bottom, kButtonWidth, kButtonHeight), UIButtonType::RoundedRect);
    cancel->setTitle(Localization::string("CANCEL_BUTTON"));
    cancel->setAutoresizingMask(UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleRightMargin);
    setViewName(cancel, "cancelButton");
    std::weak_ptr<ZBarReader> reader = reader_;
    cancel->addTarget(this, [reader](UIControl*, UIEvent*) {
        if (auto r = reader.lock()) r->cancel();
    }, UIControlEventTouchUpInside);
    view->addSubview(cancel);

    // Without a camera (or besides it): the path of a picture of the code.
    auto* field = new UITextField(
        CGRectMake(kMargin, bottom - kButtonHeight - kMargin, 320 - 2 * kMargin, kButtonHeight));
    field->setBorderStyle(UITextBorderStyle::RoundedRect);
    field->setPlaceholder(Localization::string("QR_IMAGE_FILE"));
    field->setAutoresizingMask(UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleWidth);
    setViewName(field, "imageFileField");
    auto* read = new UIButton(CGRectMake(320 - kMargin - kButtonWidth, bottom, kButtonWidth, kButtonHeight),
                              UIButtonType::RoundedRect);
    read->setTitle(Localization::string("QR_READ_FILE"));
    read->setAutoresizingMask(UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleLeftMargin);
    setViewName(read, "readFileButton");
    imageFileField_ = field;
    read->addTarget(this, [this](UIControl*, UIEvent*) { readNamedFile(); }, UIControlEventTouchUpInside);
    field->addTarget(this, [this](UIControl*, UIEvent*) { readNamedFile(); }, UIControlEventEditingDidEndOnExit);
    view->addSubview(field);
    view->addSubview(read);

    auto* status = new UILabel(CGRectMake(kMargin, bottom - 3 * kButtonHeight - 2 * kMargin, 320 - 2 * kMargin,
                                          2 * kButtonHeight));
    status->setTextColor(UIColor::whiteColor());
    status->setNumberOfLines(0);
    status->setTextAlignment(UITextAlignment::Center);
    status->setAutoresizingMask(UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleWidth);
    status->setHidden(true);
    setViewName(status, "readStatus");
    view->addSubview(status);
    status_ = status;
    WeakView<UILabel> shown = status;
    reader_->setFileFailureObserver([shown](ZBarReader::FileFailure failure) {
        if (!shown) return;
        shown->setText(Localization::string(failure == ZBarReader::FileFailure::NotAPicture ? "QR_NOT_PICTURE"
                                                                                           : "QR_NO_CODE"));
        shown->setHidden(false);
    });
    setView(view);
}

std::string ZBarReaderViewController::statusText() const {
    return status_ && !status_->isHidden() ? status_->text() : std::string();
}

void ZBarReaderViewController::readNamedFile() {
    if (!imageFileField_) return;
    std::string path = imageFileField_->text();
    const auto first = path.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return;  // nothing named yet
    path = path.substr(first, path.find_last_not_of(" \t\r\n") - first + 1);
    imageFileField_->resignFirstResponder();
    if (status_) status_->setHidden(true);
    readImageFile(path);
}

void ZBarReaderViewController::viewDidAppear(bool) { reader_->startCamera(); }

void ZBarReaderViewController::viewWillDisappear(bool) { reader_->stopCamera(); }

bool ZBarReaderViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) {
    return (supportedOrientationsMask() & (1 << static_cast<int>(orientation))) != 0;
}

}  // namespace lumora
