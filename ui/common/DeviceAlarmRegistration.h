#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace lumora {

// The per-device alarm push registration that the phone's device editor and
// the tablet's device panel share: one GET "pd.php?c=<text>" to the push
// service's device host, whose text ("Tolvex|uid|name|token|1|lang|1" to
// register, "Tolvex|uid|token|0" to unregister) is enciphered with the push
// key and Base64-encoded (put into the address unescaped, as the service
// reads it); the answer, after its first line break, is deciphered and read
// after "result=". One request at a time; the answer is read whole (it may
// come in several deliveries) and a silent service times out.
//
// Main thread only. Dropping or cancelling the object drops the answer.
class DeviceAlarmRegistration {
public:
    // How long a registration waits for the service's whole answer.
    static constexpr double kTimeoutSeconds = 15.0;

    // The push token of this installation (the application delegate's);
    // absent until the platform delivered one.
    static std::function<std::optional<std::string>()>& pushTokenProvider();

    static std::string registerText(const std::string& uid, const std::string& name, const std::string& token,
                                    int language);
    static std::string unregisterText(const std::string& uid, const std::string& token);
    // The answer code of a deciphered reply: the signed integer in the two
    // characters after "result="; nullopt when there is none.
    static std::optional<int> answerCode(const std::string& deciphered);

    // What an answer means for the device's alarm flag (which was `before`)
    // and which message (a strings-table key, "" for none) tells the user.
    // Only a success changes the flag: a failed registration or
    // unregistration leaves the service's state, and so the flag, as it was.
    struct Outcome {
        bool flag;
        std::string messageKey;
    };
    static Outcome outcome(int code, bool registering, bool before);

    // The answer code, or nullopt when the request failed, timed out or the
    // answer had no result.
    using Done = std::function<void(std::optional<int> code)>;

    DeviceAlarmRegistration() = default;
    ~DeviceAlarmRegistration();
    DeviceAlarmRegistration(const DeviceAlarmRegistration&) = delete;
    DeviceAlarmRegistration& operator=(const DeviceAlarmRegistration&) = delete;

    // Sends the request for a device reached by UID (a running one is
    // dropped); `done` runs once, later, on the main run loop.
    void start(const std::string& uid, const std::string& name, bool registering, Done done);
    bool isRunning() const;
    void cancel();

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace lumora
