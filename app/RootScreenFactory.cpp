#include "app/RootScreenFactory.h"

#include <cstdio>
#include <mutex>

#include "app/core/Device.h"
#include "platform/Log.h"

namespace lumora {

namespace {

std::string nameOf(const std::shared_ptr<Device>& device) {
    if (!device) return "(none)";
    return device->name.value();
}

class HeadlessPhoneScreen : public PhoneRootScreen {
public:
    void playDevice(const std::shared_ptr<Device>& device, int32_t channel) override {
        Log::info("screen", "play \"%s\" channel %d", nameOf(device).c_str(), channel);
    }
    void stopAll() override { Log::info("screen", "stop all"); }
    void searchAllDeviceState() override { Log::info("screen", "poll all devices"); }
};

class HeadlessTabletScreen : public TabletRootScreen {
public:
    void skipToLiveView() override { Log::info("screen", "live view"); }
    void playDevice(const std::shared_ptr<Device>& device, int32_t channel) override {
        Log::info("screen", "play \"%s\" channel %d", nameOf(device).c_str(), channel);
    }
    void liveViewStopAll() override { Log::info("screen", "stop all"); }
    void startShan() override { Log::info("screen", "restart blinking and poll"); }
    void startAutoPlay() override { Log::info("screen", "resume saved tiles"); }
};

class HeadlessFactory : public RootScreenFactory {
public:
    std::shared_ptr<PhoneRootScreen> makePhoneRootScreen() override { return std::make_shared<HeadlessPhoneScreen>(); }
    std::shared_ptr<TabletRootScreen> makeTabletRootScreen() override {
        return std::make_shared<HeadlessTabletScreen>();
    }
};

std::mutex gLock;
std::shared_ptr<RootScreenFactory> gFactory;

}  // namespace

void RootScreenFactory::install(std::shared_ptr<RootScreenFactory> factory) {
    std::lock_guard<std::mutex> g(gLock);
    gFactory = std::move(factory);
}

std::shared_ptr<RootScreenFactory> RootScreenFactory::current() {
    std::lock_guard<std::mutex> g(gLock);
    if (!gFactory) gFactory = std::make_shared<HeadlessFactory>();
    return gFactory;
}

}  // namespace lumora
