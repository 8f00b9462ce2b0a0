#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/EngineMain.h"

#include "app/CommandLine.h"
#include "app/DevicePreConnector.h"
#include "app/core/ConnectModes.h"
#include "app/ProcessEntry.h"
#include "app/core/FileManager.h"
#include "app/core/QvDeviceManager.h"
#include "platform/Config.h"
#include "platform/InterfaceIdiom.h"
#include "platform/Log.h"
#include "platform/graphics/RenderThread.h"
#include "platform/storage/DataFolder.h"
#include "platform/graphics/RenderThread.h"
#include "platform/runloop/RunLoop.h"

namespace lumora {

namespace {

std::atomic<bool> gInterrupted{false};
void onSignal(int) { gInterrupted = true; }

}  // namespace

int EngineMain::run(const CommandLine& line, const LiveDemoMode& liveDemo) {
    std::string error;
    // This thread owns the main run loop (and so the main queue).
    lumora::RunLoop::main();
    // Devices pre-connect through their own peer-to-peer client.
    DevicePreConnector::install();

    const bool appMode = line.app;
    const bool pad = line.pad;

    Config& cfg = Config::shared();
    if (!cfg.loadFromEnvironment()) return 2;
    if (!DataFolder::prepare(cfg.dataRoot, error)) {
        std::fprintf(stderr, "lumora: %s\n", error.c_str());
        return 1;
    }
    std::printf("lumora: data root %s\n", cfg.dataRoot.c_str());
    // Ctrl-C, SIGTERM and a closed terminal all end the program the same way:
    // the run loop stops and the application terminates (saving its state).
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);

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
        if (d->deviceConType.load() == devicecon::kByAddress)
            std::printf("lumora:   %d \"%s\" at %s, %d channel(s)\n", d->deviceId, d->name.value().c_str(),
                        d->description().c_str(), d->channelNum.load());
        else
            std::printf("lumora:   %d \"%s\" uid %s, %d channel(s)\n", d->deviceId, d->name.value().c_str(),
                        d->udid.value().c_str(), d->channelNum.load());
    }
    std::fflush(stdout);

    // The live road so far, against a device emulator on loopback.
    if (!liveDemo) {
        std::fprintf(stderr, "lumora: live demo failed: this program has none\n");
        return 1;
    }
    try {
        return liveDemo(line, [] { return gInterrupted.load(); });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lumora: ended by an exception: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "lumora: ended by an exception\n");
    }
    return 1;
}

}  // namespace lumora
