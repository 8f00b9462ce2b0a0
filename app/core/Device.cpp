#include "app/core/Device.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "app/core/ConnectModes.h"
#include "app/core/QvUtility.h"
#include "base/network/GCDAsyncSocket.h"
#include "base/network/GCDAsyncSocketDelegate.h"
#include "platform/bytes/ByteReader.h"
#include "platform/Config.h"
#include "platform/text/Utf8.h"
#include "platform/Log.h"

namespace lumora {

namespace {
std::atomic<int32_t> gNextDeviceId{1};

std::mutex gFactoryMutex;
Device::PreConnectionFactory& factorySlot() {
    static Device::PreConnectionFactory factory;
    return factory;
}

// Texts split at every separator, empty fields kept ("a,,b," has 4).
std::vector<std::string> splitFields(const std::string& text, char sep) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(sep, start);
        if (at == std::string::npos) {
            out.push_back(text.substr(start));
            return out;
        }
        out.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

// The integer a text starts with (leading blanks, optional sign, digits);
// 0 when there is none, clamped to the int32 range.
int32_t leadingInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t v = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > INT32_MAX) {
            v = int64_t(INT32_MAX) + 1;
            break;
        }
    }
    if (negative) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    return static_cast<int32_t>(v);
}

}  // namespace

// The probe socket's delegate (main queue). It holds its device weakly: the
// socket may still deliver a callback while the device goes away.
struct Device::ProbeDelegate : GCDAsyncSocketDelegate {
    std::mutex mutex;
    std::weak_ptr<Device> device;

    std::shared_ptr<Device> owner() {
        std::lock_guard<std::mutex> g(mutex);
        return device.lock();
    }
    void socketDidConnectToHost(const SocketPtr& sock, const std::string&, uint16_t) override {
        if (auto d = owner()) d->setOnLine(true);
        sock->disconnect();
    }
    void socketDidDisconnect(const SocketPtr&, const Error& err) override {
        // The close that follows a success carries no error.
        if (err.empty()) return;
        if (auto d = owner()) d->setOnLine(false);
    }
};

Device::Device() : deviceId(gNextDeviceId.fetch_add(1)) {
    const Config& cfg = Config::shared();
    serverIP = cfg.relayHosts[0];
    serverPort = cfg.relayTcpPort;
    probeDelegate_ = std::make_shared<ProbeDelegate>();
    probeSocket_ = GCDAsyncSocket::create(probeDelegate_, DispatchQueue::main());
}

Device::~Device() = default;

int32_t Device::peekNextDeviceId() { return gNextDeviceId.load(); }

std::string Device::description() const {
    return address.value() + ":" + std::to_string(mediaPort.load());
}

namespace {

// A device text as the platform reads UTF-8: absent when ill-formed. A
// device cuts a long text at its field's width, possibly inside a
// multi-byte character: that incomplete last character is left out and
// the whole characters before it kept.
std::optional<std::string> deviceText(std::string bytes) {
    if (Utf8::isValid(bytes)) return bytes;
    // The incomplete tail: up to 3 continuation bytes after a lead byte.
    size_t start = bytes.size();
    size_t continuations = 0;
    while (start > 0 && continuations < 3 && (static_cast<uint8_t>(bytes[start - 1]) & 0xC0) == 0x80) {
        --start;
        ++continuations;
    }
    if (start == 0) return std::nullopt;
    const auto lead = static_cast<uint8_t>(bytes[start - 1]);
    const size_t length = lead >= 0xF5 ? 0 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || continuations + 1 >= length) return std::nullopt;  // not a cut character
    bytes.resize(start - 1);
    if (!Utf8::isValid(bytes)) return std::nullopt;
    return bytes;
}

}  // namespace

void Device::populateDeviceInfo(const uint8_t* record, size_t size, PUConnection*) {
    if (!record) return;
    ByteReader r(record, size);
    std::string company, product, devName, version;
    uint32_t date = 0;
    uint8_t channels = 0;
    if (r.fixedText(16, company)) companyID = deviceText(std::move(company));
    if (r.fixedText(16, product)) productID = deviceText(std::move(product));
    if (r.fixedText(16, devName)) deviceName = deviceText(std::move(devName));
    if (r.fixedText(16, version)) swVersion = deviceText(std::move(version));
    if (r.u32le(date)) manufactureDate = QvUtility::stringWithOwspDate(date);
    if (r.u8(channels)) {
        int32_t current = channelNum.load();
        while (current < 1 && !channelNum.compare_exchange_weak(current, channels)) {
        }
    }
}

// ---------------------------------------------------------------- pre-connection

void Device::setPreConnectionFactory(PreConnectionFactory factory) {
    std::lock_guard<std::mutex> g(gFactoryMutex);
    factorySlot() = std::move(factory);
}

DispatchQueuePtr Device::prequeue() const {
    std::lock_guard<std::mutex> g(preMutex_);
    return prequeue_;
}

std::shared_ptr<DevicePreConnection> Device::preConnection() const {
    std::lock_guard<std::mutex> g(preMutex_);
    return preConnection_;
}

