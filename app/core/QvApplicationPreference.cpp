#include "app/core/QvApplicationPreference.h"

#include <arpa/inet.h>

#include <cctype>
#include <cstdio>

#include "app/core/FileManager.h"
#include "platform/Config.h"
#include "platform/net/HttpRequest.h"
#include "platform/InterfaceIdiom.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/PropertyList.h"
#include "platform/text/TextEncoding.h"
#include "platform/Log.h"

namespace lumora {

namespace {

constexpr const char* kStoreName = "configuration.plist";
constexpr mode_t kStoreMode = 0600;

// Store keys.
constexpr const char* kLayoutStyle = "LayoutStyle";
constexpr const char* kLivePreference = "LivePreference";
constexpr const char* kModePreference = "modePreference";
constexpr const char* kHistory = "History";
constexpr const char* kDeviceId = "DeviceId";
constexpr const char* kChannel = "Channel";
constexpr const char* kAutoPlay = "AutoPlay";
constexpr const char* kSkipHomePage = "SkipHomePage";
constexpr const char* kShowAdReminder = "ShowAdReminder";
constexpr const char* kHideAd = "HideAd";
constexpr const char* kIsFull = "isFull";
constexpr const char* kIsInnerGetMain = "isInnerGetMain";
constexpr const char* kDevicecount = "devicecount";
constexpr const char* kCamcount = "camcount";

// A number key as a 32-bit integer; missing or not a number reads as 0.
int32_t readInt(const PropertyList* dict, const char* key) {
    const PropertyList* v = dict ? dict->find(key) : nullptr;
    auto n = v ? v->asInteger() : std::nullopt;
    return static_cast<int32_t>(n.value_or(0));
}

bool readBool(const PropertyList* dict, const char* key) {
    const PropertyList* v = dict ? dict->find(key) : nullptr;
    return v ? v->asBoolean().value_or(false) : false;
}

}  // namespace

QvApplicationPreference& QvApplicationPreference::sharedInstance() {
    static QvApplicationPreference instance;  // created once, thread-safely
    return instance;
}

QvApplicationPreference::QvApplicationPreference() = default;

QvApplicationPreference::~QvApplicationPreference() {
    if (lookup_) lookup_->cancel();
}

unsigned QvApplicationPreference::numberOfLiveViewsForStyle(int32_t style) {
    switch (static_cast<uint32_t>(style)) {
        case 0: return 1;
        case 1: return 4;
        case 2: return 6;
        case 3: return 9;
        case 4: return 16;
        default: return 6;  // 5 and anything else
    }
}

size_t QvApplicationPreference::historySizeForStyle(int32_t style) {
    // Style 5 shows 6 views but keeps 7 history records.
    return style == 5 ? 7 : numberOfLiveViewsForStyle(style);
}

int32_t QvApplicationPreference::defaultLayoutStyle() { return InterfaceIdiom::isPad() ? 2 : 1; }

unsigned QvApplicationPreference::maxNumberOfLiveViews() const { return InterfaceIdiom::isPad() ? 16 : 4; }

void QvApplicationPreference::setLayoutStyle(int32_t style) {
    layoutStyle_ = style;
    connectionHistory_.resize(historySizeForStyle(style));  // new records are (-1, -1)
}

void QvApplicationPreference::padHistory(size_t size) {
    if (connectionHistory_.size() < size) connectionHistory_.resize(size);
}

std::string QvApplicationPreference::storePath() const {
    std::string folder = FileManager::sharedInstance().configPath();
    if (folder.empty()) return {};
    return folder + "/" + kStoreName;
}

bool QvApplicationPreference::loadApplicationPreference() {
    std::string path = storePath();
    std::optional<PropertyList> root;
    if (!path.empty()) {
        if (int stale = AtomicFile::removeStaleTemporaries(path))
            Log::info("preferences", "removed %d copies left by interrupted saves of %s", stale, path.c_str());
        auto result = PropertyList::readFile(path);
        if (result.status == PropertyList::ReadStatus::Ok && result.value && result.value->isDictionary()) {
            root = std::move(result.value);
        } else if (result.status == PropertyList::ReadStatus::Malformed ||
                   result.status == PropertyList::ReadStatus::Ok) {
            // Not a preferences store: keep the bytes for recovery rather
            // than have the next save replace them.
            const std::string aside = path + ".bad";
            if (::rename(path.c_str(), aside.c_str()) == 0)
                Log::warn("preferences", "%s is malformed; kept as %s, using defaults", path.c_str(), aside.c_str());
            else
                Log::warn("preferences", "%s is malformed; using defaults", path.c_str());
        } else if (result.status != PropertyList::ReadStatus::Missing) {
            Log::warn("preferences", "%s cannot be read; using defaults", path.c_str());
        }
    }
    if (!root) {
        setLayoutStyle(defaultLayoutStyle());
        return false;
    }
    const PropertyList* dict = &*root;

    std::vector<ConnectionRecord> history;
    if (const PropertyList* list = dict->find(kHistory); list && list->isArray()) {
        for (const PropertyList& item : list->items()) {
            ConnectionRecord r;
            r.deviceId = readInt(&item, kDeviceId);
            r.channel = readInt(&item, kChannel);
            history.push_back(r);
        }
    }
    layoutStyle_ = readInt(dict, kLayoutStyle);
    livePreference_ = readInt(dict, kLivePreference);
    // A layout this device cannot show is replaced by the device's default.
    if (numberOfLiveViewsForStyle(layoutStyle_) > maxNumberOfLiveViews()) layoutStyle_ = defaultLayoutStyle();
    connectionHistory_ = std::move(history);
    padHistory(numberOfLiveViews());

    autoPlay_ = readBool(dict, kAutoPlay);
    skipHomePage_ = readBool(dict, kSkipHomePage);
    showAdReminder_ = readBool(dict, kShowAdReminder);
    hideAd_ = readBool(dict, kHideAd);
    modePreference_ = readInt(dict, kModePreference);
    setIsFullScreen(readBool(dict, kIsFull));
    setIsInnerGetMain(readBool(dict, kIsInnerGetMain));
    setDevicecount(readInt(dict, kDevicecount));
    setCamcount(readInt(dict, kCamcount));
    return true;
}

bool QvApplicationPreference::saveApplicationPreference() {
    std::string path = storePath();
    if (path.empty()) return false;
    PropertyList dict = PropertyList::makeDictionary();
    dict.set(kLayoutStyle, PropertyList::makeInteger(layoutStyle_));
    dict.set(kLivePreference, PropertyList::makeInteger(livePreference_));
    dict.set(kModePreference, PropertyList::makeInteger(modePreference_));
    PropertyList history = PropertyList::makeArray();
    for (const ConnectionRecord& r : connectionHistory_) {
        PropertyList item = PropertyList::makeDictionary();
        item.set(kDeviceId, PropertyList::makeInteger(r.deviceId));
        item.set(kChannel, PropertyList::makeInteger(r.channel));
        history.append(std::move(item));
    }
    dict.set(kHistory, std::move(history));
    dict.set(kAutoPlay, PropertyList::makeBoolean(autoPlay_));
    dict.set(kSkipHomePage, PropertyList::makeBoolean(skipHomePage_));
    dict.set(kShowAdReminder, PropertyList::makeBoolean(showAdReminder_));
    dict.set(kHideAd, PropertyList::makeBoolean(hideAd_));
    dict.set(kIsFull, PropertyList::makeBoolean(isFullScreen_));
    dict.set(kIsInnerGetMain, PropertyList::makeBoolean(isInnerGetMain_));
    dict.set(kDevicecount, PropertyList::makeInteger(devicecount_));
    dict.set(kCamcount, PropertyList::makeInteger(camcount_));
    Error error;
    if (!dict.writeXmlFile(path, kStoreMode, &error)) {
        Log::error("preferences", "cannot save %s: %s", path.c_str(), error.toString().c_str());
        return false;
    }
    return true;
}

std::string QvApplicationPreference::addressFromReply(const std::string& body) {
    std::optional<std::string> text = TextEncoding::utf8FromGB18030(body);
    if (!text) return {};
    size_t open = text->find('[');
    if (open == std::string::npos || text->find('[', open + 1) != std::string::npos) return {};
    std::string rest = text->substr(open + 1);
    std::string address = rest.substr(0, rest.find(']'));
    size_t b = address.find_first_not_of(" \t\r\n");
    size_t e = address.find_last_not_of(" \t\r\n");
    address = b == std::string::npos ? std::string() : address.substr(b, e - b + 1);
    // Only a dotted IPv4 address may go on: the text becomes a field of a
    // comma-separated LAN hint. The parser stops at a zero byte, so one
    // inside would let what follows it (commas included) through.
    in_addr parsed{};
    if (address.empty() || address.find('\0') != std::string::npos ||
        ::inet_pton(AF_INET, address.c_str(), &parsed) != 1)
        return {};
    return address;
}

namespace {

// A host in the reserved ".invalid" domain never resolves: it marks a
// service the deployment has not configured.
bool isUnconfiguredUrl(const std::string& url) {
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t end = url.find_first_of(":/?#", start);
    std::string host = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (!host.empty() && host.back() == '.') host.pop_back();
    for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string reserved = ".invalid";
    return host == "invalid" ||
           (host.size() > reserved.size() && host.compare(host.size() - reserved.size(), reserved.size(), reserved) == 0);
}

}  // namespace

void QvApplicationPreference::getNetIP() {
    if (lookup_) lookup_->cancel();
    if (isUnconfiguredUrl(Config::shared().externalAddressUrl)) {
        Log::debug("preferences", "no external-address service configured (%s): not asked",
                   Config::shared().externalAddressUrl.c_str());
        return;
    }
    auto body = std::make_shared<std::string>();
    HttpRequest::Options options;
    options.maxBodyBytes = kMaxReplyBytes;
    lookup_ = HttpRequest::get(
        Config::shared().externalAddressUrl, [body](const std::string& block) { body->append(block); },
        [this, body](long status, const std::optional<Error>& error) {
            lookup_.reset();
            if (error) {
                Log::warn("preferences", "address look-up failed: %s", error->toString().c_str());
                return;
            }
            if (status < 200 || status > 299) {
                Log::warn("preferences", "address look-up answered %ld", status);
                return;
            }
            setIpstr(addressFromReply(*body));
        },
        options);
}

}  // namespace lumora
