#include "platform/dispatch/NotificationCenter.h"
#include "platform/Log.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace lumora {

namespace {

class DefaultNotificationCenter final : public NotificationCenter {
public:
    ObserverId addObserver(const std::string& name, const void* object, Callback callback) override {
        auto obs = std::make_shared<Observer>();
        obs->object = object;
        obs->callback = std::move(callback);
        std::lock_guard<std::mutex> lock(mutex_);
        obs->id = nextId_++;
        byName_[name].push_back(obs);
        names_[obs->id] = name;
        return obs->id;
    }

    void removeObserver(ObserverId id) override {
        std::shared_ptr<Observer> dropped;  // released after the lock
        std::lock_guard<std::mutex> lock(mutex_);
        auto n = names_.find(id);
        if (n == names_.end()) return;
        auto list = byName_.find(n->second);
        if (list != byName_.end()) {
            auto& v = list->second;
            for (auto it = v.begin(); it != v.end(); ++it) {
                if ((*it)->id == id) {
                    (*it)->removed.store(true);
                    dropped = std::move(*it);
                    v.erase(it);
                    break;
                }
            }
            if (v.empty()) byName_.erase(list);
        }
        names_.erase(n);
    }

    void post(const Notification& notification) override {
        std::vector<std::shared_ptr<Observer>> matching;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto list = byName_.find(notification.name);
            if (list == byName_.end()) return;
            for (const auto& obs : list->second) {
                if (!obs->object || obs->object == notification.object) matching.push_back(obs);
            }
        }
        // Called without the lock: a callback may add, remove or post.
        for (const auto& obs : matching) {
            if (obs->removed.load()) continue;
            try {
                if (obs->callback) obs->callback(notification);
            } catch (const std::exception& e) {
                Log::error("NotificationCenter", "observer of %s ended by exception: %s",
                            notification.name.c_str(), e.what());
            }
        }
    }

private:
    struct Observer {
        ObserverId id = 0;
        const void* object = nullptr;
        Callback callback;
        std::atomic<bool> removed{false};
    };

    std::mutex mutex_;
    std::map<std::string, std::vector<std::shared_ptr<Observer>>> byName_;
    std::map<ObserverId, std::string> names_;
    ObserverId nextId_ = 1;
};

}  // namespace

NotificationCenter& NotificationCenter::defaultCenter() {
    // Never destroyed: observers may be removed from static destructors.
    static NotificationCenter* center = new DefaultNotificationCenter;
    return *center;
}

}  // namespace lumora
