#pragma once

namespace lumora {

// The engine's own command line, without a display: the live road on the
// built-in device emulator (--live), or the application with headless
// screens (--app [--pad]). The window host hands these modes here.
class EngineMain {
public:
    // Answers the exit status.
    static int run(int argc, char** argv);
};

}  // namespace lumora
