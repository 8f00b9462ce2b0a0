#include "base/link/DeviceSearch.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <span>
#include <thread>

#include "app/core/ConnectModes.h"
#include "app/core/Device.h"
#include "app/core/QvApplicationPreference.h"
#include "app/core/QvDeviceManager.h"
#include "base/link/RkMessageBuilder.h"
#include "base/link/RkMessageParser.h"
#include "base/link/TxConManager.h"
#include "base/network/NETStatusObj.h"
#include "base/network/SocketFunctions.h"
#include "platform/bytes/ByteReader.h"
#include "platform/Config.h"
#include "platform/Log.h"

namespace lumora {

std::shared_ptr<DeviceSearch> DeviceSearch::create() { return std::make_shared<DeviceSearch>(Private{}); }

std::shared_ptr<lanSearchDelegate> DeviceSearch::lanSearchdelegate() const {
    std::lock_guard<std::mutex> g(mutex_);
    return lanSearchDelegate_.lock();
}
void DeviceSearch::setLanSearchDelegate(const std::shared_ptr<lanSearchDelegate>& d) {
    std::lock_guard<std::mutex> g(mutex_);
    lanSearchDelegate_ = d;
}
std::shared_ptr<AllSearchDelegate> DeviceSearch::allSearchdelegate() const {
    std::lock_guard<std::mutex> g(mutex_);
    return allSearchDelegate_.lock();
}
void DeviceSearch::setAllSearchDelegate(const std::shared_ptr<AllSearchDelegate>& d) {
    std::lock_guard<std::mutex> g(mutex_);
    allSearchDelegate_ = d;
}

namespace {

std::string idText(const RkDeviceId& id) {
    size_t n = 0;
    while (n < id.size() && id[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(id.data()), n);
}

constexpr int kLanReceives = 20;
constexpr int kLanReceiveMs = 1000;

std::atomic<int> gSearchesUnderWay{0};

// Counts a queued search from the moment it is queued until it has ended
// (held by the queued block, so also when the block is dropped unrun).
class SearchUnderWay {
public:
    SearchUnderWay() { gSearchesUnderWay.fetch_add(1); }
    ~SearchUnderWay() { gSearchesUnderWay.fetch_sub(1); }
    SearchUnderWay(const SearchUnderWay&) = delete;
    SearchUnderWay& operator=(const SearchUnderWay&) = delete;
};

}  // namespace

int DeviceSearch::searchesUnderWay() { return gSearchesUnderWay.load(); }

void DeviceSearch::startLanSearch() { startLanSearch(shared_from_this()); }

void DeviceSearch::startLanSearch(const std::shared_ptr<void>& owner) {
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (!lansearchqueue_) lansearchqueue_ = DispatchQueue::createSerial("lansearch");
    }
    // The search holds its owner from the moment it is queued, so a caller
    // that lets go of the owner right away still gets its search (and its
    // delegate calls).
    lansearchqueue_->async(
        [owner, self = shared_from_this(), counted = std::make_shared<SearchUnderWay>()] { self->localSearch(); });
}

int DeviceSearch::localSearch() {
    QvDeviceManager& manager = QvDeviceManager::sharedInstance();
    for (const auto& d : manager.devices()) d->isInIner = false;
    const Config& cfg = Config::shared();
    int fd = udpSocketCreateBind(cfg.lanLocalPort);
    if (fd <= 0) fd = udpSocketCreateBind(static_cast<uint16_t>(std::rand() % 64512 + 1023));
    if (fd <= 0) return 0;
    std::vector<uint8_t> query = RkMessageBuilder::buildMsgForSearchDeviceRequest(RkDeviceId{});
    udpSocketSendTo(fd, cfg.lanGroup, cfg.lanPort, query.data(), query.size());
    std::vector<uint8_t> buf(1024);
    for (int i = 0; i < kLanReceives; ++i) {
        std::string from;
        uint16_t fromPort = 0;
        int n = udpSocketRecvFrom(fd, from, fromPort, buf.data(), buf.size(), cfg.scaledMs(kLanReceiveMs));
        if (n < 4) continue;
        ByteReader r(std::span<const uint8_t>(buf.data(), static_cast<size_t>(n)));
        uint16_t type = 0;
        if (!r.u16le(type) || type != rk::kSearchDeviceResponse) continue;
        RkDeviceId id{};
        uint16_t udtPort = 0, tcpPort = 0;
        std::string addr;
        if (!RkMessageParser::parseSearchDeviceResponse(std::span<const uint8_t>(buf.data() + 4, size_t(n) - 4), id,
                                                        udtPort, addr, tcpPort))
            continue;
        std::string uid = idText(id);
        // An answer without an id names no device (and must not match the
        // devices reached by address, which have none).
        if (uid.empty()) continue;
        std::shared_ptr<Device> device = manager.deviceWithUID(uid);
        if (!device) device = std::make_shared<Device>();  // not added to the list
        device->udid = uid;
        device->address = addr;
        device->mediaPort = fromPort;
        device->connType = 0;
        device->setOnLine(true);
        device->isInIner = true;
        if (udtPort != 0 && udtPort != 0xFFFF) {
            device->mediaPort = udtPort;
            device->isUDTConnect = true;
        } else {
            device->isUDTConnect = false;
        }
        std::string ext = QvApplicationPreference::sharedInstance().ipstr().value_or("(null)");
        device->inHourseIpStr = ext + "," + addr + "," + std::to_string(device->mediaPort.load()) + "," +
                                (device->isUDTConnect ? "1" : "0");
        if (auto l = lanSearchdelegate()) l->newDeviceDidFoundInLan(device, 0);
    }
    socketClose(fd);
    return 0;
}

std::vector<uint8_t> DeviceSearch::buildNetSearch(const std::string& udid) {
    // The UID's own bytes: the answer's id is matched against the UID text.
    return RkMessageBuilder::buildMsgForOpenVSConnectionRequest(RkMessageBuilder::deviceIdBytes(udid));
}

namespace {

// The devices a single-server query asks for.
std::vector<std::shared_ptr<Device>> unfoundDevices(bool searchAll) {
    std::vector<std::shared_ptr<Device>> chosen;
    for (const auto& d : QvDeviceManager::sharedInstance().devices()) {
        if (d->deviceConType == devicecon::kByAddress) continue;
        if (searchAll ? d->isInIner.load() : d->isOnLine.load()) continue;
        chosen.push_back(d);
    }
    return chosen;
}

}  // namespace

void DeviceSearch::netSearch2(const std::string& host, bool searchAll) {
    auto server = TxConManager::sharedInstance().createConTolvSer(host, Config::shared().relayTcpPort,
                                                                  shared_from_this());
    if (!server) return;
    for (const auto& d : unfoundDevices(searchAll)) server->sendMessage(buildNetSearch(d->udid.value()));
}

void DeviceSearch::netSearch(const std::string& host, bool searchAll) {
    const Config& cfg = Config::shared();
    std::string addr = resolveFirstIPv4(host);
    if (addr.empty()) {
        Log::warn("DataController", "IP有错");
        return;
    }
    for (int attempt = 0; attempt < 4; ++attempt) {
        // Sends never raise the broken-pipe signal (MSG_NOSIGNAL).
        int fd = tcpSocketConnectTimeout(addr, cfg.relayTcpPort, cfg.scaledMs(4000));
        if (fd <= 0) {
            Log::warn("DataController", "服务器连接不上111");
            continue;
        }
        for (const auto& d : unfoundDevices(searchAll)) {
            Log::debug("DataController", "serverfd===%d", fd);
            std::vector<uint8_t> query = buildNetSearch(d->udid.value());
            int sent = tcpSocketSendTimeout(fd, query.data(), query.size(), cfg.scaledMs(5000));
            if (sent != static_cast<int>(query.size()))
                sent = tcpSocketSendTimeout(fd, query.data(), query.size(), cfg.scaledMs(3000));
            if (sent != static_cast<int>(query.size())) continue;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::vector<uint8_t> buf(1024);
            int n = tcpSocketRecvTimeout(fd, buf.data(), buf.size(), cfg.scaledMs(3000));
            if (n < static_cast<int>(rk::kHeaderSize)) continue;
            if ((buf[0] | buf[1] << 8) != rk::kOpenVSConnectionResponse) continue;
            int result = 0, mode = 0;
            std::string address;
            uint16_t port = 0;
            uint32_t connectionId = 0;
            RkDeviceId id{};
            if (!RkMessageParser::parseOpenVSConnResponse(
                    std::span<const uint8_t>(buf.data() + rk::kHeaderSize, size_t(n) - rk::kHeaderSize), result,
                    address, port, connectionId, id, mode))
                continue;
            if (result == 0) {
                d->setOnLine(true);
                d->queryAddress = address;
                d->queryMediaPort = port;
                d->queryMode = static_cast<uint32_t>(mode);
                d->serverIP = host;
            } else {
                d->setOnLine(false);
            }
        }
        socketClose(fd);
        return;
    }
}

void DeviceSearch::searchAllDevice() { searchAllDevice(weak_from_this()); }

void DeviceSearch::searchAllDevice(const std::weak_ptr<void>& owner) {
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (!allsearchqueue_) allsearchqueue_ = DispatchQueue::createSerial("searchDevice");
    }
    std::weak_ptr<DeviceSearch> weak = weak_from_this();
    allsearchqueue_->async([owner, weak, counted = std::make_shared<SearchUnderWay>()] {
        auto held = owner.lock();
        auto self = held ? weak.lock() : nullptr;
        if (!self) return;
        self->localSearch();
        if (NETStatusObj::sharedInstance().isHaveNet()) {
            const Config& cfg = Config::shared();
            std::array<std::shared_ptr<ConnetTolvServer>, 4> servers;
            for (size_t i = 0; i < servers.size(); ++i)
                servers[i] = TxConManager::sharedInstance().createConTolvSer(cfg.relayHosts[i], cfg.relayTcpPort,
                                                                             self);
            for (const auto& d : QvDeviceManager::sharedInstance().devices()) {
                if (d->isInIner) continue;
                std::string uid = d->udid.value();
                if (uid.empty()) {
                    // A device reached by address tests itself (online probe).
                    if (!d->address.value().empty()) d->goforgetisOnline();
                    continue;
                }
                std::vector<uint8_t> query = buildNetSearch(uid);
                for (auto& server : servers)
                    if (server) server->sendMessage(query);
            }
        }
        if (auto a = self->allSearchdelegate()) a->AllSearchdidEnd();
    });
}

