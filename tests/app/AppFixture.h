#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/RootScreenFactory.h"
#include "app/core/Device.h"
#include "app/core/DevicePreConnection.h"
#include "app/core/FileManager.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "base/network/Reachability.h"
#include "platform/Application.h"
#include "platform/Config.h"
#include "platform/net/FakeReachabilityProvider.h"
#include "platform/dispatch/NotificationCenter.h"
#include "platform/storage/PropertyList.h"
#include "platform/runloop/RunLoop.h"
#include "support/TempDir.h"

namespace lumora::test {

// Counts pre-connection starts per device name.
struct PreConnectionLog {
    std::mutex lock;
    std::map<std::string, int> starts;
    int count(const std::string& name) {
        std::lock_guard<std::mutex> g(lock);
        return starts[name];
    }
    int total() {
        std::lock_guard<std::mutex> g(lock);
        int n = 0;
        for (auto& [k, v] : starts) n += v;
        return n;
    }
};

class FakePreConnection : public DevicePreConnection {
public:
    FakePreConnection(std::shared_ptr<PreConnectionLog> log, std::string name)
        : log_(std::move(log)), name_(std::move(name)) {}
    void prepare() override {
        std::lock_guard<std::mutex> g(log_->lock);
        ++log_->starts[name_];
    }
    void connectJustForLan(const std::string&, uint16_t) override {}
    void connectByUid(const std::string&, const std::string&, int) override {}
    void stop() override {}
    void searchState() override {}

private:
    std::shared_ptr<PreConnectionLog> log_;
    std::string name_;
};

// Records what the delegates ask of the screens.
struct ScreenLog {
    std::vector<std::string> calls;
    std::vector<std::pair<std::string, int32_t>> played;
    int count(const std::string& call) const {
        int n = 0;
        for (auto& c : calls) n += c == call;
        return n;
    }
};

class FakePhoneScreen : public PhoneRootScreen {
public:
    explicit FakePhoneScreen(std::shared_ptr<ScreenLog> log) : log_(std::move(log)) {}
    void playDevice(const std::shared_ptr<Device>& device, int32_t channel) override {
        log_->calls.push_back("playDevice");
        log_->played.emplace_back(device ? device->name.value() : "", channel);
    }
    void stopAll() override { log_->calls.push_back("stopAll"); }
    void searchAllDeviceState() override { log_->calls.push_back("searchAllDeviceState"); }

private:
    std::shared_ptr<ScreenLog> log_;
};

class FakeTabletScreen : public TabletRootScreen {
public:
    explicit FakeTabletScreen(std::shared_ptr<ScreenLog> log) : log_(std::move(log)) {}
    void skipToLiveView() override { log_->calls.push_back("skipToLiveView"); }
    void playDevice(const std::shared_ptr<Device>& device, int32_t channel) override {
        log_->calls.push_back("playDevice");
        log_->played.emplace_back(device ? device->name.value() : "", channel);
    }
    void liveViewStopAll() override { log_->calls.push_back("liveViewStopAll"); }
    void startShan() override { log_->calls.push_back("startShan"); }
    void startAutoPlay() override { log_->calls.push_back("startAutoPlay"); }

private:
    std::shared_ptr<ScreenLog> log_;
};

class FakeScreenFactory : public RootScreenFactory {
public:
    explicit FakeScreenFactory(std::shared_ptr<ScreenLog> log) : log_(std::move(log)) {}
    std::shared_ptr<PhoneRootScreen> makePhoneRootScreen() override {
        ++made;
        return std::make_shared<FakePhoneScreen>(log_);
    }
    std::shared_ptr<TabletRootScreen> makeTabletRootScreen() override {
        ++made;
        return std::make_shared<FakeTabletScreen>(log_);
    }
    int made = 0;

private:
    std::shared_ptr<ScreenLog> log_;
};

// A temporary data root holding two stored devices ("Cam A" by address,
// "Cam B" by UID), a fake reachability provider (public host reachable),
// pre-connections that only count, screens that only record, and every
// network peer on a closed loopback port.
class AppTest : public ::testing::Test {
protected:
    static constexpr const char* kHost = "public.lumora.test";

