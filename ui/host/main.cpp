#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/EngineMain.h"
#include "demo/EmulatorWorld.h"
#include "demo/LiveDemo.h"
#include "platform/Log.h"
#include "platform/graphics/RenderThread.h"
#include "ui/host/WindowHost.h"
#include "ui/kit/web/WebEnginePages.h"

using namespace lumora;

// The font and desktop-bus libraries and the browser engine keep caches for
// the life of the process that the leak checker cannot see through.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\nleak:libQt6WebEngineCore.so\n";
}

#if defined(__SANITIZE_ADDRESS__)
// GCC 12's address sanitizer misjudges where dynamic thread-local blocks
// start on glibc 2.36, and its leak checker then crashes at exit now and
// then; the blocks are still found without that tracking.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }
#endif

int main(int argc, char** argv) {
    // Before any thread starts: it sets the environment.
    RenderThread::prepareDriver();
    CommandLine line;
    std::string error;
    if (!Log::configureFromEnvironment()) {
        std::fprintf(stderr, "lumora: LUMORA_LOG must be trace, debug, info, warn, error or off\n");
        return 2;
    }
    if (!line.parse(std::vector<std::string>(argv + 1, argv + argc), error)) {
        std::fprintf(stderr, "lumora: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(CommandLine::helpText(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("lumora %s\n", LUMORA_VERSION);
        return 0;
    }
    if (line.verbose) Log::setLevel(Log::Level::Info);
    if (line.quiet) Log::setLevel(Log::Level::Error);
    // The demonstrations run on the emulators, which only the program links:
    // the engine and the window host are handed them here.
    if (!line.window()) return EngineMain::run(line, LiveDemo::runMode);

    WindowHost::Options options;
    options.pad = line.pad;
    options.tallPhone = line.tall;
    options.scale = line.scale;
    options.screenshot = line.screenshot;
    options.after = line.after;
    for (const auto& p : line.taps) options.taps.push_back({CGPoint{p.x, p.y}, p.name});
    options.demo = line.demo;
    options.dataRoot = line.dataRoot;
    EmulatorWorld world;
    options.demoPeers.start = [&world](const std::string& dataRoot, std::string& error) {
        if (!world.start(dataRoot, EmulatorWorld::defaultDevices(), error)) return false;
        std::printf("lumora: emulators on loopback: %s\n", world.summary().c_str());
        return true;
    };
    options.demoPeers.stop = [&world] { world.stop(); };
    installWebEnginePages();
    return WindowHost::run(options);
}
