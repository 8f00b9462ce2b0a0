#pragma once

namespace lumora {

class CommandLine;

// The program's modes without a window, from a parsed command line: the live
// video demonstration on the built-in device emulator (--live), or the
// application with headless screens (--app [--pad]). The window host hands
// these modes here.
class EngineMain {
public:
    // Answers the exit status.
    static int run(const CommandLine& line);
};

}  // namespace lumora
