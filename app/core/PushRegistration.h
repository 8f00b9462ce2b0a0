#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/text/SharedText.h"

namespace lumora {

class HttpRequest;
class UserDefaults;

// Registration of the push device token with the push-registration service
// (http://<Config::pushHost>/...). Both application delegates own one and
// hand it the token the platform delivers.
//
// The service gets an unregistration ("pa.php") and a registration
// ("pi.php"), or the registration only when this version registered before.
// The registration is sent only after the unregistration has finished (with
// success or failure), so the service never sees them out of order. Replies
// are not used; failures are neither reported nor retried.
//
// Main thread only, except tokenString, which any thread may read.
class PushRegistration {
public:
    // Markers in the user defaults.
    static constexpr const char* kFirstStartKey = "firstStart1";
    static constexpr const char* kAppVersionKey = "appversion";
    // This build's short version text.
    static const char* shortVersionString();

    // defaults is not owned and must outlive this object.
    explicit PushRegistration(UserDefaults& defaults, std::string appVersion = shortVersionString());
    PushRegistration();  // the standard user defaults and this build's version
    ~PushRegistration();  // drops requests still running
    PushRegistration(const PushRegistration&) = delete;
    PushRegistration& operator=(const PushRegistration&) = delete;

    // application:didRegisterForRemoteNotificationsWithDeviceToken:
    void applicationDidRegisterForRemoteNotificationsWithDeviceToken(const std::vector<uint8_t>& deviceToken);

    // Each sends its request and returns true at once. `then` (may be empty)
    // runs on the main run loop when the request has finished either way.
    bool registerToPushServer(std::function<void()> then = {});
    bool disregisterToPushServer(std::function<void()> then = {});

    // Absent until a token arrived.
    std::optional<std::string> tokenString() const { return tokenString_.get(); }
    const std::vector<uint8_t>& deviceToken() const { return deviceToken_; }

    // Lower-case hex in groups of 4 bytes separated by one blank.
    static std::string tokenStringForToken(const std::vector<uint8_t>& token);
    // 1 for exactly "zh-Hans", 3 for exactly "zh-TW", 2 for anything else.
    static int languageCodeForLanguage(const std::string& language);
    // From the first entry of the user's preferred languages.
    int languageCode() const;
    // "http://<pushHost>/<page>?c=<parameter>" with the parameter enciphered
    // (RC4 + Base64 under the push key) and percent-encoded.
    static std::string requestURL(const std::string& page, const std::string& parameterText);

private:
    void send(const std::string& page, const std::string& parameterText, std::function<void()> then);

    UserDefaults& defaults_;  // not owned
    std::string appVersion_;
    std::vector<uint8_t> deviceToken_;
    SharedText tokenString_;
    std::vector<std::shared_ptr<HttpRequest>> requests_;  // running requests
};

}  // namespace lumora
