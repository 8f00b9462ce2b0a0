#include "app/core/PushRegistration.h"

#include <algorithm>
#include <cstdio>

#include "app/core/PushKeyCipher.h"
#include "platform/Config.h"
#include "platform/net/HttpRequest.h"
#include "platform/storage/UserDefaults.h"
#include "platform/Log.h"

namespace lumora {

namespace {

constexpr const char* kRegisterPage = "pi.php";
constexpr const char* kUnregisterPage = "pa.php";

}  // namespace

const char* PushRegistration::shortVersionString() { return "1.0"; }

PushRegistration::PushRegistration(UserDefaults& defaults, std::string appVersion)
    : defaults_(defaults), appVersion_(std::move(appVersion)) {}

PushRegistration::PushRegistration() : PushRegistration(UserDefaults::standardUserDefaults()) {}

PushRegistration::~PushRegistration() {
    for (auto& r : requests_) r->cancel();
}

std::string PushRegistration::tokenStringForToken(const std::vector<uint8_t>& token) {
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < token.size(); ++i) {
        if (i > 0 && i % 4 == 0) out.push_back(' ');
        out.push_back(hex[token[i] >> 4]);
        out.push_back(hex[token[i] & 0x0F]);
    }
    return out;
}

int PushRegistration::languageCodeForLanguage(const std::string& language) {
    if (language == "zh-Hans") return 1;
    if (language == "zh-TW") return 3;
    return 2;
}

int PushRegistration::languageCode() const {
    auto languages = defaults_.stringArrayForKey(UserDefaults::kAppleLanguages);
    return languageCodeForLanguage(languages.empty() ? std::string() : languages.front());
}

std::string PushRegistration::requestURL(const std::string& page, const std::string& parameterText) {
    // Base64 may hold "+", "/" and "=": escaped, so that the service reads
    // the parameter back exactly (a bare "+" would arrive as a blank).
    std::string parameter = HttpRequest::percentEncode(PushKeyCipher::base64_rc4_encode(parameterText));
    return "http://" + Config::shared().pushHost + "/" + page + "?c=" + parameter;
}

void PushRegistration::applicationDidRegisterForRemoteNotificationsWithDeviceToken(
    const std::vector<uint8_t>& deviceToken) {
    deviceToken_ = deviceToken;
    tokenString_.set(tokenStringForToken(deviceToken));

    if (defaults_.boolForKey(kFirstStartKey) && defaults_.hasKey(kAppVersionKey)) {
        if (defaults_.stringForKey(kAppVersionKey) == appVersion_) {
            registerToPushServer();
            return;
        }
        // An updated application: "appversion" keeps the first version, so
        // every later start registers afresh too.
    } else {
        defaults_.setBool(kFirstStartKey, true);
        defaults_.setString(kAppVersionKey, appVersion_);
    }
    disregisterToPushServer([this] { registerToPushServer(); });
}

bool PushRegistration::registerToPushServer(std::function<void()> then) {
    std::string text = tokenString_.value() + "|1|" + std::to_string(languageCode());
    send(kRegisterPage, text, std::move(then));
    return true;
}

bool PushRegistration::disregisterToPushServer(std::function<void()> then) {
    std::string text = tokenString_.value() + "|1";
    send(kUnregisterPage, text, std::move(then));
    return true;
}

void PushRegistration::send(const std::string& page, const std::string& parameterText, std::function<void()> then) {
    std::string url = requestURL(page, parameterText);
    auto slot = std::make_shared<std::weak_ptr<HttpRequest>>();
    auto request = HttpRequest::get(
        url, nullptr,
        [this, slot, page, then = std::move(then)](long status, const std::optional<Error>& error) {
            if (error)
                Log::warn("push", "%s failed: %s", page.c_str(), error->toString().c_str());
            else if (status < 200 || status > 299)
                Log::warn("push", "%s answered %ld", page.c_str(), status);
            auto self = slot->lock();
            requests_.erase(std::remove(requests_.begin(), requests_.end(), self), requests_.end());
            if (then) then();
        });
    *slot = request;
    requests_.push_back(request);
}

}  // namespace lumora
