#include "app/core/Device.h"

#include "app/core/QvUtility.h"
#include "platform/ByteReader.h"
#include "platform/Config.h"
#include "platform/Utf8.h"

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

namespace {

// A device text as the platform reads UTF-8: absent when ill-formed.
std::optional<std::string> deviceText(std::string bytes) {
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

}  // namespace lumora
