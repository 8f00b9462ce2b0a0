#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/DevicePreConnector.h"
#include "app/core/QvApplicationPreference.h"
#include "base/network/NETStatusObj.h"
#include "base/network/Reachability.h"
#include "demo/EmulatorWorld.h"
#include "platform/Application.h"
#include "platform/Config.h"
#include "platform/net/FakeReachabilityProvider.h"
#include "platform/runloop/RunLoop.h"
#include "support/TempDir.h"
#include "ui/host/ScreenFactory.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/testing/KitTestDriver.h"

namespace lumora::test {

// What the phone and the tablet application tests share: emulators on
// loopback and a data root of their own, the network reachable, protocol
// time-outs scaled down, nothing reaching beyond loopback; the application
// launched headless by the derived fixture and ended here.
class AppFixture : public ::testing::Test {
protected:
    void SetUp() override { RunLoop::main(); }
    void TearDown() override {
        if (app) {
            app->terminate();
            driver->settle();
        }
        RunLoop::main().runUntil([] { return !QvApplicationPreference::sharedInstance().isLookingUpNetIP(); },
                                 std::chrono::seconds(20));
        app = nullptr;
        forgetScreens();
        driver.reset();
        world.stop();
        RootScreenFactory::install(nullptr);
    }
    // Drops the derived fixture's screens and delegate before the driver goes.
    virtual void forgetScreens() {}

    // The emulators and the configuration, before the application starts.
    void startWorld(const std::vector<EmulatorWorld::DemoDevice>& devices) {
        std::string error;
        ASSERT_TRUE(world.start(dir.path(), devices, error, 300)) << error;
        Config& cfg = Config::shared();
        cfg.timeScale = 0.1;
        cfg.externalAddressUrl = "http://127.0.0.1:1/";
        cfg.pushHost = "127.0.0.1:1";
        auto provider = std::make_shared<FakeReachabilityProvider>();
        provider->setFlagsForHost(cfg.reachabilityHost, reachability_flags::kReachable);
        ReachabilityProvider::setShared(provider);
        DevicePreConnector::install();
    }
    // The network watcher's first report, as before any user tap.
    void waitForNetwork() {
        ASSERT_TRUE(driver->waitUntil([] { return NETStatusObj::sharedInstance().isHaveNet(); }, 10));
    }

    bool tap(const std::string& name) {
        const bool ok = driver->tap(name);
        driver->settle();
        return ok;
    }
    UIButton* button(const std::string& name) { return driver->find<UIButton>(name); }

    TempDir dir;
    EmulatorWorld world;
    std::shared_ptr<ScreenFactory> factory = std::make_shared<ScreenFactory>();
    std::unique_ptr<KitTestDriver> driver;
    Application* app = nullptr;
};

}  // namespace lumora::test
