#pragma once

#include <functional>

namespace lumora {

class CommandLine;

// The program's modes without a window, from a parsed command line: the live
// video demonstration on the built-in device emulator (--live), or the
// application with headless screens (--app [--pad]). The window host hands
// these modes here.
class EngineMain {
public:
    // The live demonstration: runs on the main run loop until it ends or
    // `interrupted` holds, and answers the exit status. The program's main
    // hands it in; it lives with the emulators, which the engine does not
    // link.
    using LiveDemoMode = std::function<int(const CommandLine& line, const std::function<bool()>& interrupted)>;

    // Answers the exit status. Without a live demonstration, the mode that
    // needs one fails.
    static int run(const CommandLine& line, const LiveDemoMode& liveDemo);
};

}  // namespace lumora
