#pragma once

#include "base/utilities/ZBarSymbol.h"

namespace lumora {

class ZBarReader;

// Receiver of what a QR reader read. Every callback is optional; each
// arrives on the main queue.
class ZBarReaderDelegate {
public:
    virtual ~ZBarReaderDelegate() = default;

    // Something was read: the symbols are under ZBarReaderControllerResults.
    virtual void imagePickerController(ZBarReader& /*reader*/, const ZBarReaderInfo& /*info*/) {}
    // The user cancelled the reader.
    virtual void imagePickerControllerDidCancel(ZBarReader& /*reader*/) {}
    // A picture held no code the scanner reads (or could not be read); the
    // user may try again when `retry` is true.
    virtual void readerControllerDidFailToRead(ZBarReader& /*reader*/, bool /*retry*/) {}
};

}  // namespace lumora
