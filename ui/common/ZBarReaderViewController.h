#pragma once

#include <QPointer>
#include <memory>
#include <string>

#include "base/utilities/ZBarReader.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

class UIButton;
class UILabel;
class UITextField;

// The QR reader screen: a picture area, a field where the user names an
// image file to read (a photo of the code), a read button and a cancel
// button. When the machine has a camera, frames from it are read as soon
// as the screen appears. What was read goes to the reader's delegate
// (ZBarReaderDelegate, on the main queue) through the reader engine.
class ZBarReaderViewController : public UIViewController {
public:
    ZBarReaderViewController();
    ~ZBarReaderViewController() override;

    // The engine: its scanner settings and delegate.
    ZBarReader& reader() { return *reader_; }
    const std::shared_ptr<ZBarReader>& readerEngine() const { return reader_; }
    ZBarImageScanner& scanner() { return reader_->scanner(); }
    void setReaderDelegate(std::weak_ptr<ZBarReaderDelegate> delegate) { reader_->setReaderDelegate(std::move(delegate)); }
    std::shared_ptr<ZBarReaderDelegate> readerDelegate() const { return reader_->readerDelegate(); }
    void setSupportedOrientationsMask(int mask) { reader_->setSupportedOrientationsMask(mask); }
    int supportedOrientationsMask() const { return reader_->supportedOrientationsMask(); }

    // Use the camera when there is one (on by default; tests switch it off).
    bool useCamera = true;

    void loadView() override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) override { return true; }

    // Read button: scans the named file (an empty name does nothing).
    void readButtonTapped();
    // Cancel button: stops the camera and tells the delegate.
    void cancelButtonTapped();

private:
    std::shared_ptr<ZBarReader> reader_ = ZBarReader::create();
    QPointer<UITextField> pathField_;
    QPointer<UILabel> hint_;
};

}  // namespace lumora
