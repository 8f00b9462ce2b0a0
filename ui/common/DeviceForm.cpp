#include "ui/common/DeviceForm.h"

#include <algorithm>
#include <cctype>

#include "app/core/ConnectModes.h"
#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"

namespace lumora {

namespace {
constexpr int kChannelNums[] = {1, 4, 8, 16, 32, 0};
}

long DeviceForm::portValue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long v = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        v = std::min<long>(v * 10 + (text[i++] - '0'), 1L << 40);
    }
    return negative ? -v : v;
}

std::string DeviceForm::storedPassword(const std::string& typed) {
    const bool blank = std::all_of(typed.begin(), typed.end(), [](unsigned char c) { return std::isspace(c); });
    return blank ? std::string() : typed;
}

int DeviceForm::channelNumForIndex(int index) { return index >= 0 && index < 6 ? kChannelNums[index] : 0; }

int DeviceForm::indexForChannelNum(int channelNum) {
    for (int i = 0; i < 5; ++i)
        if (kChannelNums[i] == channelNum) return i;
    return 5;
}

std::string DeviceForm::validationError() const {
    if (name.empty()) return "NAME_NULL";
    if (mode == 1) {
        if (address.empty()) return "ADDR_NULL";
        const long p = portValue(port);
        if (p < 1 || p > 65535) return "ERROR_PORT";
        return {};
    }
    return uid.empty() ? "UID_NULL" : std::string();
}

std::string DeviceForm::duplicateMessageKey(const Device& device) {
    return device.deviceConType.load() == devicecon::kByAddress ? "DEVICE_Name_Duplicate" : "DEVICE_EDIT_NAMEERR";
}

std::shared_ptr<Device> DeviceForm::makeDevice() const {
    auto d = std::make_shared<Device>();
    d->name = name;
    if (mode == 1) {
        d->address = address;
        d->mediaPort = static_cast<uint32_t>(portValue(port));
        d->udid = "";
        d->deviceConType = devicecon::kByAddress;
    } else {
        d->udid = uid;
        d->deviceConType = devicecon::kByUid;
    }
    d->userName = user;
    d->password = storedPassword(password);
    d->channelNum = channelNum;
    if (alarm) d->alarmOnGuard = *alarm;
    return d;
}

bool DeviceForm::applyTo(const std::shared_ptr<Device>& d, const QvDeviceManager& list) const {
    if (!d) return false;
    struct Kept {
        std::optional<std::string> name, user, password, address, udid;
        uint32_t port;
        int32_t channels, conType;
        bool alarm;
    } kept{d->name.get(), d->userName.get(), d->password.get(), d->address.get(), d->udid.get(),
           d->mediaPort.load(), d->channelNum.load(), d->deviceConType.load(), d->alarmOnGuard.load()};
    d->name = name;
    d->userName = user;
    d->password = storedPassword(password);
    d->channelNum = channelNum;
    if (alarm) d->alarmOnGuard = *alarm;
    if (mode == 1) {
        d->deviceConType = devicecon::kByAddress;
        d->address = address;
        d->mediaPort = static_cast<uint32_t>(portValue(port));
        d->udid = "";
    } else {
        d->deviceConType = devicecon::kByUid;
        d->udid = uid;
    }
    if (!list.doesDeviceHaveDuplicateAttribute(d)) return true;
    d->name = kept.name;
    d->userName = kept.user;
    d->password = kept.password;
    d->address = kept.address;
    d->udid = kept.udid;
    d->mediaPort = kept.port;
    d->channelNum = kept.channels;
    d->deviceConType = kept.conType;
    d->alarmOnGuard = kept.alarm;
    return false;
}

}  // namespace lumora
