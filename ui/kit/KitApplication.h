#pragma once

namespace lumora {

// Makes the one Qt application of the process, set up so pictures are the
// same everywhere: Fusion style, a fixed palette, DejaVu Sans (checked: with
// no fonts, text would silently draw as boxes), no caret flashing; then hooks
// the engine's main run loop and the touch router to it.
class KitApplication {
public:
    enum class Mode {
        Headless,  // offscreen unless QT_QPA_PLATFORM is set
        Windowed,  // the desktop's display; offscreen when there is none
    };
    // Once per process; later calls do nothing. Exits with a message when
    // the font is missing.
    static void ensure(Mode mode);
    static bool isHeadless();
};

}  // namespace lumora
