#include "app/core/Device.h"

#include "app/core/QvUtility.h"
#include "platform/ByteReader.h"
#include "platform/Config.h"

namespace lumora {

namespace {
std::atomic<int32_t> gNextDeviceId{1};
}

Device::Device() : deviceId(gNextDeviceId.fetch_add(1)) {
    const Config& cfg = Config::shared();
    serverIP = cfg.relayHosts[0];
    serverPort = cfg.relayTcpPort;
}

Device::~Device() = default;

int32_t Device::peekNextDeviceId() { return gNextDeviceId.load(); }

std::string Device::description() const {
    return address.value() + ":" + std::to_string(mediaPort.load());
}

void Device::populateDeviceInfo(const uint8_t* record, size_t size, PUConnection*) {
    ByteReader r(record, size);
    std::string company, product, devName, version;
    uint32_t date = 0;
    uint8_t channels = 0;
    if (r.fixedText(16, company)) companyID = company;
    if (r.fixedText(16, product)) productID = product;
    if (r.fixedText(16, devName)) deviceName = devName;
    if (r.fixedText(16, version)) swVersion = version;
    if (r.u32le(date)) manufactureDate = QvUtility::stringWithOwspDate(date);
    if (r.u8(channels) && channelNum.load() < 1) channelNum = channels;
}

}  // namespace lumora
