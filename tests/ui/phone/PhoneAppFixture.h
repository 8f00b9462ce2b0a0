#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/AppDelegate.h"
#include "app/DevicePreConnector.h"
#include "app/core/QvApplicationPreference.h"
#include "base/network/NETStatusObj.h"
#include "base/network/Reachability.h"
#include "platform/Application.h"
#include "platform/Config.h"
#include "platform/net/FakeReachabilityProvider.h"
#include "platform/runloop/RunLoop.h"
#include "support/TempDir.h"
#include "ui/common/ColourBars.h"
#include "ui/common/GLVideoView.h"
#include "ui/host/EmulatorWorld.h"
#include "ui/host/ScreenFactory.h"
#include "ui/kit/UIButton.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/phone/ChannelMgmtController.h"
#include "ui/phone/ChannelViewController.h"
#include "ui/phone/LiveViewController.h"

namespace lumora::test {

// The phone application launched headless against emulators on loopback
// ("Gate": 4 channels by address, "Yard": 2 channels by identifier through
// the relay, plus whatever a test adds), with a data root of its own.
class PhoneAppFixture : public ::testing::Test {
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
        delegate.reset();
        driver.reset();
        world.stop();
        RootScreenFactory::install(nullptr);
    }

    void launch(std::vector<EmulatorWorld::DemoDevice> devices = EmulatorWorld::defaultDevices(),
                const std::function<void()>& beforeLaunch = nullptr) {
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
        if (beforeLaunch) beforeLaunch();
        RootScreenFactory::install(factory);
        driver = std::make_unique<KitTestDriver>();
        delegate = std::make_unique<AppDelegate>(factory);
        app = &driver->launch(*delegate);
        screen = std::dynamic_pointer_cast<LiveViewController>(factory->lastScreen());
        ASSERT_NE(screen, nullptr);
        driver->setRoot(screen);
        driver->settle();
        ASSERT_NE(screen->cmcController(), nullptr);
        // The network watcher's first report, as before any user tap.
        ASSERT_TRUE(driver->waitUntil([] { return NETStatusObj::sharedInstance().isHaveNet(); }, 10));
    }

    ChannelViewController* pane(int i) { return screen->cmcController()->channelViewControllerAtIndex(i); }
    bool tap(const std::string& name) {
        bool ok = driver->tap(name);
        driver->settle();
        return ok;
    }
    // Taps a device button and then channel buttons (1-based), each start getting its delay.
    void play(int deviceButton, const std::vector<int>& channels) {
        ASSERT_TRUE(tap("deviceButton" + std::to_string(deviceButton))) << driver->lastError();
        for (int c : channels) {
            ASSERT_TRUE(tap("channelButton" + std::to_string(c))) << driver->lastError();
            driver->advance(0.15);
        }
    }
    bool waitPicture(ChannelViewController* p, uint64_t more = 3) {
        const uint64_t base = p->glView()->presentedCount();
        return driver->waitUntil([&] { return p->glView()->presentedCount() >= base + more && p->glView()->hasPicture(); }, 20);
    }
    // Whether the pane's picture view shows the test clip's colour bars
    // (red, green, yellow, blue, magenta, cyan), the 320x240 picture fitted
    // into the view. A moving stripe crosses them, so each bar is looked at
    // on several picture rows and must show its colour on at least one;
    // `seen` gets the pixels looked at.
    bool showsColourBars(ChannelViewController* p, std::string& seen,
                         const std::vector<int>& rows = {100, 215, 232}) {
        return test::showsColourBars(*driver, p ? p->glView() : nullptr, seen, rows);
    }
    std::string title(int i) { return pane(i)->titleLabel()->text(); }
    UIButton* button(const std::string& name) { return driver->find<UIButton>(name); }
    // With LUMORA_SCREENSHOT_DIR set, the screen is kept there for a look.
    void keepScreenshot(const std::string& name) {
        if (const char* out = std::getenv("LUMORA_SCREENSHOT_DIR")) driver->saveScreenshot(std::string(out) + "/" + name);
    }
    std::vector<std::string> filesUnder(const std::string& ext) { return filesIn(dir.path(), ext); }

    TempDir dir;
    EmulatorWorld world;
    std::shared_ptr<ScreenFactory> factory = std::make_shared<ScreenFactory>();
    std::unique_ptr<KitTestDriver> driver;
    std::unique_ptr<AppDelegate> delegate;
    Application* app = nullptr;
    std::shared_ptr<LiveViewController> screen;
};

}  // namespace lumora::test
