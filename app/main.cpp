#include <csignal>
#include <cstdio>

#include "app/core/FileManager.h"
#include "app/core/QvDeviceManager.h"
#include "platform/Config.h"
#include "platform/RunLoop.h"

using namespace lumora;

int main() {
    // This thread owns the main run loop (and so the main queue).
    lumora::RunLoop::main();
    std::signal(SIGPIPE, SIG_IGN);
    Config& cfg = Config::shared();
    if (!cfg.loadFromEnvironment()) return 2;
    std::printf("lumora: data root %s\n", cfg.dataRoot.c_str());

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
    return 0;
}