    void SetUp() override {
        RunLoop::main();
        Config& cfg = Config::shared();
        cfg.dataRoot = dir.path();
        cfg.reachabilityHost = kHost;
        cfg.externalAddressUrl = "http://127.0.0.1:1/";
        cfg.pushHost = "127.0.0.1:1";
        provider = std::make_shared<FakeReachabilityProvider>();
        provider->setFlagsForHost(kHost, reachability_flags::kReachable);
        ReachabilityProvider::setShared(provider);
        Device::setPreConnectionFactory([log = preLog](const std::shared_ptr<Device>& d) {
            return std::make_shared<FakePreConnection>(log, d->name.value());
        });
        factory = std::make_shared<FakeScreenFactory>(screens);
        observer = NotificationCenter::defaultCenter().addObserver(
            kNetworkReachabilityChangedNotification, nullptr, [this](const Notification&) { ++reachNotes; });
        storeDevices();
    }
    void TearDown() override {
        // Let the address look-up end (refused at once) before the process
        // does: a request still starting up races the library teardown.
        runUntil([] { return !QvApplicationPreference::sharedInstance().isLookingUpNetIP(); });
        NotificationCenter::defaultCenter().removeObserver(observer);
        Device::setPreConnectionFactory({});
    }

    void storeDevices() {
        QvDeviceManager store(FileManager::sharedInstance());
        auto a = std::make_shared<Device>();
        a->name = std::string("Cam A");
        a->address = std::string("127.0.0.1");
        a->mediaPort = 1;
        a->deviceConType = 1;
        a->channelNum = 4;
        auto b = std::make_shared<Device>();
        b->name = std::string("Cam B");
        b->udid = std::string("LUMO-000001-ABCDE");
        b->deviceConType = 2;
        b->channelNum = 8;
        ASSERT_TRUE(store.addDevice(a));
        ASSERT_TRUE(store.addDevice(b));
        ASSERT_TRUE(store.saveDeviceList());
    }

    bool runUntil(const std::function<bool()>& pred) {
        return RunLoop::main().runUntil(pred, std::chrono::seconds(20));
    }

    static PropertyList payload(const std::string& alert, const std::string& remark) {
        PropertyList aps = PropertyList::makeDictionary();
        aps.set("alert", PropertyList::makeString(alert));
        aps.set("remark", PropertyList::makeString(remark));
        PropertyList root = PropertyList::makeDictionary();
        root.set("aps", aps);
        return root;
    }

    TempDir dir;
    std::shared_ptr<FakeReachabilityProvider> provider;
    std::shared_ptr<PreConnectionLog> preLog = std::make_shared<PreConnectionLog>();
    std::shared_ptr<ScreenLog> screens = std::make_shared<ScreenLog>();
    std::shared_ptr<FakeScreenFactory> factory;
    NotificationCenter::ObserverId observer = 0;
    int reachNotes = 0;
};

// AppTest with one application driven by a delegate of type D.
template <class D>
class DelegateTest : public AppTest {
protected:
    // Launches and waits for the reachability watcher's first report.
    void launch(const PropertyList& options = PropertyList::makeDictionary()) {
        delegate = std::make_unique<D>(factory);
        app = std::make_unique<Application>(*delegate);
        ASSERT_TRUE(app->launch(options));
        ASSERT_TRUE(runUntil([&] { return reachNotes >= 1; }));
    }
    void TearDown() override {
        app.reset();
        delegate.reset();
        AppTest::TearDown();
    }

    std::unique_ptr<D> delegate;
    std::unique_ptr<Application> app;
};

}  // namespace lumora::test
