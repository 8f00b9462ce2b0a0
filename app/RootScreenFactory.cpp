#include "app/RootScreenFactory.h"

#include <cstdio>
#include <mutex>

#include "app/core/Device.h"

namespace lumora {

namespace {

std::string nameOf(const std::shared_ptr<Device>& device) {
    if (!device) return "(none)";
    return device->name.value();
}

class HeadlessPhoneScreen : public PhoneRootScreen {
public:
    void playDevice(const std::shared_ptr<Device>& device, int32_t channel) override {
        std::printf("screen: play \"%s\" channel %d\n", nameOf(device).c_str(), channel);
    }
    void stopAll() override { std::printf("screen: stop all\n"); }
    void searchAllDeviceState() override { std::printf("screen: poll all devices\n"); }
};

class HeadlessTabletScreen : public TabletRootScreen {
public:
    void skipToLiveView() override { std::printf("screen: live view\n"); }
    void playDevice(const std::shared_ptr<Device>& device, int32_t channel) override {
        std::printf("screen: play \"%s\" channel %d\n", nameOf(device).c_str(), channel);
    }
    void liveViewStopAll() override { std::printf("screen: stop all\n"); }
    void startShan() override { std::printf("screen: restart blinking and poll\n"); }
    void startAutoPlay() override { std::printf("screen: resume saved tiles\n"); }
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
