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
#include "ui/common/AppFixture.h"
#include "ui/common/ColourBars.h"
#include "ui/common/GLVideoView.h"
#include "ui/phone/ChannelMgmtController.h"
#include "ui/phone/ChannelViewController.h"
#include "ui/phone/LiveViewController.h"

namespace lumora::test {

// The phone application launched headless against emulators on loopback
// ("Gate": 4 channels by address, "Yard": 2 channels by identifier through
// the relay, plus whatever a test adds), with a data root of its own.
class PhoneAppFixture : public AppFixture {
protected:
    void forgetScreens() override {
        screen.reset();
        delegate.reset();
    }

    void launch(std::vector<EmulatorWorld::DemoDevice> devices = EmulatorWorld::defaultDevices(),
                const std::function<void()>& beforeLaunch = nullptr) {
        startWorld(devices);
        if (HasFatalFailure()) return;
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
        waitForNetwork();
    }

    ChannelViewController* pane(int i) { return screen->cmcController()->channelViewControllerAtIndex(i); }
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
    // With LUMORA_SCREENSHOT_DIR set, the screen is kept there for a look.
    void keepScreenshot(const std::string& name) {
        if (const char* out = std::getenv("LUMORA_SCREENSHOT_DIR")) driver->saveScreenshot(std::string(out) + "/" + name);
    }
    std::vector<std::string> filesUnder(const std::string& ext) { return filesIn(dir.path(), ext); }

    std::unique_ptr<AppDelegate> delegate;
    std::shared_ptr<LiveViewController> screen;
};

}  // namespace lumora::test
