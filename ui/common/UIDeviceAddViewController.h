#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/utilities/QRCodeText.h"
#include "base/utilities/ZBarReaderDelegate.h"
#include "ui/kit/UIActionSheet.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIViewController.h"

namespace lumora {

class ZBarReaderViewController;

// What the chooser hands on. Optional calls answer true when the delegate
// handles them (a delegate that does not handle one leaves the chooser as
// it is); changeCanRotate is required.
class UIDeviceAddViewControllerDelegate {
public:
    virtual ~UIDeviceAddViewControllerDelegate() = default;
    virtual bool addDeviceFromTyping() { return false; }
    virtual bool addDeviceFromUID(const std::string& /*uid*/, const std::string& /*deviceName*/) { return false; }
    // The delegate presents the reader (modally on the phone).
    virtual bool presentZBarReaderWindow(const std::shared_ptr<ZBarReaderViewController>& /*reader*/) { return false; }
    virtual bool addDeviceWithInfoFromZBarCode() { return false; }
    virtual void addMultiDevicesFromMulticaseSearching() {}
    virtual bool addDeviceWithLANScanning() { return false; }
    virtual void changeCanRotate(bool canRotate) = 0;
};

// The chooser for adding a device: an action sheet (QR scan, typing, LAN
// search, cancel) in the chooser's own view, which the opener lays over its
// screen. A QR scan opens the reader through the delegate; the text read is
// classified (QRCodeText): a web address or a Wi-Fi login gets an alert and
// is not taken for a device; anything else goes to the delegate as a UID.
class UIDeviceAddViewController : public UIViewController,
                                  public UIActionSheetDelegate,
                                  public UIAlertViewDelegate,
                                  public ZBarReaderDelegate {
public:
    static constexpr int kUrlAlertTag = 1;
    static constexpr int kWiFiAlertTag = 2;
    static constexpr int kUnknownTextAlertTag = 3;
    static constexpr int kSupportedOrientationsMask = 26;
    // Interleaved 2 of 5 in zbar's numbering.
    static constexpr int kSymbologyI25 = 25;

    UIDeviceAddViewController();
    ~UIDeviceAddViewController() override;

    std::weak_ptr<UIDeviceAddViewControllerDelegate> delegate;  // the opener keeps itself alive
    bool isAdding = false;

    void loadView() override;
    void viewWillAppear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) override { return false; }
    int supportedInterfaceOrientations() const { return kSupportedOrientationsMask; }

    // Shows the choice in the chooser's view (which must be in a window).
    void showView();
    void addDeviceWithBarCode();
    void addDeviceManually();
    void addDeviceWithLANScanning();
    void addDeviceWithInfoFromZBarCode();

    // The reader the last QR scan opened (null before).
    const std::shared_ptr<ZBarReaderViewController>& reader() const { return reader_; }

    // UIActionSheetDelegate
    void actionSheetClickedButtonAtIndex(UIActionSheet*, int buttonIndex) override;
    // UIAlertViewDelegate
    void alertViewDidDismissWithButtonIndex(UIAlertView*, int buttonIndex) override;
    // ZBarReaderDelegate
    void imagePickerController(ZBarReader& reader, const ZBarReaderInfo& info) override;
    void imagePickerControllerDidCancel(ZBarReader& reader) override;
    void readerControllerDidFailToRead(ZBarReader&, bool) override {}

    // What a scanned text leads to; the chooser acts on this.
    static QRCodeText classifyScannedText(const std::string& text) { return QRCodeText::classify(text); }

    // The scan as every screen that adds a device by QR code runs it (this
    // chooser on the phone, the tablet's live screen):
    // A reader for the delegate that turns to every orientation and leaves
    // Interleaved 2 of 5 alone.
    static std::shared_ptr<ZBarReaderViewController> makeReader(std::weak_ptr<ZBarReaderDelegate> delegate);
    // The text of the first symbol read; none when nothing was read.
    static std::optional<std::string> firstScannedText(const ZBarReaderInfo& info);
    // Acts on a scanned text: a web address gets its alert (tag kUrlAlertTag),
    // a Wi-Fi login its alert (tag kWiFiAlertTag) and its password on the
    // pasteboard, both with `alertDelegate` (not owned), and neither is a
    // device: no UID comes back. Any other text is the UID to hand on.
    static std::optional<std::string> uidFromScannedText(const std::string& scanned, UIAlertViewDelegate* alertDelegate);
    // As uidFromScannedText, handing the UID to `handOn`; a text that does
    // not look like a device identifier either (up to 32 letters, digits,
    // '-' and '_') is shown in a warning first (tag kUnknownTextAlertTag)
    // and handed on only when the user adds it anyway.
    static void handScannedText(const std::string& scanned, UIAlertViewDelegate* alertDelegate,
                                std::function<void(const std::string&)> handOn);
    static bool looksLikeDeviceId(const std::string& text);

private:
    void removeView();
    void dismissReader(bool animated);

    std::shared_ptr<ZBarReaderViewController> reader_;
};

}  // namespace lumora
