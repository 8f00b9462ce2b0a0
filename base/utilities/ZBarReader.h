#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/utilities/ZBarImageScanner.h"
#include "base/utilities/ZBarReaderDelegate.h"
#include "platform/dispatch/DispatchQueue.h"

namespace lumora {

// The engine of the QR reader screen: a scanner (whose symbology settings
// the screens change before reading), and two sources of pictures:
//
// - an image file the user names (a PNG photo of a code);
// - a V4L2 camera, through zbar's video input, when the machine has one:
//   frames are scanned until one holds a code.
//
// Scanning runs on the reader's serial queue ("com.lumora.zbar"); what it
// read reaches the delegate on the main queue: imagePickerController() with
// the symbols under ZBarReaderControllerResults, or, for a file without a
// readable code, readerControllerDidFailToRead() with retry true.
// cancel() stops the camera and tells the delegate
// imagePickerControllerDidCancel().
//
// The reader screen of the toolkit shows this engine's pictures and a
// cancel button; the screens hand it the reader when they present it.
//
// The delegate is held weakly. Main thread only, except the scanner, which
// belongs to the reader's queue once reading started (change its settings
// before).
class ZBarReader : public std::enable_shared_from_this<ZBarReader> {
public:
    static constexpr const char* kQueueLabel = "com.lumora.zbar";
    // All four orientations: what the screens ask the reader for.
    static constexpr int kAllOrientationsMask = 30;

    static std::shared_ptr<ZBarReader> create();
    ~ZBarReader();

    std::shared_ptr<ZBarReaderDelegate> readerDelegate() const { return delegate_.lock(); }
    void setReaderDelegate(std::weak_ptr<ZBarReaderDelegate> delegate) { delegate_ = std::move(delegate); }
    int supportedOrientationsMask() const { return orientations_; }
    void setSupportedOrientationsMask(int mask) { orientations_ = mask; }
    ZBarImageScanner& scanner() { return *scanner_; }

    // Scans the file; the answer comes to the delegate.
    void readImageFile(const std::string& path);
    // Why a file read found nothing: told on the main queue, before the
    // delegate hears of the failure, to whoever shows the reading.
    enum class FileFailure { NotAPicture, NoCode };
    void setFileFailureObserver(std::function<void(FileFailure)> observer) { fileFailure_ = std::move(observer); }

    // Camera devices of this machine ("/dev/video0", ...); empty without one.
    static std::vector<std::string> cameraDevices();
    // Starts reading frames from the camera (the first device when none is
    // named). False when there is no camera or it does not open.
    bool startCamera(const std::string& device = {});
    bool cameraRunning() const { return cameraRunning_; }
    void stopCamera();

    // The user gave up: stops the camera and tells the delegate.
    void cancel();

private:
    ZBarReader() = default;
    // Hands the result to the delegate on the main queue, if the reader is
    // still there then.
    static void deliver(std::weak_ptr<ZBarReader> reader, ZBarSymbolSet symbols, bool failed);
    static void reportFileFailure(std::weak_ptr<ZBarReader> reader, FileFailure failure);

    std::weak_ptr<ZBarReaderDelegate> delegate_;
    std::function<void(FileFailure)> fileFailure_;
    int orientations_ = kAllOrientationsMask;
    // Shared with the scanning work, which never keeps the reader itself.
    std::shared_ptr<ZBarImageScanner> scanner_ = std::make_shared<ZBarImageScanner>();
    DispatchQueuePtr queue_ = DispatchQueue::createSerial(kQueueLabel);
    std::shared_ptr<std::atomic<bool>> cameraStop_;
    std::atomic<bool> cameraRunning_{false};
};

}  // namespace lumora
