#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>

#include "app/EngineMain.h"

#include "app/DevicePreConnector.h"
#include "app/LiveDemo.h"
#include "app/ProcessEntry.h"
#include "app/core/FileManager.h"
#include "app/core/QvDeviceManager.h"
#include "platform/Config.h"
#include "platform/InterfaceIdiom.h"
#include "platform/graphics/RenderThread.h"
#include "platform/runloop/RunLoop.h"

namespace lumora {

namespace {

std::atomic<bool> gInterrupted{false};
void onSignal(int) { gInterrupted = true; }

const char kUsage[] =
    "usage: lumora --live [--run-on] [--udt] | --app [--pad]\n"
    "  --live     load the configuration and the device list, then show the live\n"
    "             road on a built-in device emulator for about 5 seconds\n"
    "  --run-on   keep the live view running until interrupted (Ctrl-C)\n"
    "  --udt      reach the emulator over UDT instead of TCP\n"
    "  --app      instead, start the application (phone delegate, screens without\n"
    "             a display) and run until interrupted\n"
    "  --pad      with --app: start as a tablet\n";

}  // namespace

int EngineMain::run(int argc, char** argv) {
    // This thread owns the main run loop (and so the main queue).
    lumora::RunLoop::main();
    // Devices pre-connect through their own peer-to-peer client.
    DevicePreConnector::install();

    LiveDemo::Options demo;
    bool appMode = false;
    bool pad = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--live") {
            // The live road (the default of this entry).
        } else if (a == "--run-on") {
            demo.runOn = true;
        } else if (a == "--udt") {
            demo.transport = PUConnection::kUDT;
        } else if (a == "--app") {
            appMode = true;
        } else if (a == "--pad") {
            pad = true;
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "lumora: unknown argument \"%s\"\n%s", a.c_str(), kUsage);
            return 2;
        }
    }

    RenderThread::prepareDriver();
    Config& cfg = Config::shared();
    if (!cfg.loadFromEnvironment()) return 2;
    std::printf("lumora: data root %s\n", cfg.dataRoot.c_str());
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    if (appMode) {
        // ProcessEntry ignores the broken-pipe signal itself.
        InterfaceIdiom::setCurrent(pad ? UserInterfaceIdiom::Pad : UserInterfaceIdiom::Phone);
        std::fflush(stdout);
        ProcessEntry::Options entry;
        entry.shouldStop = [] { return gInterrupted.load(); };
        return ProcessEntry::run(entry);
    }

    std::signal(SIGPIPE, SIG_IGN);
    QvDeviceManager& devices = QvDeviceManager::sharedInstance();
    devices.readDeviceList();
    std::printf("lumora: device list %s: %u device(s)\n", devices.storePath().c_str(), devices.countOfDevices());
    for (const auto& d : devices.devices()) {
        if (d->deviceConType.load() == 1)
            std::printf("lumora:   %d \"%s\" at %s, %d channel(s)\n", d->deviceId, d->name.value().c_str(),
                        d->description().c_str(), d->channelNum.load());
        else
            std::printf("lumora:   %d \"%s\" uid %s, %d channel(s)\n", d->deviceId, d->name.value().c_str(),
                        d->udid.value().c_str(), d->channelNum.load());
    }
    std::fflush(stdout);

    // The live road so far, against a device emulator on loopback.
    std::shared_ptr<LiveDemo> live = LiveDemo::create(demo);
    int status = live->run(RunLoop::main(), [] { return gInterrupted.load(); });
    if (status != 0) std::fprintf(stderr, "lumora: live demo failed: %s\n", live->failure().c_str());
    return status;
}

}  // namespace lumora
