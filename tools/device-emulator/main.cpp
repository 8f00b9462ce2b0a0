// lumora-devemu: the device emulator as a program, for people and demos.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/Config.h"
#include "platform/Log.h"
#include "tools/device-emulator/DeviceEmulator.h"

namespace {
std::atomic<bool> gStop{false};
void onSignal(int) { gStop = true; }
}  // namespace

int main(int argc, char** argv) {
    using namespace lumora::devemu;
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    EmulatorOptions options;
    ProgramOptions program;
    std::string error;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!lumora::Log::configureFromEnvironment()) {
        std::fprintf(stderr, "lumora-devemu: LUMORA_LOG must be trace, debug, info, warn, error or off\n");
        return 2;
    }
    if (!parseArguments(args, options, program, error)) {
        std::fprintf(stderr, "lumora-devemu: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (program.help) {
        std::fputs(helpText().c_str(), stdout);
        return 0;
    }
    if (program.version) {
        std::printf("lumora-devemu %s\n", LUMORA_VERSION);
        return 0;
    }
    if (program.verbose) lumora::Log::setLevel(lumora::Log::Level::Info);
    if (options.quiet) lumora::Log::setLevel(lumora::Log::Level::Error);
    const long runSeconds = program.runSeconds;
    // The default clip is found in the resource folder (LUMORA_RESOURCES).
    if (const char* res = std::getenv("LUMORA_RESOURCES"); res && *res) lumora::Config::shared().resourceDir = res;
    DeviceEmulator emulator(options);
    if (!options.quiet) {
        emulator.setEventHandler([](const EmulatorEvent& e) {
            std::printf("devemu: [%d] %s\n", e.session, e.text.c_str());
            std::fflush(stdout);
        });
    }
    if (!emulator.start(error)) {
        std::fprintf(stderr, "lumora-devemu: %s\n", error.c_str());
        return 1;
    }
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(runSeconds < 0 ? 0 : runSeconds);
    while (!gStop && (runSeconds < 0 || std::chrono::steady_clock::now() < until)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    emulator.stop();
    EmulatorStats s = emulator.stats();
    std::printf("devemu: %ld sessions, %ld logins, %ld video frames (%ld key), %ld audio records, %ld bytes\n",
                s.sessions, s.logins, s.videoFrames, s.keyFrames, s.audioRecords, s.bytesSent);
    return 0;
}
