#include "app/DevicePreConnector.h"

#include <cstdio>

#include "base/link/TolvClient.h"
#include "platform/Log.h"

namespace lumora {

void DevicePreConnector::install() {
    Device::setPreConnectionFactory(
        [](const std::shared_ptr<Device>& device) -> std::shared_ptr<DevicePreConnection> { return create(device); });
}

std::shared_ptr<DevicePreConnector> DevicePreConnector::create(const std::shared_ptr<Device>& device) {
    return std::make_shared<DevicePreConnector>(Private{}, device);
}

DevicePreConnector::DevicePreConnector(Private, const std::shared_ptr<Device>& device) : device_(device) {}

std::shared_ptr<TolvClient> DevicePreConnector::client() const {
    std::lock_guard<std::mutex> g(mutex_);
    return client_;
}

std::shared_ptr<TolvClient> DevicePreConnector::ensureClient() {
    std::lock_guard<std::mutex> g(mutex_);
    if (!client_) client_ = TolvClient::create();
    return client_;
}

void DevicePreConnector::prepare() {
    auto c = ensureClient();
    c->setTolvClientdelegate(shared_from_this());
    c->setIsPreCon(true);
}

// The entry points block: each holds the client for the call's length.
void DevicePreConnector::connectJustForLan(const std::string& address, uint16_t port) {
    if (auto c = client()) c->startConnectJustForLan(address, port);
}

void DevicePreConnector::connectByUid(const std::string& udid, const std::string& host, int port) {
    if (auto c = client()) c->startConnectShouldSearchLan(udid, true, host, port);
}

void DevicePreConnector::stop() {
    if (auto c = client()) c->stopConnect();
}

void DevicePreConnector::searchState() { ensureClient(); }

void DevicePreConnector::tolvClientDidConnect(const std::string&, const std::string& timestr) {
    auto c = client();
    if (!c || timestr != c->timestr()) return;  // a stale report
    // Read the path first: the close below may run at once on another queue.
    Path path;
    path.isp2p = c->isUDTConnect();
    path.mode = c->getConnectMode();
    // The punched socket (getDeviceConFD) goes with the link closed below.
    path.socketfd = 0;
    path.udpAddress = c->udpIP();
    path.udpPort = c->udpPort();
    path.tcpAddress = c->tcpIP();
    path.tcpPort = c->tcpPort();
    path.serverIP = c->vsHost();
    auto device = device_.lock();
    // The link only proved the path: close it off this callback's queue
    // (on "prequeue", after the entry point that opened it has returned).
    DispatchQueuePtr queue = device ? device->prequeue() : nullptr;
    if (!queue) queue = DispatchQueue::global();
    queue->async([c] { c->stopConnect(); });
    if (!device) return;
    Log::info("DevicePreConnector", "\"%s\" pre-connected over %s (mode %d), %s:%d", device->name.value().c_str(),
              path.isp2p ? "UDT" : "TCP", path.mode, path.isp2p ? path.udpAddress.c_str() : path.tcpAddress.c_str(),
              path.isp2p ? path.udpPort : path.tcpPort);
    device->preConnectionDidConnect(path);
}

void DevicePreConnector::tolvClientDidDisConnect(const std::string&, const Error& error) {
    auto device = device_.lock();
    if (!device) return;
    Log::warn("DevicePreConnector", "Device %d pre-connection failed: %s", device->deviceId, error.toString().c_str());
    device->preConnectionDidFail();
}

void DevicePreConnector::tolvClientShouldRecon(const std::string&, const std::string&) {}

int DevicePreConnector::tolvClientDidRecData(const std::vector<uint8_t>& data, const std::string&,
                                             const std::string&) {
    return static_cast<int>(data.size());  // every byte is consumed and dropped
}

void DevicePreConnector::tolvClientDidRecDataLength(int, const std::string&, const std::string&) {}

void DevicePreConnector::tolvClientDidQueryStatus(const std::string&, bool isOnLine) {
    if (auto device = device_.lock()) device->preConnectionDidQueryStatus(isOnLine);
}

}  // namespace lumora
