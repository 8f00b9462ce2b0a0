#include "base/link/ConnectChoice.h"

#include "app/core/ConnectModes.h"
#include "app/core/Device.h"
#include "base/link/TolvClient.h"
#include "platform/Config.h"
#include "platform/Log.h"

namespace lumora {

namespace {

bool present(const SharedText& text) { return !text.value().empty(); }

}  // namespace

void ConnectChoice::connect(TolvClient& client, Device& device) {
    if (device.deviceConType == devicecon::kByAddress) {
        Log::debug("DataController", "\"%s\": connecting to %s:%d", device.name.value().c_str(),
                   device.address.value().c_str(), device.mediaPort.load());
        client.startConnectJustForIP(device.address.value(), static_cast<uint16_t>(device.mediaPort.load()));
        return;
    }
    const Config& cfg = Config::shared();
    const std::string udid = device.udid.value();
    const std::string server1 = cfg.relayHosts[0];
    const int lookupPort = cfg.relayTcpPort;
    if (device.isStartPreCon) {
        client.setDeviceUdid(udid);
        if (device.preConMode == connectmode::kRelay) {
            client.startConnectjustFoward(udid, device.serverIP.value());
        } else if (device.isp2p) {
            if (!present(device.preudpAddress) || device.preudpport <= 0)
                client.startConnectShouldSearchLan(udid, true, server1, lookupPort);
            else if (device.preConMode == connectmode::kHoleUdt)
                client.startConnectjustHole(udid, device.serverIP.value());
            else
                client.startConnectPort(device.preudpAddress.value(), static_cast<uint16_t>(device.preudpport.load()),
                                        true, 0, connectmode::kServerUdt);
        } else {
            if (!present(device.pretcpAddress) || device.pretcpport <= 0)
                client.startConnectShouldSearchLan(udid, true, server1, lookupPort);
            else
                client.startConnectPort(device.pretcpAddress.value(), static_cast<uint16_t>(device.pretcpport.load()),
                                        false, device.socketfd, device.preConMode);
        }
    } else if (present(device.queryAddress)) {
        client.startConnectWithQuery(udid, device.queryAddress.value(),
                                     static_cast<uint16_t>(device.queryMediaPort.load()),
                                     static_cast<int>(device.queryMode.load()), device.serverIP.value());
    } else {
        client.startConnectShouldSearchLan(udid, true, device.serverIP.value(), lookupPort);
    }
}

std::string ConnectChoice::linkPathText(const TolvClient& client) {
    const int mode = client.getConnectMode();
    const char* how = "";
    std::string at = client.tcpIP() + ":" + std::to_string(client.tcpPort());
    switch (mode) {
    case TolvClient::kServerTcp: how = "TCP to the address the look-up server gave"; break;
    case TolvClient::kRelay: how = "TCP through the relay"; break;
    case TolvClient::kServerUdt:
        how = "UDT to the address the look-up server gave";
        at = client.udpIP() + ":" + std::to_string(client.udpPort());
        break;
    case TolvClient::kInnerUdt:
        how = "UDT on the LAN";
        at = client.udpIP() + ":" + std::to_string(client.udpPort());
        break;
    case TolvClient::kHoleUdt:
        how = "UDT through a punched hole";
        at = client.udpIP() + ":" + std::to_string(client.udpPort());
        break;
    case TolvClient::kDirectTcp: how = "TCP to the device's address"; break;
    case TolvClient::kLanTcp: how = "TCP to the address found on the LAN"; break;
    default: how = client.isUDTConnect() ? "UDT" : "TCP"; break;
    }
    return std::string(how) + ", " + at;
}

}  // namespace lumora
