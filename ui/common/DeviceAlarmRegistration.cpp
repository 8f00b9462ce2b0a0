#include "ui/common/DeviceAlarmRegistration.h"

#include <chrono>
#include <cstdlib>

#include "app/core/AlarmRegistrationReply.h"
#include "app/core/PushKeyCipher.h"
#include "app/core/PushRegistration.h"
#include "platform/Config.h"
#include "platform/Log.h"
#include "platform/net/HttpRequest.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/UserDefaults.h"

namespace lumora {

struct DeviceAlarmRegistration::State {
    std::shared_ptr<HttpRequest> request;
    std::shared_ptr<RunLoopTimer> timeout;
    std::string reply;
    Done done;

    void end() {
        if (timeout) timeout->invalidate();
        timeout.reset();
        if (request) request->cancel();
        request.reset();
    }
    // Runs the completion once; the owner may drop this object inside it.
    void finish(std::optional<int> code) {
        end();
        Done d = std::move(done);
        done = nullptr;
        if (d) d(code);
    }
};

std::function<std::optional<std::string>()>& DeviceAlarmRegistration::pushTokenProvider() {
    static std::function<std::optional<std::string>()> provider;
    return provider;
}

std::string DeviceAlarmRegistration::registerText(const std::string& uid, const std::string& name,
                                                  const std::string& token, int language) {
    return "Tolvex|" + uid + "|" + name + "|" + token + "|1|" + std::to_string(language) + "|1";
}

std::string DeviceAlarmRegistration::unregisterText(const std::string& uid, const std::string& token) {
    return "Tolvex|" + uid + "|" + token + "|0";
}

std::optional<int> DeviceAlarmRegistration::answerCode(const std::string& text) {
    return AlarmRegistrationReply::codeInDeciphered(text);
}

DeviceAlarmRegistration::Outcome DeviceAlarmRegistration::outcome(int code, bool registering, bool before) {
    switch (code) {
    case 1:
    case 2: return {registering, registering ? "AlarmRegistion_Success" : "LOGOUT_Success"};
    case 3: return {before, "Failed_AddAlarm"};
    case 4: return {false, "LOGOUT_Success"};
    case 5: return {before, "LOGOUT_Failed"};
    case -1: return {before, "Err_communication"};
    default: return {before, ""};
    }
}

DeviceAlarmRegistration::~DeviceAlarmRegistration() { cancel(); }

bool DeviceAlarmRegistration::isRunning() const { return state_ && state_->request; }

void DeviceAlarmRegistration::cancel() {
    if (!state_) return;
    state_->done = nullptr;
    state_->end();
    state_.reset();
}

void DeviceAlarmRegistration::start(const std::string& uid, const std::string& name, bool registering, Done done) {
    cancel();
    auto& provider = pushTokenProvider();
    const std::string token = provider ? provider().value_or("") : "";
    std::string text;
    if (registering) {
        auto langs = UserDefaults::standardUserDefaults().stringArrayForKey(UserDefaults::kAppleLanguages);
        text = registerText(uid, name, token, PushRegistration::languageCodeForLanguage(langs.empty() ? "" : langs[0]));
    } else {
        text = unregisterText(uid, token);
    }
    // The Base64 text goes into the address as it is: the service reads it so.
    const std::string url =
        "http://" + Config::shared().pushAlarmUidHost + "/pd.php?c=" + PushKeyCipher::base64_rc4_encode(text);
    auto state = std::make_shared<State>();
    state->done = std::move(done);
    state_ = state;
    std::weak_ptr<State> weak = state;
    const auto limit =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(kTimeoutSeconds));
    HttpRequest::Options options;
    options.timeout = limit;
    options.maxBodyBytes = 64 * 1024;
    state->request = HttpRequest::get(
        url,
        [weak](const std::string& block) {
            if (auto s = weak.lock()) s->reply += block;
        },
        [weak](long status, const std::optional<Error>& error) {
            auto s = weak.lock();
            if (!s) return;
            s->request.reset();
            if (error || status < 200 || status > 299) {
                Log::warn("alarm", "registration failed (status %ld)", status);
                s->finish(std::nullopt);
                return;
            }
            s->finish(AlarmRegistrationReply::answerCode(s->reply));
        },
        options);
    state->timeout = RunLoopTimer::scheduled(RunLoop::main(), limit, false, [weak](RunLoopTimer&) {
        auto s = weak.lock();
        if (!s || !s->request) return;
        Log::warn("alarm", "registration timed out");
        s->finish(std::nullopt);
    });
}

}  // namespace lumora
