#include "ui/common/ZBarReaderViewController.h"

#include "platform/text/Localization.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/UIColor.h"
#include "ui/kit/UIFont.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UITextField.h"
#include "ui/kit/UIView.h"

namespace lumora {

ZBarReaderViewController::ZBarReaderViewController() = default;

ZBarReaderViewController::~ZBarReaderViewController() {
    if (reader_) reader_->stopCamera();
}

void ZBarReaderViewController::loadView() {
    auto* root = new UIView(CGRectMake(0, 0, 320, 480));
    root->setBackgroundColor(UIColor::blackColor());
    setViewName(root, "readerView");

    auto* hint = new UILabel(CGRectMake(20, 60, 280, 40));
    hint->setTextColor(UIColor::whiteColor());
    hint->setFont(UIFont::systemFontOfSize(14));
    hint->setTextAlignment(UITextAlignment::Center);
    hint->setText(Localization::string("QR_FILE_HINT"));
    setViewName(hint, "readerHint");
    root->addSubview(hint);
    hint_ = hint;

    auto* field = new UITextField(CGRectMake(20, 110, 280, 31));
    field->setBorderStyle(UITextBorderStyle::RoundedRect);
    setViewName(field, "readerPathField");
    root->addSubview(field);
    pathField_ = field;

    auto* read = UIButton::buttonWithType(UIButtonType::RoundedRect);
    read->setFrame(CGRectMake(20, 160, 280, 40));
    read->setTitle(Localization::string("QR_READ"));
    setViewName(read, "readerReadButton");
    read->addTarget(this, [this](UIControl*, UIEvent*) { readButtonTapped(); }, UIControlEventTouchUpInside);
    root->addSubview(read);

    auto* cancel = UIButton::buttonWithType(UIButtonType::RoundedRect);
    cancel->setFrame(CGRectMake(20, 420, 280, 40));
    cancel->setTitle(Localization::string("CANCEL_BUTTON"));
    setViewName(cancel, "readerCancelButton");
    cancel->addTarget(this, [this](UIControl*, UIEvent*) { cancelButtonTapped(); }, UIControlEventTouchUpInside);
    root->addSubview(cancel);
    setView(root);
}

void ZBarReaderViewController::viewDidAppear(bool) {
    if (useCamera && !ZBarReader::cameraDevices().empty() && reader_->startCamera() && hint_)
        hint_->setText(Localization::string("QR_CAMERA_HINT"));
}

void ZBarReaderViewController::viewWillDisappear(bool) {
    reader_->stopCamera();
}

void ZBarReaderViewController::readButtonTapped() {
    if (!pathField_) return;
    std::string path = pathField_->text();
    if (path.empty()) return;
    reader_->readImageFile(path);
}

void ZBarReaderViewController::cancelButtonTapped() {
    reader_->cancel();
}

}  // namespace lumora
