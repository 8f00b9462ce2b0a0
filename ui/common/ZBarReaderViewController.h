#pragma once

#include <memory>
#include <string>

#include "base/utilities/ZBarReader.h"
#include "ui/kit/UILabel.h"
#include "ui/kit/UITextField.h"
#include "ui/kit/UIView.h"
#include "ui/kit/UIViewController.h"
#include "ui/kit/WeakView.h"

namespace lumora {

// The QR reader screen: a black view with a cancel button ("cancelButton",
// text "CANCEL_BUTTON") over the reading engine (ZBarReader). While shown
// it reads frames from the camera when the machine has one; a picture file
// the user names in the text field ("imageFileField") is read by the read
// button ("readFileButton") or the return key, as readImageFile() does. What is read, a failure to
// read and the cancel button reach the reader delegate on the main queue
// (imagePickerController with the symbols under
// ZBarReaderControllerResults, readerControllerDidFailToRead,
// imagePickerControllerDidCancel); the presenter dismisses the screen.
// A named file that is no picture, or a picture without a code, is said
// on the screen ("readStatus") so the user can name another.
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
    // Reads the file named in the text field (surrounding blanks ignored;
    // an empty field reads nothing).
    void readNamedFile();
    // What the screen says of the last file read; empty while reading.
    std::string statusText() const;

    void loadView() override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

private:
    std::shared_ptr<ZBarReader> reader_ = ZBarReader::create();
    WeakView<UITextField> imageFileField_;
    WeakView<UILabel> status_;
};

}  // namespace lumora
