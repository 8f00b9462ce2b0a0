#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/AppDelegateHD.h"
#include "app/DevicePreConnector.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "base/network/NETStatusObj.h"
#include "base/network/Reachability.h"
#include "platform/Application.h"
#include "platform/Config.h"
#include "platform/net/FakeReachabilityProvider.h"
#include "platform/runloop/RunLoop.h"
#include "support/TempDir.h"
#include "ui/common/GLVideoView.h"
#include "ui/host/EmulatorWorld.h"
#include "ui/host/ScreenFactory.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/tablet/ChannelMgmtControllerHD.h"
#include "ui/tablet/ChannelViewControllerHD.h"
#include "ui/tablet/LiveViewControllerHD.h"
#include "ui/tablet/ViewControllerHD.h"

namespace lumora::test {

// The tablet application launched headless at the tablet profile against
// the emulators on loopback ("Gate": 4 channels by address, "Yard": 2
// channels by identifier), its root the home screen.
class TabletAppFixture : public ::testing::Test {
protected:
    void SetUp() override { RunLoop::main(); }
    void TearDown() override {
        if (LiveViewControllerHD* live = home ? home->liveViewController() : nullptr)
            live->chanMgmtController()->stopAllLive();
        if (app) {
            app->terminate();
            driver->settle();
        }
        RunLoop::main().runUntil([] { return !QvApplicationPreference::sharedInstance().isLookingUpNetIP(); },
                                 std::chrono::seconds(20));
        app = nullptr;
        home.reset();
        delegate.reset();
        driver.reset();
        world.stop();
        RootScreenFactory::install(nullptr);
    }

    // Starts the emulators, runs `beforeLaunch` (preferences to store, say),
    // launches the tablet delegate and puts its home screen in the window.
    void launch(const std::function<void()>& beforeLaunch = nullptr) {
        std::string error;
        ASSERT_TRUE(world.start(dir.path(), EmulatorWorld::defaultDevices(), error, 300)) << error;
        Config& cfg = Config::shared();
        cfg.timeScale = 0.1;
        cfg.externalAddressUrl = "http://127.0.0.1:1/";
        cfg.pushHost = "127.0.0.1:1";
        auto provider = std::make_shared<FakeReachabilityProvider>();
        provider->setFlagsForHost(cfg.reachabilityHost, reachability_flags::kReachable);
        ReachabilityProvider::setShared(provider);
        DevicePreConnector::install();
        if (beforeLaunch) beforeLaunch();
        RootScreenFactory::install(factory);
        driver = std::make_unique<KitTestDriver>(KitTestDriver::Options{.profile = ScreenProfile::Tablet});
        delegate = std::make_unique<AppDelegateHD>(factory);
        app = &driver->launch(*delegate);
        home = std::dynamic_pointer_cast<ViewControllerHD>(factory->lastScreen());
        ASSERT_NE(home, nullptr);
        driver->setRoot(home);
        driver->settle();
        ASSERT_TRUE(driver->waitUntil([] { return NETStatusObj::sharedInstance().isHaveNet(); }, 10));
        gate = QvDeviceManager::sharedInstance().deviceWithName("Gate");
        ASSERT_TRUE(gate);
    }

    // Opens the live screen from the home screen, as the delegate's skip does.
    LiveViewControllerHD* openLive() {
        home->skipToLiveView();
        driver->advance(0.5);
        return home->liveViewController();
    }

    LiveViewControllerHD* live() const { return home ? home->liveViewController() : nullptr; }
    ChannelMgmtControllerHD& grid() { return *live()->chanMgmtController(); }
    ChannelViewControllerHD* tile(int i) { return grid().ChannelViewControllerHDAtIndex(i); }
    bool waitPicture(ChannelViewControllerHD* t, uint64_t more = 3) {
        const uint64_t base = t->glView()->presentedCount();
        return driver->waitUntil([&] { return t->glView()->presentedCount() >= base + more && t->glView()->hasPicture(); }, 20);
    }

    TempDir dir;
    EmulatorWorld world;
    std::shared_ptr<ScreenFactory> factory = std::make_shared<ScreenFactory>();
    std::unique_ptr<KitTestDriver> driver;
    std::unique_ptr<AppDelegateHD> delegate;
    Application* app = nullptr;
    std::shared_ptr<ViewControllerHD> home;
    std::shared_ptr<Device> gate;
};

}  // namespace lumora::test
