#include "app/core/QvDeviceManager.h"

#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "app/core/ConnectModes.h"
#include "app/core/FileManager.h"
#include "platform/bytes/ByteReader.h"
#include "platform/Config.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/PropertyList.h"
#include "platform/text/Utf8.h"
#include "platform/Log.h"

namespace lumora {

namespace {

using P = PropertyList;

bool sameText(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    return a && b && *a == *b;
}

std::optional<std::string> textFor(const P& dict, const char* key) {
    const P* v = dict.find(key);
    return v ? v->asString() : std::nullopt;
}

int64_t numberFor(const P& dict, const char* key) {
    const P* v = dict.find(key);
    return v ? v->asInteger().value_or(0) : 0;
}

bool boolFor(const P& dict, const char* key) {
    const P* v = dict.find(key);
    return v ? v->asBoolean().value_or(false) : false;
}

// A text of the old binary list as a device text: well-formed UTF-8 always,
// so the device can be stored and named.
std::string oldText(const std::string& bytes) { return Utf8::repaired(bytes); }

}  // namespace

QvDeviceManager& QvDeviceManager::sharedInstance() {
    // Kept for the life of the process and never destroyed: its devices own
    // sockets and queues that must not be torn down during exit, after the
    // dispatch runtime's thread-local state is gone.
    static QvDeviceManager* instance = new QvDeviceManager(FileManager::sharedInstance());
    return *instance;
}

QvDeviceManager::QvDeviceManager(FileManager& files) : files_(files) {}

std::vector<std::shared_ptr<Device>> QvDeviceManager::devices() const {
    std::lock_guard<std::mutex> g(lock_);
    return devices_;
}

uint32_t QvDeviceManager::countOfDevices() const {
    std::lock_guard<std::mutex> g(lock_);
    return static_cast<uint32_t>(devices_.size());
}

std::shared_ptr<Device> QvDeviceManager::objectInDevicesAtIndex(uint32_t index) const {
    std::lock_guard<std::mutex> g(lock_);
    return index < devices_.size() ? devices_[index] : nullptr;
}

bool QvDeviceManager::insertObject(std::shared_ptr<Device> device, uint32_t index) {
    if (!device) return false;
    std::lock_guard<std::mutex> g(lock_);
    if (index > devices_.size()) return false;
    const auto address = device->address.get();
    const uint32_t port = device->mediaPort.load();
    for (const auto& e : devices_) {
        if (e == device) return false;
        if (sameText(e->address.get(), address) && e->mediaPort.load() == port) return false;
    }
    devices_.insert(devices_.begin() + index, std::move(device));
    return true;
}

bool QvDeviceManager::removeObjectFromDevicesAtIndex(uint32_t index) {
    std::lock_guard<std::mutex> g(lock_);
    if (index >= devices_.size()) return false;
    devices_.erase(devices_.begin() + index);
    return true;
}

bool QvDeviceManager::clashes(const Device& d, const Device& e) {
    if (d.deviceConType.load() == devicecon::kByAddress) {
        if (sameText(e.address.get(), d.address.get()) && e.mediaPort.load() == d.mediaPort.load()) return true;
    } else if (sameText(e.udid.get(), d.udid.get())) {
        return true;
    }
    return sameText(e.name.get(), d.name.get());
}

bool QvDeviceManager::isDuplicateLocked(const Device& candidate, const Device* skip) const {
    for (const auto& e : devices_) {
        if (e.get() == skip) continue;
        if (e.get() == &candidate || clashes(candidate, *e)) return true;
    }
    return false;
}

bool QvDeviceManager::addDevice(std::shared_ptr<Device> device) {
    if (!device) return false;
    std::lock_guard<std::mutex> g(lock_);
    if (isDuplicateLocked(*device, nullptr)) return false;
    devices_.push_back(std::move(device));
    return true;
}

bool QvDeviceManager::removeDevice(const std::shared_ptr<Device>& device) {
    std::lock_guard<std::mutex> g(lock_);
    auto it = std::find(devices_.begin(), devices_.end(), device);
    if (!device || it == devices_.end()) return false;
    devices_.erase(it);
    return true;
}

bool QvDeviceManager::removeDeviceWithId(int32_t deviceId) {
    std::lock_guard<std::mutex> g(lock_);
    auto it = std::find_if(devices_.begin(), devices_.end(), [&](const auto& d) { return d->deviceId == deviceId; });
    if (it == devices_.end()) return false;
    devices_.erase(it);
    return true;
}

uint32_t QvDeviceManager::indexOfDevice(const std::shared_ptr<Device>& device) const {
    std::lock_guard<std::mutex> g(lock_);
    auto it = std::find(devices_.begin(), devices_.end(), device);
    if (!device || it == devices_.end()) return kNotFound;
    return static_cast<uint32_t>(it - devices_.begin());
}

std::shared_ptr<Device> QvDeviceManager::deviceWithId(int32_t deviceId) const {
    std::lock_guard<std::mutex> g(lock_);
    for (const auto& d : devices_)
        if (d->deviceId == deviceId) return d;
    return nullptr;
}

std::shared_ptr<Device> QvDeviceManager::deviceWithName(const std::string& name) const {
    std::lock_guard<std::mutex> g(lock_);
    for (const auto& d : devices_)
        if (d->name == std::optional<std::string>(name)) return d;
    return nullptr;
}

std::shared_ptr<Device> QvDeviceManager::deviceWithUID(const std::optional<std::string>& udid) const {
    // An empty id is no id: it must not find the devices reached by address.
    if (!udid || udid->empty()) return nullptr;
    std::lock_guard<std::mutex> g(lock_);
    for (const auto& d : devices_)
        if (d->udid == udid) return d;
    return nullptr;
}

std::shared_ptr<Device> QvDeviceManager::deviceWithAddress(const std::string& address, int32_t port) const {
    std::lock_guard<std::mutex> g(lock_);
    for (const auto& d : devices_)
        if (d->address == std::optional<std::string>(address) && int64_t(d->mediaPort.load()) == int64_t(port))
            return d;
    return nullptr;
}

bool QvDeviceManager::doesDeviceHaveDuplicateAttribute(const std::shared_ptr<Device>& device) const {
    if (!device) return false;
    std::lock_guard<std::mutex> g(lock_);
    for (const auto& e : devices_) {
        if (e == device) continue;
        if (clashes(*device, *e)) return true;
    }
    return false;
}

std::string QvDeviceManager::storePath() const {
    const std::string config = files_.configPath();
    return config.empty() ? std::string() : config + "/" + kStoreName;
}

std::string QvDeviceManager::oldListPath() const {
    const std::string docs = files_.documentsPath();
    return docs.empty() ? std::string() : docs + "/" + kOldListName;
}

PropertyList QvDeviceManager::dictionaryForDevice(Device& d) {
    // The store never holds an absent server or LAN hint: the device's own
    // field becomes "" first, as the screens then see it.
    if (d.serverIP.isAbsent()) d.serverIP = "";
    if (d.inHourseIpStr.isAbsent()) d.inHourseIpStr = "";
    P dict = P::makeDictionary();
    dict.set("name", P::makeString(d.name.value()));
    dict.set("address", P::makeString(d.address.value()));
    dict.set("mediaPort", P::makeInteger(d.mediaPort.load()));
    dict.set("userName", P::makeString(d.userName.value()));
    dict.set("password", P::makeString(d.password.value()));
    dict.set("encryptType", P::makeInteger(d.encryptType.load()));
    if (auto deviceName = d.deviceName.get()) dict.set("deviceName", P::makeString(*deviceName));
    dict.set("deviceUDID", P::makeString(d.udid.value()));
    dict.set("videoChannelNum", P::makeInteger(d.channelNum.load()));
    dict.set("alarmOnGuard", P::makeBoolean(d.alarmOnGuard.load()));
    dict.set("deviceConType", P::makeInteger(d.deviceConType.load()));
    dict.set("serverIP", P::makeString(d.serverIP.value()));
    dict.set("serverPort", P::makeInteger(d.serverPort.load()));
    dict.set("useOwsp3", P::makeBoolean(d.useOwsp3.load()));
    dict.set("inhourseIPstr1", P::makeString(d.inHourseIpStr.value()));
    return dict;
}

std::shared_ptr<Device> QvDeviceManager::deviceFromDictionary(const PropertyList& dict) {
    const Config& cfg = Config::shared();
    auto d = std::make_shared<Device>();
    d->name = textFor(dict, "name");
    d->address = textFor(dict, "address");
    d->userName = textFor(dict, "userName");
    d->password = textFor(dict, "password");
    d->mediaPort = static_cast<uint32_t>(numberFor(dict, "mediaPort"));
    d->channelNum = static_cast<int32_t>(static_cast<uint32_t>(numberFor(dict, "videoChannelNum")));
    d->encryptType = static_cast<uint8_t>(numberFor(dict, "encryptType"));
    d->udid = textFor(dict, "deviceUDID");
    d->deviceConType = static_cast<int32_t>(numberFor(dict, "deviceConType"));
    d->serverPort = static_cast<int32_t>(numberFor(dict, "serverPort"));
    if (auto server = textFor(dict, "serverIP"))
        d->serverIP = server;
    else
        d->serverIP = cfg.relayHosts[0];
    // Every device is looked up on the relay servers' one TCP port.
    d->serverPort = cfg.relayTcpPort;
    // The user's alarm switch survives a restart.
    d->alarmOnGuard = boolFor(dict, "alarmOnGuard");
    d->useOwsp3 = boolFor(dict, "useOwsp3");
    d->inHourseIpStr = textFor(dict, "inhourseIPstr1");
    return d;
}

std::vector<std::shared_ptr<Device>> QvDeviceManager::readStore() const {
    std::vector<std::shared_ptr<Device>> out;
    const std::string path = storePath();
    if (path.empty()) return out;
    // Copies left by saves that never reached their rename hold the whole
    // list, passwords included.
    if (int stale = AtomicFile::removeStaleTemporaries(path))
        Log::info("QvDeviceManager", "removed %d copies left by interrupted saves of %s", stale, path.c_str());
    auto r = PropertyList::readFile(path);
    if (r.status == PropertyList::ReadStatus::Missing) return out;
    if (r.status == PropertyList::ReadStatus::Unreadable) {
        Log::warn("QvDeviceManager", "cannot read %s: %s", path.c_str(), r.error.toString().c_str());
        // The file may hold devices: a save must not replace it with what
        // this run knows.
        unreadableStore_ = true;
        return out;
    }
    if (r.status == PropertyList::ReadStatus::Malformed || !r.value->isArray()) {
        // Keep the user's data for recovery; the next save writes a new file.
        // A file kept aside earlier is never replaced: the next free name
        // (".bad", ".bad.1", ...) takes this one.
        std::string aside = path + ".bad";
        struct stat st{};
        for (int i = 1; ::lstat(aside.c_str(), &st) == 0 && i < 1000; ++i) aside = path + ".bad." + std::to_string(i);
        if (::lstat(aside.c_str(), &st) != 0 && ::rename(path.c_str(), aside.c_str()) == 0)
            Log::warn("QvDeviceManager", "%s is not a device list; kept as %s", path.c_str(), aside.c_str());
        else
            Log::warn("QvDeviceManager", "%s is not a device list", path.c_str());
        return out;
    }
    for (const auto& item : r.value->items()) {
        if (!item.isDictionary()) continue;
        out.push_back(deviceFromDictionary(item));
    }
    return out;
}

void QvDeviceManager::readDeviceList() {
    if (loadOldList()) return;
    auto stored = readStore();
    std::lock_guard<std::mutex> g(lock_);
    devices_.insert(devices_.end(), stored.begin(), stored.end());
}

bool QvDeviceManager::saveDeviceList() {
    std::lock_guard<std::mutex> saving(saveLock_);
    const std::string path = storePath();
    if (path.empty()) return false;
    if (unreadableStore_) {
        Log::error("QvDeviceManager", "%s could not be read; not replaced", path.c_str());
        return false;
    }
    P root = P::makeArray();
    for (const auto& d : devices()) root.append(dictionaryForDevice(*d));
    Error err;
    if (!root.writeXmlFile(path, 0600, &err)) {
        Log::error("QvDeviceManager", "cannot save %s: %s", path.c_str(), err.toString().c_str());
        return false;
    }
    return true;
}

bool QvDeviceManager::loadOldList() {
    const std::string path = oldListPath();
    if (path.empty()) return false;
    // Opened without blocking (a FIFO in its place would wait for a writer
    // for ever) and read only when it is a regular file.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        Log::warn("QvDeviceManager", "%s is not a file; not read", path.c_str());
        ::close(fd);
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Log::warn("QvDeviceManager", "cannot read %s", path.c_str());
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), buf, buf + n);
    }
    ::close(fd);

    // What the current store holds stays; the old records join it.
    std::vector<std::shared_ptr<Device>> list = readStore();
    {
        std::lock_guard<std::mutex> g(lock_);
        devices_ = std::move(list);
    }

    const std::string photoRoot = files_.photoPath();
    const std::string recordRoot = files_.recordPath();
    const std::string oldMedia = files_.documentationPath();
    ByteReader r(bytes.data(), bytes.size());
    r.skip(1);  // leading byte: nothing in it is used
    int migrated = 0;
    ByteReader rec;
    while (r.sub(kOldRecordSize, rec)) {
        std::string name, address, user, password, photoFolder, recordFolder;
        uint32_t port = 0, channels = 0;
        rec.fixedText(128, name);
        rec.fixedText(128, address);
        rec.u32le(port);
        rec.fixedText(128, user);
        rec.fixedText(128, password);
        rec.u32le(channels);
        rec.fixedText(260, photoFolder);
        rec.fixedText(264, recordFolder);

        auto d = std::make_shared<Device>();
        const std::string deviceName = oldText(name);
        d->name = deviceName;
        d->address = oldText(address);
        d->mediaPort = port;
        d->userName = oldText(user);
        d->password = oldText(password);
        d->channelNum = static_cast<int32_t>(channels);
        // The old list knew devices only by address and port.
        d->deviceConType = devicecon::kByAddress;
        {
            std::lock_guard<std::mutex> g(lock_);
            if (isDuplicateLocked(*d, nullptr)) {
                Log::warn("QvDeviceManager", "%s from the old list is already listed", deviceName.c_str());
                continue;
            }
            devices_.push_back(d);
        }
        ++migrated;
        if (!FileManager::isSafeName(deviceName) || oldMedia.empty()) continue;
        if (FileManager::isSafeName(photoFolder) && !photoRoot.empty())
            files_.moveFolder(oldMedia + "/image/" + photoFolder, photoRoot + "/" + deviceName);
        if (FileManager::isSafeName(recordFolder) && !recordRoot.empty())
            files_.moveFolder(oldMedia + "/Records/" + recordFolder, recordRoot + "/" + deviceName);
    }
    Log::info("QvDeviceManager", "migrated %d device(s) from %s", migrated, path.c_str());

    // The old file goes only once its devices are safely in the store.
    if (saveDeviceList()) {
        if (::unlink(path.c_str()) != 0)
            Log::warn("QvDeviceManager", "cannot delete %s (errno %d)", path.c_str(), errno);
    } else {
        Log::warn("QvDeviceManager", "%s kept until the device list can be saved", path.c_str());
    }
    return true;
}

void QvDeviceManager::setDefaultDevice() {
    auto d = std::make_shared<Device>();
    d->name = "Demo";
    d->address = Config::shared().demoDeviceAddress;
    d->mediaPort = 5008;
    d->userName = "admin";
    d->password = "470285";
    d->encryptType = 0;
    d->channelNum = 4;
    // Reached by its address: it has no peer-to-peer identifier.
    d->deviceConType = devicecon::kByAddress;
    std::lock_guard<std::mutex> g(lock_);
    devices_.push_back(std::move(d));
}

}  // namespace lumora