void DeviceSearch::connectTolvServerDidReadData(ConnetTolvServer& server, const std::vector<uint8_t>& data,
                                                long) {
    const Config& cfg = Config::shared();
    const std::string host = server.tolvServerIP();
    int index = 3;  // any other host counts as server 4
    // Servers 1, 2 and 3 are tried in that order: the first host that
    // matches names the server.
    for (int i = 0; i < 3; ++i) {
        if (host == cfg.relayHosts[static_cast<size_t>(i)]) {
            index = i;
            break;
        }
    }
    std::vector<std::vector<uint8_t>> answers;
    {
        std::lock_guard<std::mutex> g(mutex_);
        bufferdata_.insert(bufferdata_.end(), data.begin(), data.end());
        // Each message is cut by its own length field.
        while (bufferdata_.size() >= 4) {
            size_t length = size_t(bufferdata_[2]) | size_t(bufferdata_[3]) << 8;
            if (bufferdata_.size() < length + 4) break;
            uint16_t type = static_cast<uint16_t>(bufferdata_[0] | bufferdata_[1] << 8);
            if (type != rk::kOpenVSConnectionResponse) {
                bufferdata_.clear();
                break;
            }
            answers.emplace_back(bufferdata_.begin() + 4, bufferdata_.begin() + 4 + static_cast<long>(length));
            bufferdata_.erase(bufferdata_.begin(), bufferdata_.begin() + 4 + static_cast<long>(length));
        }
    }
    QvDeviceManager& manager = QvDeviceManager::sharedInstance();
    for (const auto& payload : answers) {
        int result = 0, mode = 0;
        std::string address;
        uint16_t port = 0;
        uint32_t connectionId = 0;
        RkDeviceId id{};
        // An answer too short to read changes no device but still counts as
        // a reply of this search.
        bool read = RkMessageParser::parseOpenVSConnResponse(payload, result, address, port, connectionId, id, mode);
        // An answer without an id changes no device either.
        const std::string uid = read ? idText(id) : std::string();
        if (auto device = uid.empty() ? nullptr : manager.deviceWithUID(uid)) {
            if (result != 0) {
                if (index == 0) device->isInHub1 = false;
                else if (index == 1) device->isInhub2 = false;
                else device->isInDeg = false;
            } else {
                device->queryAddress = address;
                device->queryMediaPort = port;
                device->queryMode = static_cast<uint32_t>(mode);
                device->serverIP = host;
                device->serverPort = server.tolvserverport();
                if (index == 0) device->isInHub1 = true;
                else if (index == 1) device->isInhub2 = true;
                else if (index == 2) device->isInDeg = true;
                else device->isInEng = true;
            }
            device->setOnLine(device->isInHub1 || device->isInhub2 || device->isInDeg);
        }
        int counted = ++searchtimes_;
        if (counted == static_cast<int>(manager.devices().size()) - 1) {
            searchtimes_ = 0;
            if (auto a = allSearchdelegate()) a->AllSearchdidEnd();
        }
    }
}

}  // namespace lumora
