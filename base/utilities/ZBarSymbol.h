#pragma once

#include <map>
#include <string>
#include <vector>

namespace lumora {

// One code a scan found.
struct ZBarSymbol {
    int type = 0;          // zbar's symbology number (64 for QR codes)
    std::string typeName;  // "QR-Code", "I2/5", ...
    std::string data;      // the code's text (UTF-8 for QR codes)
    int quality = 0;       // relative confidence; higher is better
};

using ZBarSymbolSet = std::vector<ZBarSymbol>;

// What a reader hands its delegate when it has read something: the symbols
// under the key ZBarReaderControllerResults.
using ZBarReaderInfo = std::map<std::string, ZBarSymbolSet>;
inline constexpr const char* ZBarReaderControllerResults = "ZBarReaderControllerResults";

}  // namespace lumora