std::shared_ptr<DevicePreConnection> Device::attachPreConnection() {
    auto self = weak_from_this().lock();
    if (!self) {
        Log::warn("Device", "%d: pre-connection needs a shared device", deviceId);
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> g(preMutex_);
        if (preConnection_) return preConnection_;
    }
    PreConnectionFactory factory;
    {
        std::lock_guard<std::mutex> g(gFactoryMutex);
        factory = factorySlot();
    }
    if (!factory) {
        Log::warn("Device", "%d: no pre-connection installed", deviceId);
        return nullptr;
    }
    auto made = factory(self);
    std::lock_guard<std::mutex> g(preMutex_);
    if (!preConnection_) preConnection_ = std::move(made);
    return preConnection_;
}

void Device::startPreConnection() {
    auto connection = attachPreConnection();
    if (!connection) return;
    connection->prepare();
    DispatchQueuePtr queue;
    {
        std::lock_guard<std::mutex> g(preMutex_);
        if (!prequeue_) prequeue_ = DispatchQueue::createSerial("prequeue");
        queue = prequeue_;
    }
    uint64_t attempt = ++preConStarts_;
    // The task keeps the device (and so its pre-connection) alive until it
    // has run.
    queue->async([self = shared_from_this(), connection, attempt]() mutable {
        self->runPreConnection(*connection, attempt);
        connection.reset();
        self.reset();
    });
}

void Device::runPreConnection(DevicePreConnection& connection, uint64_t attempt) {
    if (attempt <= preConStopped_.load()) return;  // stopped before it ran
    std::optional<std::string> uid = udid.get();
    // A device reached by address is never pre-connected.
    if (!uid || uid->empty()) return;
    preConPending_ = true;
    std::optional<std::string> hint = inHourseIpStr.get();
    if (isInIner.load() && hint) {
        std::vector<std::string> fields = splitFields(*hint, ',');
        // "external address,LAN address,port,UDT flag" as the LAN search
        // writes it. The hint names where the device answered in the LAN;
        // the stored address and port (what the user entered, saved with the
        // list) stay as they are. Only a UDT port goes straight to the
        // device: a device that answered without one is found again by the
        // client's own LAN search, which knows its TCP port.
        if (fields.size() == 4) {
            const bool udt = leadingInt(fields[3]) == 1;
            isUDTConnect = udt;
            if (udt) {
                connection.connectJustForLan(fields[1], static_cast<uint16_t>(leadingInt(fields[2])));
                return;
            }
        }
    }
    const Config& cfg = Config::shared();
    connection.connectByUid(*uid, cfg.relayHosts[0], cfg.relayTcpPort);
}

void Device::stopPreConnection() {
    preConStopped_ = preConStarts_.load();
    preConPending_ = false;
    if (auto connection = preConnection()) connection->stop();
}

void Device::searchState() {
    if (auto connection = attachPreConnection()) connection->searchState();
}

void Device::preConnectionDidConnect(const DevicePreConnection::Path& path) {
    if (!preConPending_.exchange(false)) return;  // this attempt already reported, or stopped
    isStartPreCon = true;
    isp2p = path.isp2p;
    preConMode = path.mode;
    socketfd = path.socketfd;
    preudpAddress = path.udpAddress;
    preudpport = path.udpPort;
    pretcpAddress = path.tcpAddress;
    pretcpport = path.tcpPort;
    serverIP = path.serverIP;
    tellPreConDelegate(true);
}

void Device::preConnectionDidFail() {
    if (!preConPending_.exchange(false)) return;
    tellPreConDelegate(false);
}

void Device::preConnectionDidQueryStatus(bool online) { setOnLine(online); }

void Device::setOnLine(bool online) {
    if (isOnLine.exchange(online) != online)
        Log::info("device", "\"%s\" is %s", name.value().c_str(), online ? "online" : "offline");
}

void Device::tellPreConDelegate(bool success) {
    // preconDele belongs to the main thread: read it there, and only while
    // the device still exists.
    std::weak_ptr<Device> weak = weak_from_this();
    int32_t id = deviceId;
    DispatchQueue::main()->async([weak, id, success] {
        auto self = weak.lock();
        if (!self) return;
        if (auto delegate = self->preconDele.lock()) delegate->didpreCondvid(id, success);
    });
}

// ---------------------------------------------------------------- online probe

void Device::goforgetisOnline() {
    if (!probeSocket_ || deviceConType.load() != devicecon::kByAddress) return;
    std::weak_ptr<Device> weak = weak_from_this();
    if (weak.expired()) {
        Log::warn("Device", "%d: the online probe needs a shared device", deviceId);
        return;
    }
    {
        std::lock_guard<std::mutex> g(probeDelegate_->mutex);
        probeDelegate_->device = weak;
    }
    double timeout = 5.0 * Config::shared().timeScale;
    // A refusal (an earlier probe still under way, no address) is ignored.
    probeSocket_->connectToHost(address.value(), static_cast<uint16_t>(mediaPort.load()), "", timeout);
}

}  // namespace lumora
