#pragma once

#include <memory>
#include <string>

#include "base/utilities/ZBarReader.h"
#include "ui/kit/UIView.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

// The QR reader screen: a black view with a cancel button ("cancelButton",
// text "CANCEL_BUTTON") over the reading engine (ZBarReader). While shown
// it reads frames from the camera when the machine has one; a picture file
// the user names is read with readImageFile(). What is read, a failure to
// read and the cancel button reach the reader delegate on the main queue
// (imagePickerController with the symbols under
// ZBarReaderControllerResults, readerControllerDidFailToRead,
// imagePickerControllerDidCancel); the presenter dismisses the screen.
class ZBarReaderViewController : public UIViewController {
public:
    ZBarReaderViewController() = default;
    ~ZBarReaderViewController() override;

    std::shared_ptr<ZBarReaderDelegate> readerDelegate() const { return reader_->readerDelegate(); }
    void setReaderDelegate(std::weak_ptr<ZBarReaderDelegate> delegate) {
        reader_->setReaderDelegate(std::move(delegate));
    }
    // Bit (1 << orientation) for each interface orientation the screen
    // turns to; 30 is all four.
    int supportedOrientationsMask() const { return reader_->supportedOrientationsMask(); }
    void setSupportedOrientationsMask(int mask) { reader_->setSupportedOrientationsMask(mask); }
    ZBarImageScanner& scanner() { return reader_->scanner(); }
    ZBarReader& reader() { return *reader_; }

    void readImageFile(const std::string& path) { reader_->readImageFile(path); }

    void loadView() override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

private:
    std::shared_ptr<ZBarReader> reader_ = ZBarReader::create();
};

}  // namespace lumora
