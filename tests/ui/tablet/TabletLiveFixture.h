#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/AppDelegateHD.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "demo/EmulatorWorld.h"
#include "ui/common/AppFixture.h"
#include "ui/common/GLVideoView.h"
#include "ui/host/ScreenFactory.h"
#include "ui/kit/UIScrollView.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/tablet/LiveViewControllerHD.h"
#include "ui/tablet/ViewControllerHD.h"

namespace lumora::test {

// The tablet application launched headless at the tablet profile against
// the emulators on loopback ("Gate": 4 channels by address, "Yard": 2
// channels by identifier), its root the home screen; launch() opens the
// live screen from it unless asked not to.
class TabletLiveFixture : public AppFixture {
protected:
    void TearDown() override {
        if (screen) screen->chanMgmtController()->stopAllLive();
        AppFixture::TearDown();
    }
    void forgetScreens() override {
        screen.reset();
        home.reset();
        delegate.reset();
    }

    void launch(const std::function<void()>& beforeLaunch = nullptr, bool openLive = true) {
        startWorld(EmulatorWorld::defaultDevices());
        if (HasFatalFailure()) return;
        if (beforeLaunch) beforeLaunch();
        RootScreenFactory::install(factory);
        driver = std::make_unique<KitTestDriver>(KitTestDriver::Options{.profile = ScreenProfile::Tablet});
        delegate = std::make_unique<AppDelegateHD>(factory);
        app = &driver->launch(*delegate);
        home = std::dynamic_pointer_cast<ViewControllerHD>(factory->lastScreen());
        ASSERT_NE(home, nullptr);
        driver->setRoot(home);
        driver->settle();
        waitForNetwork();
        if (HasFatalFailure()) return;
        gate = QvDeviceManager::sharedInstance().deviceWithName("Gate");
        ASSERT_TRUE(gate);
        screen = home->liveViewController();
        ASSERT_NE(screen, nullptr);
        if (!openLive) return;
        // As the delegate's skip does.
        home->skipToLiveView();
        driver->advance(0.5);
        ASSERT_EQ(home->presentedViewController(), screen.get());
    }

    ChannelMgmtControllerHD& grid() { return *screen->chanMgmtController(); }
    ChannelViewControllerHD* tile(int i) { return grid().ChannelViewControllerHDAtIndex(i); }
    DeviceMgmtControllerHD& panel() { return *screen->dvcMgmtController(); }
    // Opens the device's section in the panel with a tap on its header.
    void openSection(int section) {
        if (panel().isSectionOpen(section)) return;
        ASSERT_TRUE(tap("sectionHeader" + std::to_string(section))) << driver->lastError();
        ASSERT_TRUE(panel().isSectionOpen(section));
    }
    // Taps the panel's row of the device in that list section and channel.
    void toggle(int section, int channel) {
        openSection(section);
        ASSERT_TRUE(tap("panelChannel" + std::to_string(section) + "_" + std::to_string(channel))) << driver->lastError();
        driver->advance(0.15);
    }
    // The signal icon of a channel row: lit while a tile plays the channel.
    UIButton* signal(int section, int channel) {
        return button("panelSignal" + std::to_string(section) + "_" + std::to_string(channel));
    }
    // Shows the control strip's second page (listen, talk, layouts).
    void secondPage() {
        auto* strip = driver->find<UIScrollView>("controlStrip");
        ASSERT_NE(strip, nullptr);
        strip->setContentOffset(CGPoint{strip->frame().size.width, 0});
        driver->settle();
    }
    void firstPage() {
        driver->find<UIScrollView>("controlStrip")->setContentOffset(CGPoint{0, 0});
        driver->settle();
    }
    bool waitPicture(ChannelViewControllerHD* t, uint64_t more = 3) {
        const uint64_t base = t->glView()->presentedCount();
        return driver->waitUntil([&] { return t->glView()->presentedCount() >= base + more && t->glView()->hasPicture(); }, 20);
    }
    // Selects a tile as a touch on it does.
    void select(ChannelViewControllerHD* t) {
        const CGRect b = t->view()->bounds();
        const CGPoint c = t->view()->convertPointToView(CGPoint{b.size.width / 2, b.size.height / 2}, nullptr);
        driver->tapAt(c);
        driver->advance(0.5);
    }

    std::unique_ptr<AppDelegateHD> delegate;
    std::shared_ptr<ViewControllerHD> home;
    std::shared_ptr<LiveViewControllerHD> screen;  // the home screen's live screen
    std::shared_ptr<Device> gate;
};

}  // namespace lumora::test
