#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TolvClientTestSupport.h"
#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "base/link/DataController.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/text/Localization.h"
#include "platform/runloop/RunLoop.h"
#include "support/TempDir.h"

namespace lumora::test {

// A pane that records what its session tells it, as texts ("text Porch
// ch01", "failed <text>", "reload 1", "talk 0"), and counts pictures.
struct FakePane : renderDelegate {
    mutable std::mutex m;
    std::vector<std::string> events;
    std::atomic<long> pictureCount{0};
    std::atomic<long> offMainPictures{0};
    std::atomic<int> lastWidth{0};
    std::atomic<int> lastHeight{0};

    void add(std::string e) {
        std::lock_guard<std::mutex> g(m);
        events.push_back(std::move(e));
    }
    std::vector<std::string> all() const {
        std::lock_guard<std::mutex> g(m);
        return events;
    }
    int count(const std::string& e) const {
        std::lock_guard<std::mutex> g(m);
        return static_cast<int>(std::count(events.begin(), events.end(), e));
    }
    int countPrefix(const std::string& p) const {
        std::lock_guard<std::mutex> g(m);
        return static_cast<int>(
            std::count_if(events.begin(), events.end(), [&](const std::string& e) { return e.rfind(p, 0) == 0; }));
    }
    long pictures() const { return pictureCount; }
    std::string joined() const {
        std::string s;
        for (const auto& e : all()) s += e + "; ";
        return s;
    }

    void renderShow(const std::vector<uint8_t>& yuv, int width, int height) override {
        if (!RunLoop::isMainThread()) ++offMainPictures;
        EXPECT_EQ(yuv.size(), static_cast<size_t>(width) * height * 3 / 2);
        lastWidth = width;
        lastHeight = height;
        ++pictureCount;
    }
    void renderFailed(const std::string& text) override { add("failed " + text); }
    void renderReconnecting(const std::string& text) override { add("retrying " + text); }
    void renderShowText(const std::string& text) override { add("text " + text); }
    void renderTalkGetRsp(bool granted) override { add(std::string("talk ") + (granted ? "1" : "0")); }
    void reloadButton(bool learnt) override { add(std::string("reload ") + (learnt ? "1" : "0")); }
};

// The relay servers and device emulator of the client tests, a data folder,
// the shipped strings table, a session with a fake pane.
class DataControllerFixture : public TolvClientFixture {
protected:
    void SetUp() override {
        TolvClientFixture::SetUp();
        Config::shared().dataRoot = dir.path();
        Config::shared().resourceDir = LUMORA_RESOURCE_DIR;
        Localization::reload();
        Config::shared().audioBackend = "null";
        pane = std::make_shared<FakePane>();
        session = DataController::create();
        session->setDelegate(pane);
    }
    void TearDown() override {
        if (session) session->stopLive();
        session.reset();
        TolvClientFixture::TearDown();
        for (auto& d : added) QvDeviceManager::sharedInstance().removeDevice(d);
        Config::shared().dataRoot.clear();
    }

    void startDevice() { TolvClientFixture::startDevice(false); }
    // A device on kDeviceAddr (TCP) with options changed by `change`.
    void startDeviceWith(const std::function<void(devemu::EmulatorOptions&)>& change) {
        devemu::EmulatorOptions o;
        o.tcpHost = kDeviceAddr;
        change(o);
        device = std::make_unique<devemu::DeviceEmulator>(o);
        std::string error;
        ASSERT_TRUE(device->start(error)) << error;
    }
    // Starts a view of `d` and waits for the first picture.
    void liveUntilPicture(const std::shared_ptr<Device>& d, int channel = 0) {
        startLiveFromGlobal(d, channel);
        ASSERT_TRUE(RunLoop::main().runUntil([&] { return pane->pictures() >= 1; }, std::chrono::seconds(30)))
            << pane->joined();
    }

    std::shared_ptr<Device> addressDevice(const std::string& name) {
        auto d = std::make_shared<Device>();
        d->name = name;
        d->deviceConType = 1;
        d->address = kDeviceAddr;
        d->mediaPort = device ? device->tcpPort() : 1;
        d->userName = "admin";
        d->password = "admin";
        add(d);
        return d;
    }
    std::shared_ptr<Device> uidDevice(const std::string& name) {
        auto d = std::make_shared<Device>();
        d->name = name;
        d->udid = kP2PUid;
        d->userName = "admin";
        d->password = "admin";
        d->serverIP = RelayServers::host(0);
        add(d);
        return d;
    }
    void add(const std::shared_ptr<Device>& d) {
        ASSERT_TRUE(QvDeviceManager::sharedInstance().addDevice(d));
        added.push_back(d);
    }
    // As a pane starts a view: on the global queue.
    void startLiveFromGlobal(const std::shared_ptr<Device>& d, int channel) {
        std::weak_ptr<DataController> weak = session;
        DispatchQueue::global()->async([weak, d, channel] {
            if (auto s = weak.lock()) s->startLive(d, channel);
        });
    }

    TempDir dir;
    std::shared_ptr<FakePane> pane;
    std::shared_ptr<DataController> session;
    std::vector<std::shared_ptr<Device>> added;
};

}  // namespace lumora::test
