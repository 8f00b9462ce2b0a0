#pragma once

// One video pane of either screen family in a window, with a scripted
// session: the session's start is recorded instead of connecting, and the
// test plays the session's part by calling the pane's render callbacks
// (from other threads where the session would). PhonePane and TabletPane
// say what differs between the families: how the pane is made and placed,
// what it tells its delegate and how it says it connects.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/core/Device.h"
#include "app/core/FileManager.h"
#include "app/core/QvDeviceManager.h"
#include "platform/Config.h"
#include "platform/text/Localization.h"
#include "support/TempDir.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/testing/KitTestDriver.h"
#include "ui/phone/ChannelViewController.h"
#include "ui/tablet/ChannelViewControllerHD.h"

namespace lumora::test {

// A solid YUV 4:2:0 picture.
inline std::vector<uint8_t> solidPicture(int w, int h, uint8_t y, uint8_t u, uint8_t v) {
    std::vector<uint8_t> p(static_cast<size_t>(w) * h * 3 / 2, y);
    std::fill(p.begin() + w * h, p.begin() + w * h + w * h / 4, u);
    std::fill(p.begin() + w * h + w * h / 4, p.end(), v);
    return p;
}

inline std::shared_ptr<Device> makePaneDevice(const std::string& name, int port, int conType) {
    auto d = std::make_shared<Device>();
    d->name = name;
    d->address = std::string("127.0.0.1");
    d->mediaPort = port;
    d->deviceConType = conType;
    d->channelNum = 4;
    return d;
}

// What a pane tells its delegate, as lines of text.
struct DelegateCalls {
    std::vector<std::string> calls;
    int count(const std::string& c) const { return static_cast<int>(std::count(calls.begin(), calls.end(), c)); }
};

// The phone's video pane.
struct PhonePane {
    using Pane = ChannelViewController;
    struct Log : DelegateCalls, ChannelViewControllerDelegate {
        void channelViewControllerSessionFailedForDevice(ChannelViewController*, int d, int c) override {
            calls.push_back("failed " + std::to_string(d) + " " + std::to_string(c));
        }
        void channelViewControllerDidFailedTalk(ChannelViewController*, bool failed) override {
            calls.push_back(failed ? "talk failed" : "talk granted");
        }
        void channelViewControllerDidStop(ChannelViewController*, bool s) override {
            calls.push_back(s ? "stop" : "stop NO");
        }
        void channelViewControllerShouldReloadButton(ChannelViewController*, bool r) override {
            calls.push_back(r ? "reload YES" : "reload NO");
        }
    };
    static constexpr ScreenProfile kProfile = ScreenProfile::Phone480;
    static constexpr CGRect kFrame{{0, 0}, {320, 260}};
    // What the delegate hears on a view's first picture and on a granted talk.
    static constexpr const char* kFirstPictureCall = "reload NO";
    static constexpr const char* kGrantCall = "talk granted";
    static constexpr int kGrantCalls = 1;
    // The delegate calls of a failure while connecting to the device and channel.
    static std::vector<std::string> failureCalls(int deviceId, int channel) {
        return {"failed " + std::to_string(deviceId) + " " + std::to_string(channel), "stop"};
    }
    static std::string connecting(const std::string&, int) { return Localization::string("MSG_Con"); }
    static void place(Pane& pane, const std::shared_ptr<Log>& log) {
        pane.updateChannelViewFrame(kFrame);
        pane.setDelegate(log);
    }
    // The family's own marks of a start and of a restart on another channel.
    static void expectStarting(Pane&) {}
    static void expectRestarted(Pane&) {}
};

// The tablet's video tile.
struct TabletPane {
    using Pane = ChannelViewControllerHD;
    struct Log : DelegateCalls, ChannelViewControllerHDDelegate, ChannelViewControllerHDGuestureDelegate {
        void ChannelViewControllerHDSessionFailedForDevice(ChannelViewControllerHD*, int d, int c) override {
            calls.push_back("failed " + std::to_string(d) + " " + std::to_string(c));
        }
        void channelViewControllerHDDidFailedTalk(ChannelViewControllerHD*, bool failed) override {
            calls.push_back(failed ? "talk failed" : "talk ok");
        }
        void channelViewControllerHDStop(ChannelViewControllerHD*) override { calls.push_back("stop"); }
        void channelViewControllerHDShouldReloadButton(ChannelViewControllerHD*) override { calls.push_back("reload"); }
        void ChannelViewControllerHDViewDoubleClicked(ChannelViewControllerHD*, UIGestureRecognizer*) override {
            calls.push_back("double");
        }
    };
    static constexpr ScreenProfile kProfile = ScreenProfile::Tablet;
    static constexpr CGRect kFrame{{0, 0}, {384, 288}};
    static constexpr const char* kFirstPictureCall = "reload";
    static constexpr const char* kGrantCall = "talk ok";
    static constexpr int kGrantCalls = 0;
    static std::vector<std::string> failureCalls(int deviceId, int channel) {
        return {"failed " + std::to_string(deviceId) + " " + std::to_string(channel)};
    }
    static std::string connecting(const std::string& device, int channel) {
        char ch[16];
        std::snprintf(ch, sizeof ch, " ch%02d]", channel + 1);
        return "[" + device + ch + Localization::string("CONNECTING_STATUS");
    }
    static void place(Pane& pane, const std::shared_ptr<Log>& log) {
        pane.view()->setFrame(kFrame);
        pane.updateChannelViewContentFrame();
        pane.setDelegate(log);
        pane.setGusdelegate(log.get());
    }
    static void expectStarting(Pane& pane) { EXPECT_TRUE(pane.testLabel()->isHidden()); }
    static void expectRestarted(Pane& pane) { EXPECT_FALSE(pane.timerValid()); }
};

template <class Family>
class PaneFixture : public ::testing::Test {
protected:
    using Pane = typename Family::Pane;

