#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <string>

namespace lumora {

struct Notification {
    std::string name;
    const void* object = nullptr;  // the sender; not owned
    std::any userInfo;
};

// Observers by notification name. post() calls every matching observer
// synchronously on the posting thread, in the order they were added. An
// observer may be removed from any thread, also from inside a callback; once
// removeObserver() returned on the posting thread, it is not called again.
class NotificationCenter {
public:
    using ObserverId = uint64_t;
    using Callback = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    // object: only notifications from this sender; nullptr for any sender.
    virtual ObserverId addObserver(const std::string& name, const void* object, Callback callback) = 0;
    virtual void removeObserver(ObserverId id) = 0;
    virtual void post(const Notification& notification) = 0;
    void post(const std::string& name, const void* object = nullptr) { post(Notification{name, object, {}}); }

    virtual ~NotificationCenter() = default;
};

}  // namespace lumora
