#include "demo/EmulatorWorld.h"

#include <filesystem>
#include <random>

#include "app/core/ConnectModes.h"
#include "app/core/Device.h"
#include "app/core/FileManager.h"
#include "app/core/QvDeviceManager.h"
#include "platform/Config.h"
#include "tools/relay-emulator/LanSearchResponder.h"
#include "tools/relay-emulator/RelayTcpEmulator.h"
#include "tools/relay-emulator/RelayUdpEmulator.h"

namespace lumora {

namespace {
std::string relayHost(int i) { return "127.0.0.1" + std::to_string(i + 1); }
}  // namespace

std::vector<EmulatorWorld::DemoDevice> EmulatorWorld::defaultDevices() {
    DemoDevice gate;
    gate.name = "Gate";
    gate.channels = 4;
    gate.options.tcpHost = "127.0.0.2";
    DemoDevice yard;
    yard.name = "Yard";
    yard.channels = 2;
    yard.byUid = true;
    yard.uid = "LUMO-000002-YARDB";
    yard.options.tcpHost = "127.0.0.3";
    return {gate, yard};
}

EmulatorWorld::EmulatorWorld() = default;
EmulatorWorld::~EmulatorWorld() { stop(); }

void EmulatorWorld::stop() {
    for (auto& e : emulators_)
        if (e) e->stop();
    emulators_.clear();
    for (auto& r : relays_)
        if (r) r->stop();
    udp_.reset();
    lan_.reset();
}

std::string EmulatorWorld::summary() const {
    const Config& cfg = Config::shared();
    std::string line = "relay servers " + cfg.relayHosts[0] + ".." + cfg.relayHosts[3] + " port " +
                       std::to_string(cfg.relayTcpPort) + "; devices";
    for (const auto& e : emulators_)
        line += " " + e->options().deviceName + "(" + e->options().tcpHost + ":" + std::to_string(e->tcpPort()) + ")";
    return line;
}

bool EmulatorWorld::start(const std::string& dataRoot, const std::vector<DemoDevice>& devices, std::string& error,
                          int lifetimeSeconds) {
    dataRoot_ = dataRoot;
    std::error_code ec;
    std::filesystem::create_directories(dataRoot, ec);
    const std::chrono::milliseconds life = std::chrono::seconds(lifetimeSeconds);
    Config& cfg = Config::shared();
    cfg.dataRoot = dataRoot;
    // The folders under the data root follow it (a world started after
    // another one in the same process stores into its own root).
    FileManager::sharedInstance().setDefaultPaths();

    std::random_device rd;
    std::mt19937 gen(rd());
    std::uniform_int_distribution<int> pick(20000, 59000);
    bool ok = false;
    for (int attempt = 0; attempt < 50 && !ok; ++attempt) {
        const auto port = static_cast<uint16_t>(pick(gen));
        ok = true;
        for (int i = 0; i < 4 && ok; ++i) {
            relays_[i] = std::make_unique<relayemu::RelayTcpEmulator>(relayHost(i), port,
                                                                      relayemu::RelayTcpEmulator::Script(), life);
            ok = relays_[i]->ok();
        }
        if (ok) {
            for (int i = 0; i < 4; ++i) cfg.relayHosts[i] = relayHost(i);
            cfg.relayTcpPort = port;
        }
    }
    if (!ok) {
        error = "no free port for the relay servers";
        return false;
    }
    udp_ = std::make_unique<relayemu::RelayUdpEmulator>(relayHost(0), 0, relayemu::RelayUdpEmulator::Script{}, life);
    if (udp_->ok()) cfg.relayUdpPort = udp_->port();
    lan_ = std::make_unique<relayemu::LanSearchResponder>("127.0.0.15", 0,
                                                          relayemu::LanSearchResponder::Script{true, -1}, life);
    if (lan_->ok()) {
        cfg.lanGroup = "127.0.0.15";
        cfg.lanPort = lan_->port();
    }
    cfg.lanLocalPort = 0;
    // The network counts as up when the loopback relay host is reachable.
    cfg.reachabilityHost = relayHost(0);

    QvDeviceManager store(FileManager::sharedInstance());
    for (const DemoDevice& demo : devices) {
        devemu::EmulatorOptions o = demo.options;
        o.channels = demo.channels;
        o.deviceName = demo.name;
        o.quiet = true;
        auto emu = std::make_unique<devemu::DeviceEmulator>(o);
        if (!emu->start(error)) return false;
        auto d = std::make_shared<Device>();
        d->name = demo.name;
        d->userName = std::string("admin");
        d->password = demo.password;
        d->channelNum = demo.channels;
        if (demo.byUid) {
            d->udid = demo.uid;
            d->deviceConType = 2;
            relayemu::RelayTcpEmulator::Device known;
            known.open.mode = 0;
            known.open.addr = o.tcpHost;
            known.open.port = emu->tcpPort();
            known.afterFailedTcp = known.open;
            for (auto& r : relays_) r->registerDevice(demo.uid, known);
        } else {
            d->address = o.tcpHost;
            d->mediaPort = emu->tcpPort();
            d->deviceConType = devicecon::kByAddress;
        }
        store.addDevice(d);
        emulators_.push_back(std::move(emu));
    }
    if (!store.saveDeviceList()) {
        error = "could not write the device list under " + dataRoot;
        return false;
    }
    return true;
}

}  // namespace lumora