    PaneFixture() : driver(KitTestDriver::Options{.profile = Family::kProfile}) {}
    void SetUp() override {
        Config::shared().dataRoot = dir.path();
        FileManager::sharedInstance().setDefaultPaths();
        gate = makePaneDevice("Gate", 1, 1);
        QvDeviceManager::sharedInstance().addDevice(gate);
        holder = std::make_shared<Holder>();
        driver.setRoot(holder);
        pane = Pane::create();
        // Held by the starter too: a start may still run on the global queue after the test.
        pane->setSessionStarter([session = session](const std::shared_ptr<Device>& d, int ch) {
            std::lock_guard<std::mutex> g(session->lock);
            session->starts.emplace_back(d ? d->deviceId : -1, ch);
        });
        holder->view()->addSubview(pane->view());
        Family::place(*pane, log);
    }
    void TearDown() override {
        pane->stopLive();
        driver.advance(1);
        QvDeviceManager::sharedInstance().removeDevice(gate);
    }
    size_t startCount() {
        std::lock_guard<std::mutex> g(session->lock);
        return session->starts.size();
    }
    std::pair<int, int> lastStart() {
        std::lock_guard<std::mutex> g(session->lock);
        return session->starts.back();
    }
    // From another thread, as the session does.
    template <class F>
    void fromSession(F f) {
        std::thread t(f);
        t.join();
    }
    // The pane started on Gate's channel and showing its first picture; the delegate's log empty.
    void showing(int channel = 0) {
        pane->startLive(gate, channel);
        pane->renderShow(kRed, 64, 48);
        log->calls.clear();
    }
    std::string title() const { return pane->titleLabel()->text(); }
    // The middle of the pane in the window.
    CGPoint centre() const { return CGPoint{Family::kFrame.size.width / 2, Family::kFrame.size.height / 2}; }

    class Holder : public UIViewController {
    public:
        void loadView() override { setView(new UIView(UIScreen::mainScreen().bounds())); }
    };
    struct ScriptedSession {
        std::mutex lock;
        std::vector<std::pair<int, int>> starts;
    };

    const std::vector<uint8_t> kRed = solidPicture(64, 48, 81, 90, 240);
    TempDir dir;
    KitTestDriver driver;
    std::shared_ptr<Device> gate;
    std::shared_ptr<Holder> holder;
    std::shared_ptr<Pane> pane;
    std::shared_ptr<typename Family::Log> log = std::make_shared<typename Family::Log>();
    std::shared_ptr<ScriptedSession> session = std::make_shared<ScriptedSession>();
};

}  // namespace lumora::test
