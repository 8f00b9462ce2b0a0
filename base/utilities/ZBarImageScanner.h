#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/utilities/ZBarSymbol.h"
#include "platform/graphics/RGBAImage.h"

namespace lumora {

// A grey picture (8 bits a pixel, rows packed) as the scanner reads it.
struct ZBarImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> grey;

    bool empty() const { return width <= 0 || height <= 0 || grey.size() < size_t(width) * size_t(height); }
    // From an RGBA picture (alpha ignored).
    static ZBarImage fromRGBA(const RGBAImage& image);
    // Reads a PNG file; empty when it is missing or not a readable PNG
    // (`error` says why).
    static ZBarImage fromPNGFile(const std::string& path, std::string* error = nullptr);
};

// zbar's image scanner: finds bar codes and QR codes in grey pictures.
// Every symbology zbar knows is on at first (QR codes included), with
// zbar's own settings; setSymbology() changes one setting of one symbology
// (symbology 0 means all of them), as zbar numbers them: setSymbology(25, 0, 0)
// switches Interleaved 2 of 5 off.
//
// One thread at a time.
class ZBarImageScanner {
public:
    // zbar's numbers for the settings callers use.
    static constexpr int kSymbologyAll = 0;
    static constexpr int kSymbologyInterleaved2of5 = 25;
    static constexpr int kSymbologyQRCode = 64;
    static constexpr int kConfigEnable = 0;

    ZBarImageScanner();
    ~ZBarImageScanner();
    ZBarImageScanner(const ZBarImageScanner&) = delete;
    ZBarImageScanner& operator=(const ZBarImageScanner&) = delete;

    // setSymbology:config:to:. False when zbar refuses the setting.
    bool setSymbology(int symbology, int config, int value);

    // Scans the picture; answers the symbols found (none for an empty
    // picture), in zbar's order.
    ZBarSymbolSet scanImage(const ZBarImage& image);

private:
    void* scanner_ = nullptr;  // zbar_image_scanner_t
};

}  // namespace lumora
