#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/text/Pasteboard.h"

namespace lumora {

// Puts the general pasteboard on the desktop's clipboard. The clipboard is
// touched on the GUI thread only: a text set from another thread is handed
// to the main queue, and a read from another thread answers the last text
// this process saw.
class ClipboardPasteboardBackend : public Pasteboard::Backend {
public:
    // Installs a backend on the general pasteboard (needs the GUI application).
    static void install();

    void setString(const std::string& text) override;
    std::string string() const override;

private:
    mutable std::mutex lock_;
    mutable std::string last_;
};

}  // namespace lumora
